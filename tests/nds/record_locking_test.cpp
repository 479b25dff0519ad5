// Two real processes editing one record through their own connections and
// queries: pessimistic locking refuses the second editor with the engine's
// lock error until the first ends (even by being killed); optimistic
// locking lets both edit and refuses the post of the one that comes second,
// keeping the stored record whole and unlocked.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "nds/ndscnnct.h"
#include "nds/ndstable.h"
#include "tests/nds/query_test_support.h"

namespace {

using nds_test::MessageOf;
using nds_test::SetText;

// Opens `query` live over the crew table of `connection` with `mode`.
void OpenCrew(nds::TNdsQuery& query, nds::TNdsConnection& connection,
              nds::TNdsRecordLockingModes mode) {
  query.SetName("Q");
  query.SetNdsConnection(&connection);
  query.SetRequestLive(true);
  query.NdsTableOptions()->SetNdsRecordLockingMode(mode);
  SetText(query, "select * from crew");
  query.Open();
}

// A second process with its own connection and query on the first record,
// opened at the first command (and again after a refused open).
// Commands: 'e' Edit, 'p' name := "other" and Post; answers 'k' or 'E'.
class OtherEditor {
 public:
  OtherEditor(const std::string& dir, nds::TNdsRecordLockingModes mode) {
    int down[2], up[2];
    if (pipe(down) != 0 || pipe(up) != 0) return;
    pid_ = fork();
    if (pid_ == 0) Serve(dir, mode, down[0], up[1]);
    commands_ = down[1];
    answers_ = up[0];
  }
  ~OtherEditor() {
    Kill();
    close(commands_);
    close(answers_);
  }

  char Do(char command) {
    char answer = '?';
    if (write(commands_, &command, 1) != 1 || read(answers_, &answer, 1) != 1) return '?';
    return answer;
  }
  void Kill() {
    if (pid_ > 0 && kill(pid_, SIGKILL) == 0) waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  [[noreturn]] static void Serve(const std::string& dir, nds::TNdsRecordLockingModes mode,
                                 int commands, int answers) {
    nds::TNdsConnection connection(nullptr);
    connection.SetLoginPrompt(false);
    connection.SetConnectPath(dir);
    nds::TNdsQuery query(nullptr);
    char command = 0;
    try {
      while (read(commands, &command, 1) == 1) {
        char answer = 'k';
        try {
          if (!query.Active()) OpenCrew(query, connection, mode);
          if (command == 'e') query.Edit();
          if (command == 'p') {
            query.FieldByName("name")->SetAsString("other");
            query.Post();
          }
        } catch (const dataset::Exception&) {
          answer = 'E';
        }
        if (write(answers, &answer, 1) != 1) break;
      }
    } catch (...) {
    }
    _exit(0);
  }

  pid_t pid_ = -1;
  int commands_ = -1, answers_ = -1;  // the parent's ends of the two pipes
};

class RecordLocking : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Exec("create table crew (name char(10), qty integer)");
    db_.Exec("insert into crew values ('first', 1)");
    // No store is open across the fork: the other process opens its own.
    db_.Connection().Disconnect();
  }
  std::string Stored() { return db_.Column("select name || qty from crew")[0]; }

  nds_test::QueryDatabase db_;
};

TEST_F(RecordLocking, PessimisticLockingRefusesTheSecondEditorUntilTheFirstIsKilled) {
  OtherEditor other(db_.Dir(), nds::lmPessimistic);
  ASSERT_EQ(other.Do('e'), 'k');
  nds::TNdsQuery query(nullptr);
  OpenCrew(query, db_.Connection(), nds::lmPessimistic);
  try {
    query.Edit();
    FAIL() << "the record locked by the other process was edited";
  } catch (const nds::ENDSDatabaseError& error) {
    EXPECT_EQ(error.EngineErrorCode(), NDS_E_LOCK_FAILED) << error.Message();
  }
  EXPECT_EQ(query.State(), dataset::dsBrowse);

  // A process killed while editing takes its lock with it.
  other.Kill();
  query.Edit();
  query.FieldByName("qty")->SetAsInteger(2);
  query.Post();
  EXPECT_EQ(Stored(), "first2");
}

TEST_F(RecordLocking, OptimisticLockingRefusesThePostOfARecordChangedMeanwhile) {
  OtherEditor other(db_.Dir(), nds::lmOptimistic);
  nds::TNdsQuery query(nullptr);
  OpenCrew(query, db_.Connection(), nds::lmOptimistic);
  query.Edit();
  query.FieldByName("qty")->SetAsInteger(7);
  // Editing takes no lock: the other process edits and posts meanwhile.
  ASSERT_EQ(other.Do('e'), 'k');
  ASSERT_EQ(other.Do('p'), 'k');
  EXPECT_EQ(MessageOf([&] { query.Post(); }), "Q: Record was changed by another user.");
  EXPECT_EQ(query.State(), dataset::dsEdit);
  EXPECT_EQ(query.FieldByName("qty")->AsInteger(), 7);
  EXPECT_EQ(Stored(), "other1");
  // The refused post released the lock it took to compare.
  ASSERT_EQ(other.Do('e'), 'k');
  ASSERT_EQ(other.Do('p'), 'k');

  query.Cancel();
  EXPECT_EQ(query.FieldByName("name")->AsString(), "other");
  query.Edit();
  query.FieldByName("qty")->SetAsInteger(7);
  query.Post();
  EXPECT_EQ(Stored(), "other7");
}

TEST_F(RecordLocking, OnlyAnExclusiveOpenSkipsRecordLocksAndClosingForgetsIt) {
  OtherEditor other(db_.Dir(), nds::lmPessimistic);
  nds::TNdsQuery query(nullptr);
  query.SetName("Q");
  query.SetNdsConnection(&db_.Connection());
  db_.Connection().SetIsConnected(true);
  NDSHANDLE cursor = 0;
  ASSERT_EQ(
      NdsOpenTable(db_.Connection().ConnectionHandle(), "crew", 0, 0, NDS_OPEN_EXCLUSIVE, &cursor),
      0u);
  query.OpenOnHandle(cursor);
  EXPECT_TRUE(query.Exclusive());
  EXPECT_EQ(other.Do('e'), 'E');  // nobody else opens the table meanwhile
  query.Edit();
  query.FieldByName("qty")->SetAsInteger(2);
  query.Post();
  query.Close();
  EXPECT_FALSE(query.Exclusive());

  // Reused on a shared cursor, the dataset locks again and is refused the
  // record the other process edits.
  ASSERT_EQ(other.Do('e'), 'k');
  OpenCrew(query, db_.Connection(), nds::lmPessimistic);
  EXPECT_FALSE(query.Exclusive());
  try {
    query.Edit();
    FAIL() << "the record locked by the other process was edited";
  } catch (const nds::ENDSDatabaseError& error) {
    EXPECT_EQ(error.EngineErrorCode(), NDS_E_LOCK_FAILED) << error.Message();
  }
  // A shared table opened through the engine is not exclusive either.
  query.Close();
  ASSERT_EQ(NdsOpenTable(db_.Connection().ConnectionHandle(), "crew", 0, 0, 0, &cursor), 0u);
  query.OpenOnHandle(cursor);
  EXPECT_FALSE(query.Exclusive());
  EXPECT_EQ(MessageOf([&] { query.Edit(); }).empty(), false);
  EXPECT_EQ(Stored(), "first2");
}

}  // namespace
