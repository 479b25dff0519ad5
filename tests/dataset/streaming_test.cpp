// Stored descriptions: reading, writing, round trips, references, extra
// stored properties and malformed input.
#include "dataset/streaming.h"

#include <gtest/gtest.h>

#include <memory>

#include "dataset/collection.h"
#include "dataset/exceptions.h"
#include "dataset/params.h"
#include "dataset/stream.h"
#include "dataset/strings.h"

namespace dataset_test {

using namespace dataset;

namespace {

enum TColour { clRed, clGreen, clBlue };
enum TOption { opOne, opTwo, opThree };
using TOptions = TSet<TOption>;

// A nested persistent object, like a font.
class TFontLike : public TPersistent {
 public:
  std::string name = "Sans";
  int64_t height = -11;
  void Assign(const TPersistent* source) override {
    if (auto* f = dynamic_cast<const TFontLike*>(source)) {
      name = f->name;
      height = f->height;
      return;
    }
    TPersistent::Assign(source);
  }
};

class TGadget;

// A collection item that refers to a component.
class TLinkItem : public TCollectionItem {
 public:
  explicit TLinkItem(TCollection* c) : TCollectionItem(c) {}
  TGadget* target = nullptr;
};

// Records every event of its life in a shared log.
std::vector<std::string>* g_log = nullptr;

// A component with a property of every kind and extra stored properties.
class TGadget : public TComponent {
 public:
  explicit TGadget(TComponent* owner)
      : TComponent(owner),
        links_([](TCollection* c) { return new TLinkItem(c); }, this),
        params_(this) {
    lines_.OnChange = [this](TObject*) {
      Log("lines changed" + std::string(IsReading() ? " while reading" : ""));
    };
  }
  ~TGadget() override { Log("destroy"); }

  int64_t count = 0;
  double ratio = 0;
  bool enabled = true;
  std::string caption;
  TColour colour = clRed;
  TOptions options{opOne};
  TGadget* buddy = nullptr;
  TFontLike font;
  TBytes blob;
  Variant value;
  std::string click_name;
  TNotifyEvent on_click;
  std::string data;  // extra stored binary property "Data"
  bool had_wait_cursor = false;

  TStringList* Lines() { return &lines_; }
  TParams* Params() { return &params_; }
  TCollection* Links() { return &links_; }

  void SetBuddy(TGadget* b) {
    if (buddy) buddy->RemoveFreeNotification(this);
    buddy = b;
    if (b) b->FreeNotification(this);
    Log(std::string("buddy set") + (IsLoading() ? " while loading" : ""));
  }
  void SetCount(int64_t v) {
    if (v < 0) throw EDatabaseError("Count must not be negative");
    count = v;
  }

  void Notification(TComponent* c, TOperation op) override {
    TComponent::Notification(c, op);
    if (op == opRemove && c == buddy) buddy = nullptr;
  }
  void Loaded() override {
    TComponent::Loaded();
    Log("loaded");
    if (caption == "fail in Loaded") throw EDatabaseError("cannot load " + Name());
  }
  void DefineProperties(TFiler& filer) override {
    TComponent::DefineProperties(filer);
    filer.DefineBinaryProperty(
        "Data",
        [this](TStream& s) {
          data.resize(static_cast<size_t>(s.Size()));
          s.ReadBuffer(data.data(), s.Size());
        },
        [this](TStream& s) { s.WriteBuffer(data.data(), static_cast<int64_t>(data.size())); },
        !data.empty());
    filer.DefineProperty(
        "ParamData", [this](TReader& r) { r.ReadCollection(params_); },
        [this](TWriter& w) { w.WriteCollection(params_); }, true);
    filer.DefineProperty(
        "WaitCursor",
        [this](TReader& r) {
          if (r.NextValue() == vaInteger)
            r.ReadInteger();
          else
            r.ReadIdent();
          had_wait_cursor = true;
        },
        nullptr, false);
  }

  void Log(const std::string& what) {
    if (g_log) g_log->push_back((Name().empty() ? std::string("?") : Name()) + ": " + what);
  }

