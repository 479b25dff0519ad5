// The cursor dataset's published properties and typed events in stored
// descriptions: read, found by name on the root, fired, and written back in
// the published order; malformed event references refused with their line.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dataset/data_source.h"
#include "dataset/streaming.h"
#include "nds/ndscnnct.h"
#include "nds/ndstable.h"
#include "nds_test_support.h"

namespace nds_test {
namespace {

using dataset::TDataSet;
using nds_test::MessageOf;

// The root of the descriptions: offers one handler of each dataset event
// type, each noting its call in `log`.
class TEventsForm : public dataset::TComponent {
 public:
  explicit TEventsForm(dataset::TComponent* owner) : TComponent(owner) {}
  ~TEventsForm() override { DestroyComponents(); }

  dataset::TMethod FindMethod(const std::string& name) override {
    if (name == "QueryBeforeOpen")
      return dataset::TDataSetNotifyEvent([this](TDataSet& d) { Note("before open", d); });
    if (name == "QueryPostError")
      return dataset::TDataSetErrorEvent(
          [this](TDataSet& d, dataset::EDatabaseError&, dataset::TDataAction& action) {
            Note("post error", d);
            action = dataset::daAbort;
          });
    if (name == "QueryFilterRecord")
      return dataset::TFilterRecordEvent([this](TDataSet& d, bool& accept) {
        Note("filter", d);
        accept = false;
      });
    if (name == "QueryUpdateRecord")
      return dataset::TUpdateRecordEvent(
          [this](TDataSet& d, dataset::TUpdateKind, dataset::TUpdateAction& action) {
            Note("update", d);
            action = dataset::uaApplied;
          });
    if (name == "Clicked") return [](dataset::TObject*) {};
    return {};
  }

  std::vector<std::string> log;

 private:
  void Note(const std::string& what, TDataSet& d) { log.push_back(what + " " + d.Name()); }
};

// In the order the writer gives: published order, defaults left out.
const char kDescription[] =
    "object Form1: TEventsForm\n"
    "  object NdsQuery1: TNdsQuery\n"
    "    AutoCalcFields = False\n"
    "    Filter = 'ID > 3'\n"
    "    InfoStructure = 'kept'\n"
    "    IndexName = 'BYNAME'\n"
    "    MasterFields = 'ID'\n"
    "    MasterSource = DataSource1\n"
    "    Sequenced = True\n"
    "    SequencedLevel = slExact\n"
    "    Scoped = True\n"
    "    ScopeBegin = 'A'\n"
    "    ScopeEnd = 'M'\n"
    "    StoreActive = False\n"
    "    BeforeOpen = QueryBeforeOpen\n"
    "    AfterClose = Form1.QueryBeforeOpen\n"
    "    OnFilterRecord = QueryFilterRecord\n"
    "    OnPostError = QueryPostError\n"
    "    OnUpdateRecord = QueryUpdateRecord\n"
    "    SQL.Strings = (\n"
    "      'select * from t')\n"
    "    ParamData = <>\n"
    "  end\n"
    "  object NdsQuery2: TNdsQuery\n"
    "    IndexFieldNames = 'NAME;ID'\n"
    "    StoreActive = True\n"
    "    ParamData = <>\n"
    "  end\n"
    "  object DataSource1: TDataSource\n"
    "    DataSet = NdsQuery2\n"
    "  end\n"
    "end\n";

class QueryStoredEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    nds::RegisterQueryClasses();
    dataset::RegisterClass<TEventsForm, dataset::TComponent>("TEventsForm");
  }

  static std::unique_ptr<TEventsForm> Read(const std::string& text) {
    return std::unique_ptr<TEventsForm>(
        dynamic_cast<TEventsForm*>(dataset::ReadComponentFromText(text, nullptr)));
  }
  static nds::TNdsQuery& Query(dataset::TComponent& form) {
    return *dynamic_cast<nds::TNdsQuery*>(form.FindComponent("NdsQuery1"));
  }
};