 private:
  TStringList lines_;
  TCollection links_;
  TParams params_;
};

// The root of the test descriptions: offers one event handler.
class TPanelForm : public TComponent {
 public:
  explicit TPanelForm(TComponent* owner) : TComponent(owner) {}
  ~TPanelForm() override { DestroyComponents(); }
  int clicks = 0;
  TMethod FindMethod(const std::string& name) override {
    if (name == "GadgetClick") return [this](TObject*) { ++clicks; };
    return {};
  }
};

void RegisterTestClasses() {
  RegisterClass<TPanelForm, TComponent>("TPanelForm");
  RegisterClass<TLinkItem, TCollectionItem>("TLinkItem")
      .Component<TGadget>(
          "Target", [](const TLinkItem& i) { return i.target; },
          [](TLinkItem& i, TGadget* g) { i.target = g; });
  RegisterClass<TFontLike, TPersistent>("TFontLike")
      .String(
          "Name", [](const TFontLike& f) { return f.name; },
          [](TFontLike& f, const std::string& v) { f.name = v; }, "Sans")
      .Integer(
          "Height", [](const TFontLike& f) { return f.height; },
          [](TFontLike& f, int64_t v) { f.height = v; }, -11);
  RegisterClass<TGadget, TComponent>("TGadget")
      .Integer(
          "Count", [](const TGadget& g) { return g.count; }, &TGadget::SetCount, 0)
      .Float(
          "Ratio", [](const TGadget& g) { return g.ratio; },
          [](TGadget& g, double v) { g.ratio = v; }, 0.0)
      .Boolean(
          "Enabled", [](const TGadget& g) { return g.enabled; },
          [](TGadget& g, bool v) { g.enabled = v; }, true)
      .String(
          "Caption", [](const TGadget& g) { return g.caption; },
          [](TGadget& g, const std::string& v) { g.caption = v; })
      .Enum<TColour>(
          "Colour", [](const TGadget& g) { return g.colour; },
          [](TGadget& g, TColour v) { g.colour = v; }, {"clRed", "clGreen", "clBlue"}, clRed)
      .Set<TOption>(
          "Options", [](const TGadget& g) { return g.options; },
          [](TGadget& g, TOptions v) { g.options = v; }, {"opOne", "opTwo", "opThree"},
          TOptions{opOne})
      .Component<TGadget>(
          "Buddy", [](const TGadget& g) { return g.buddy; }, &TGadget::SetBuddy)
      .Object("Font", [](TGadget& g) { return &g.font; })
      .Object("Lines", [](TGadget& g) { return g.Lines(); })
      .Object("Links", [](TGadget& g) { return g.Links(); })
      .Binary(
          "Blob", [](const TGadget& g) { return g.blob; },
          [](TGadget& g, const TBytes& v) { g.blob = v; })
      .VariantValue(
          "Value", [](const TGadget& g) { return g.value; },
          [](TGadget& g, const Variant& v) { g.value = v; })
      .Event(
          "OnClick", [](const TGadget& g) { return g.click_name; },
          [](TGadget& g, const std::string& n, TNotifyEvent h) {
            g.click_name = n;
            g.on_click = std::move(h);
          });
}

class Streaming : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterTestClasses();
    g_log = &log_;
  }
  void TearDown() override { g_log = nullptr; }

  std::unique_ptr<TPanelForm> Read(const std::string& text) {
    TComponent* c = ReadComponentFromText(text, nullptr);
    auto* form = dynamic_cast<TPanelForm*>(c);
    EXPECT_NE(form, nullptr);
    return std::unique_ptr<TPanelForm>(form);
  }

  static TGadget* Gadget(TComponent* form, const char* name) {
    return dynamic_cast<TGadget*>(form->FindComponent(name));
  }

  std::vector<std::string> log_;
};

const char kFullDescription[] = R"(object Form1: TPanelForm
  Tag = 7
  object Gadget1: TGadget
    Count = 42
    Ratio = 2.5
    Enabled = False
    Caption = 'It''s'#13#10'two lines' +
      ' joined'
    Colour = clBlue
    Options = [opTwo, opThree]
    Buddy = Gadget2
    Font.Name = 'Serif'
    Font.Height = -13
    Lines.Strings = (
      'delete from a;'
      '')
    Blob = {
      00FF10}
    Value = 'text'
    OnClick = GadgetClick
    Data = {
      414243}
    ParamData = <
      item
        DataType = ftInteger
        Name = 'key'
        ParamType = ptInput
        Value = 5
      end
      item
        DataType = ftString
        Name = 'other'
        ParamType = ptUnknown
      end>
    WaitCursor = crHourGlass
  end
  object Gadget2: TGadget
    Options = []
    Buddy = Gadget1
    ParamData = <>
  end
end
)";

TEST_F(Streaming, ReadsEveryKindOfProperty) {
  auto form = Read(kFullDescription);
  EXPECT_EQ(form->Name(), "Form1");
  EXPECT_EQ(form->Tag(), 7);
  TGadget* g = Gadget(form.get(), "Gadget1");
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->Owner(), form.get());
  EXPECT_EQ(g->count, 42);
  EXPECT_EQ(g->ratio, 2.5);
  EXPECT_FALSE(g->enabled);
  EXPECT_EQ(g->caption, "It's\r\ntwo lines joined");
  EXPECT_EQ(g->colour, clBlue);
  EXPECT_EQ(g->options, (TOptions{opTwo, opThree}));
  EXPECT_EQ(g->buddy, Gadget(form.get(), "Gadget2"));
  EXPECT_EQ(g->font.name, "Serif");
  EXPECT_EQ(g->font.height, -13);
  EXPECT_EQ(g->Lines()->Text(), "delete from a;\r\n\r\n");
  EXPECT_EQ(g->blob, (TBytes{0x00, 0xFF, 0x10}));
  EXPECT_EQ(g->value.AsString(), "text");
  EXPECT_EQ(g->click_name, "GadgetClick");
  ASSERT_TRUE(g->on_click);
  g->on_click(g);
  EXPECT_EQ(form->clicks, 1);
  EXPECT_EQ(g->data, "ABC");
  ASSERT_EQ(g->Params()->Count(), 2);
  TParam* key = g->Params()->Items(0);
  EXPECT_EQ(key->Name(), "key");
  EXPECT_EQ(key->DataType(), ftInteger);
  EXPECT_EQ(key->ParamType(), ptInput);
  EXPECT_EQ(key->AsInteger(), 5);
  EXPECT_TRUE(key->Bound());
  EXPECT_TRUE(g->Params()->Items(1)->IsNull());
  EXPECT_TRUE(g->had_wait_cursor);
  TGadget* g2 = Gadget(form.get(), "Gadget2");
  EXPECT_TRUE(g2->options.Empty());
  EXPECT_EQ(g2->buddy, g);
}

TEST_F(Streaming, RoundTripGivesTheSameProperties) {
  auto form = Read(kFullDescription);
  std::string written = WriteComponentToText(form.get());
  auto again = Read(written);
  EXPECT_EQ(WriteComponentToText(again.get()), written);
  TGadget* g = Gadget(again.get(), "Gadget1");
  EXPECT_EQ(g->caption, "It's\r\ntwo lines joined");
  EXPECT_EQ(g->Params()->Items(0)->AsInteger(), 5);
  EXPECT_EQ(g->data, "ABC");
  EXPECT_EQ(g->buddy, Gadget(again.get(), "Gadget2"));
  // The extra property without data is not written.
  EXPECT_EQ(written.find("WaitCursor"), std::string::npos);
}

// Any component may be the root, and lines may be laid out freely (a
// leading tab, "end" after a value): what reads writes out as a
// description that reads back the same, naming no handler it was not given.
TEST_F(Streaming, AnyRootLaidOutFreelyReadsBackTheSame) {
  std::unique_ptr<TComponent> gadget(ReadComponentFromText(
      "\tobject G1: TGadget\n    Count = 42\n    Ratio = 2255 end\n", nullptr));
  std::string written = WriteComponentToText(gadget.get());
  EXPECT_NE(written.find("  Count = 42\n  Ratio = 2255.0\n"), std::string::npos) << written;
  EXPECT_EQ(written.find("OnClick"), std::string::npos) << written;
  std::unique_ptr<TComponent> again(ReadComponentFromText(written, nullptr));
  EXPECT_EQ(WriteComponentToText(again.get()), written);
}