TEST_F(QueryStoredEvents, PropertiesAndTypedEventsReadBackAndWriteIdentically) {
  auto form = Read(kDescription);
  ASSERT_NE(form, nullptr);
  nds::TNdsQuery& q = Query(*form);
  EXPECT_FALSE(q.AutoCalcFields());
  EXPECT_EQ(q.Filter(), "ID > 3");
  // An order by name and one by fields exclude each other: each query has one.
  EXPECT_EQ(dynamic_cast<nds::TNdsQuery*>(form->FindComponent("NdsQuery2"))->IndexFieldNames(),
            "NAME;ID");
  EXPECT_EQ(q.IndexName(), "BYNAME");
  EXPECT_EQ(q.MasterFields(), "ID");
  EXPECT_EQ(q.MasterSource(), form->FindComponent("DataSource1"));
  EXPECT_EQ(q.SequencedLevel(), nds::slExact);
  EXPECT_TRUE(q.Scoped());
  EXPECT_EQ(q.ScopeBegin(), "A");
  EXPECT_EQ(q.ScopeEnd(), "M");
  EXPECT_FALSE(q.StoreActive());

  EXPECT_EQ(dataset::WriteComponentToText(form.get()), kDescription);

  // Each handler is the root's, of its own type, and fires.
  EXPECT_THROW(q.Open(), nds::ENDSDatabaseError);  // no database: BeforeOpen has run
  bool accept = true;
  q.OnFilterRecord()(q, accept);
  EXPECT_FALSE(accept);
  dataset::EDatabaseError error("refused");
  dataset::TDataAction action = dataset::daFail;
  q.OnPostError(q, error, action);
  EXPECT_EQ(action, dataset::daAbort);
  dataset::TUpdateAction update = dataset::uaFail;
  q.OnUpdateRecord(q, dataset::ukModify, update);
  EXPECT_EQ(update, dataset::uaApplied);
  EXPECT_EQ(form->log, (std::vector<std::string>{"before open NdsQuery1", "filter NdsQuery1",
                                                 "post error NdsQuery1", "update NdsQuery1"}));

  // A handler cleared in code is no longer written.
  q.OnUpdateRecord = nullptr;
  q.SetOnFilterRecord(nullptr);
  const std::string written = dataset::WriteComponentToText(form.get());
  EXPECT_EQ(written.find("OnUpdateRecord"), std::string::npos) << written;
  EXPECT_EQ(written.find("OnFilterRecord"), std::string::npos) << written;
}

TEST_F(QueryStoredEvents, VersionIsReadAndIgnoredAndIndexDefsAreNeverWritten) {
  auto form = Read(
      "object Form1: TEventsForm\n"
      "  object NdsQuery1: TNdsQuery\n"
      "    IndexDefs = <\n"
      "      item\n"
      "        Name = 'BYNAME'\n"
      "        Fields = 'NAME'\n"
      "        Options = [ixUnique]\n"
      "      end>\n"
      "    Version = '1.0 (ancient)'\n"
      "  end\n"
      "end\n");
  nds::TNdsQuery& q = Query(*form);
  EXPECT_EQ(q.Version().rfind("8.10 (NCE ", 0), 0u) << q.Version();
  ASSERT_EQ(q.IndexDefs().Count(), 1);
  EXPECT_EQ(q.IndexDefs().Items(0)->Fields(), "NAME");
  const std::string written = dataset::WriteComponentToText(form.get());
  EXPECT_EQ(written.find("IndexDefs"), std::string::npos) << written;
  EXPECT_EQ(written.find("Version"), std::string::npos) << written;
}

TEST_F(QueryStoredEvents, MalformedEventReferencesAreRefusedWithTheirLine) {
  struct Case {
    std::string value;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"'QueryBeforeOpen'", "Line 3: Invalid method reference"},
      {"42", "Line 3: Invalid method reference"},
      {"Missing", "Line 3: Method 'Missing' not found"},
      {"Form2.QueryBeforeOpen", "Line 3: Method 'Form2.QueryBeforeOpen' not found"},
      {"NdsQuery1.QueryBeforeOpen", "Line 3: Method 'NdsQuery1.QueryBeforeOpen' not found"},
      {"Clicked",
       "Line 3: Error reading NdsQuery1.AfterOpen: Method 'Clicked' is not a TDataSetNotifyEvent"},
      {"QueryFilterRecord",
       "Line 3: Error reading NdsQuery1.AfterOpen: Method 'QueryFilterRecord' is not a "
       "TDataSetNotifyEvent"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MessageOf([&] {
                Read(
                    "object Form1: TEventsForm\n"
                    "  object NdsQuery1: TNdsQuery\n"
                    "    AfterOpen = " +
                    c.value + "\n  end\nend\n");
              }),
              c.message)
        << c.value;
  }
  // The other typed events check their types as well.
  EXPECT_EQ(MessageOf([&] {
              Read(
                  "object Form1: TEventsForm\n  object NdsQuery1: TNdsQuery\n"
                  "    OnPostError = QueryUpdateRecord\n  end\nend\n");
            }),
            "Line 3: Error reading NdsQuery1.OnPostError: Method 'QueryUpdateRecord' is not a "
            "TDataSetErrorEvent");
  EXPECT_EQ(MessageOf([&] {
              Read(
                  "object Form1: TEventsForm\n  object NdsQuery1: TNdsQuery\n"
                  "    OnUpdateRecord = QueryFilterRecord\n  end\nend\n");
            }),
            "Line 3: Error reading NdsQuery1.OnUpdateRecord: Method 'QueryFilterRecord' is not a "
            "TUpdateRecordEvent");
}

}  // namespace
}  // namespace nds_test