TEST_F(Streaming, WriterHonoursDefaultsAndStoredRules) {
  TPanelForm form(nullptr);
  form.SetName("Form1");
  auto* g = new TGadget(&form);
  g->SetName("Plain");
  std::string text = WriteComponentToText(&form);
  EXPECT_EQ(text,
            "object Form1: TPanelForm\n"
            "  object Plain: TGadget\n"
            "    Links = <>\n"
            "    ParamData = <>\n"
            "  end\n"
            "end\n");
  g->enabled = false;
  g->options = TOptions{};
  g->Params()->CreateParam(ftInteger, "p", ptInput);  // unbound: no Value
  g->Lines()->Add("x");
  g->font.height = 12;
  text = WriteComponentToText(&form);
  EXPECT_NE(text.find("    Enabled = False\n"), std::string::npos);
  EXPECT_NE(text.find("    Options = []\n"), std::string::npos);
  EXPECT_NE(text.find("    Font.Height = 12\n"), std::string::npos);
  EXPECT_EQ(text.find("Font.Name"), std::string::npos);
  EXPECT_NE(text.find("    Lines.Strings = (\n      'x')\n"), std::string::npos);
  EXPECT_NE(text.find("        Name = 'p'\n"), std::string::npos);
  EXPECT_EQ(text.find("Value"), std::string::npos);
}

TEST_F(Streaming, LongAndControlCharacterStringsSurviveTheRoundTrip) {
  TPanelForm form(nullptr);
  form.SetName("Form1");
  auto* g = new TGadget(&form);
  g->SetName("G");
  std::string caption;
  for (int i = 0; i < 300; ++i) caption += static_cast<char>(i % 256);
  g->caption = caption;
  g->ratio = 0.1;
  g->value = Variant(std::vector<Variant>{1, "a", 2.5, Variant::Null(), true});
  auto back = Read(WriteComponentToText(&form));
  TGadget* h = Gadget(back.get(), "G");
  EXPECT_EQ(h->caption, caption);
  EXPECT_EQ(h->ratio, 0.1);
  ASSERT_EQ(h->value.ArrayLength(), 5);
  EXPECT_EQ(h->value[2].AsDouble(), 2.5);
  EXPECT_TRUE(h->value[3].IsNull());
}

TEST_F(Streaming, ReferencesToLaterComponentsResolveAfterReading) {
  auto form = Read(R"(object Form1: TPanelForm
  object First: TGadget
    Buddy = Second
  end
  object Second: TGadget
  end
end)");
  TGadget* first = Gadget(form.get(), "First");
  EXPECT_EQ(first->buddy, Gadget(form.get(), "Second"));
  // The reference was set after every component was read, while loading.
  auto buddy_set = std::find(log_.begin(), log_.end(), "First: buddy set while loading");
  auto second_created = std::find(log_.begin(), log_.end(), "Second: lines changed");
  ASSERT_NE(buddy_set, log_.end());
  EXPECT_TRUE(second_created == log_.end() || second_created < buddy_set);
  // Destroying the referenced component clears the reference.
  delete Gadget(form.get(), "Second");
  EXPECT_EQ(first->buddy, nullptr);
}

TEST_F(Streaming, ReferencesInsideCollectionItemsResolve) {
  // The collection is given twice: the references of the first, destroyed
  // items must not be set.
  auto form = Read(R"(object Form1: TPanelForm
  object A: TGadget
    Links = <
      item
        Target = B
      end>
    Links = <
      item
        Target = A
      end
      item
        Target = B
      end>
  end
  object B: TGadget
  end
end)");
  TGadget* a = Gadget(form.get(), "A");
  ASSERT_EQ(a->Links()->Count(), 2);
  EXPECT_EQ(static_cast<TLinkItem*>(a->Links()->Items(0))->target, a);
  EXPECT_EQ(static_cast<TLinkItem*>(a->Links()->Items(1))->target, Gadget(form.get(), "B"));
  std::string written = WriteComponentToText(form.get());
  EXPECT_NE(written.find("    Links = <\n      item\n        Target = A\n      end\n"),
            std::string::npos);
}

TEST_F(Streaming, LoadingStateIsHeldUntilEverythingIsReadThenLoadedRunsInCreationOrder) {
  auto form = Read(R"(object Form1: TPanelForm
  object A: TGadget
    Lines.Strings = (
      'x')
  end
  object B: TGadget
  end
end)");
  EXPECT_NE(std::find(log_.begin(), log_.end(), "A: lines changed while reading"), log_.end());
  std::vector<std::string> loaded;
  for (const std::string& e : log_)
    if (e.find("loaded") != std::string::npos) loaded.push_back(e);
  EXPECT_EQ(loaded, (std::vector<std::string>{"A: loaded", "B: loaded"}));
  EXPECT_FALSE(form->IsLoading());
  EXPECT_FALSE(Gadget(form.get(), "A")->IsLoading());
  EXPECT_FALSE(Gadget(form.get(), "B")->IsReading());
}

TEST_F(Streaming, ReadsIntoAnExistingRoot) {
  TPanelForm form(nullptr);
  ReadRootFromText("object Form1: TPanelForm\n  object G: TGadget\n    Count = 3\n  end\nend\n",
                   &form);
  EXPECT_EQ(form.Name(), "Form1");
  EXPECT_EQ(Gadget(&form, "G")->count, 3);
  TComponent plain(nullptr);
  EXPECT_THROW(ReadRootFromText("object X: TPanelForm\nend", &plain), EReadError);
}

TEST_F(Streaming, InheritedBlocksUseExistingComponents) {
  TPanelForm form(nullptr);
  auto* g = new TGadget(&form);
  g->SetName("Existing");
  ReadRootFromText(
      "inherited Form1: TPanelForm\n  inherited Existing: TGadget\n    Count = 9\n  end\nend",
      &form);
  EXPECT_EQ(g->count, 9);
  EXPECT_EQ(form.ComponentCount(), 1);
  try {
    ReadRootFromText("inherited Form1: TPanelForm\n  inherited Missing: TGadget\n  end\nend",
                     &form);
    FAIL();
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), "Line 2: Ancestor for 'Missing' not found");
  }
}

// Each malformed description and the message it must raise.
struct BadCase {
  const char* text;
  const char* message;
};

TEST_F(Streaming, MalformedDescriptionsNameTheirLine) {
  const BadCase cases[] = {
      {"object Form1: TPanelForm\n  Tag = \nend", "Line 3: Expected a value but found 'end'"},
      {"object Form1: TPanelForm\n  Tag 5\nend", "Line 2: Expected '=' but found number"},
      {"object Form1: TPanelForm\n", "Line 2: Expected 'end' but found end of text"},
      {"object Form1: TPanelForm\nend\nextra", "Line 3: Expected end of text but found 'extra'"},
      {"object Form1: TPanelForm\n  Caption = 'open\nend", "Line 2: Unterminated string"},
      {"object Form1: TPanelForm\n\n  Tag = {0G}\nend", "Line 3: Invalid binary data 'G'"},
      {"object Form1: TPanelForm\n  Tag = {0}\nend",
       "Line 2: Odd number of hex digits in binary data"},
      {"object Form1: TPanelForm\n  Tag = 99999999999999999999\nend",
       "Line 2: Integer out of range"},
      {"object Form1: TPanelForm\n  Tag = #300\nend", "Line 2: Character code 300 out of range"},
      {"object Form1: TNoSuchClass\nend", "Line 1: Class TNoSuchClass not found"},
      {"object Form1: TPanelForm\n  object G: TNoSuchClass\n  end\nend",
       "Line 2: Class TNoSuchClass not found"},
      {"object Form1: TPanelForm\n  Colour = clRed\nend", "Line 2: Property Colour does not exist"},
      {"object Form1: TPanelForm\n  object G: TGadget\n    Colour = clPurple\n  end\nend",
       "Line 3: Invalid property value"},
      {"object Form1: TPanelForm\n  object G: TGadget\n    Count = 'x'\n  end\nend",
       "Line 3: Invalid property value"},
      {"object Form1: TPanelForm\n  object G: TGadget\n    Count = -1\n  end\nend",
       "Line 3: Error reading G.Count: Count must not be negative"},
      {"object Form1: TPanelForm\n  object G: TGadget\n    Buddy = Nobody\n  end\nend",
       "Line 3: Error reading G.Buddy: Component 'Nobody' not found"},
      {"object Form1: TPanelForm\n  object G: TGadget\n    Buddy = Form1\n  end\nend",
       "Line 3: Error reading G.Buddy: Form1 is not a TGadget"},
      {"object Form1: TPanelForm\n  object G: TGadget\n    OnClick = Nothing\n  end\nend",
       "Line 3: Method 'Nothing' not found"},
      {"object Form1: TPanelForm\n  object G: TGadget\n  end\n  object g: TGadget\n  end\nend",
       "Line 4: Error reading the name of a TGadget: A component named g already exists"},
      {"object Form1: TPanelForm\n  object G: TGadget\n    Font.Colour = 1\n  end\nend",
       "Line 3: Property Font.Colour does not exist"},
      {"object Form1: TPanelForm\n  object G: TGadget\n    Lines.Strings = (1)\n  end\nend",
       "Line 3: Invalid property value"},
      {"object Form1: TPanelForm\n  object G: TGadget\n    ParamData = <\n      item\n        "
       "DataType = ftNothing\n      end>\n  end\nend",
       "Line 5: Invalid property value"},
      {"object Form1: TPanelForm\n  object G: TGadget\n    Data = 'x'\n  end\nend",
       "Line 3: Invalid property value"},
  };
  for (const BadCase& c : cases) {
    try {
      std::unique_ptr<TComponent> leaked(ReadComponentFromText(c.text, nullptr));
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const EReadError& e) {
      EXPECT_EQ(e.Message(), c.message) << c.text;
    }
  }
}

TEST_F(Streaming, FailedReadDestroysWhatItCreated) {
  TPanelForm form(nullptr);
  auto* keep = new TGadget(&form);
  keep->SetName("Keep");
  EXPECT_THROW(ReadRootFromText("object Form1: TPanelForm\n  object New1: TGadget\n  end\n"
                                "  object New2: TGadget\n    Count = -5\n  end\nend",
                                &form),
               EReadError);
  EXPECT_EQ(form.ComponentCount(), 1);
  EXPECT_EQ(form.Components(0), keep);
  EXPECT_FALSE(form.IsLoading());
  EXPECT_FALSE(form.IsReading());
}

TEST_F(Streaming, LoadedFailurePropagatesAfterEveryLoadedRan) {
  try {
    std::unique_ptr<TComponent> leaked(ReadComponentFromText(
        "object Form1: TPanelForm\n  object A: TGadget\n    Caption = 'fail in Loaded'\n  end\n"
        "  object B: TGadget\n  end\nend",
        nullptr));
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "cannot load A");
  }
  EXPECT_NE(std::find(log_.begin(), log_.end(), "B: loaded"), log_.end());
  EXPECT_NE(std::find(log_.begin(), log_.end(), "B: destroy"), log_.end());
}

TEST_F(Streaming, UnregisteredClassIsWrittenUnderItsOwnName) {
  class TLocal : public TComponent {
   public:
    using TComponent::TComponent;
  };
  TPanelForm form(nullptr);
  new TLocal(&form);  // falls back to TComponent's table but keeps its class name
  std::string text = WriteComponentToText(&form);
  EXPECT_NE(text.find("object TLocal"), std::string::npos);
  EXPECT_THROW(std::unique_ptr<TComponent>(ReadComponentFromText(text, nullptr)), EReadError);
}

}  // namespace
}  // namespace dataset_test
