// Clients that edit one table of counters at the same time, each in a
// process of its own with its own connection, through a live query over the
// table under optimistic record locking: each edit reads a random record,
// adds one to its counter and posts. A client counts the posts that
// succeeded and the conflicts reported to it; when all are done, the
// counters of the table must add up to the posts, or an update was lost.
//
// Used by bench/clients/counter_clients_bench.cpp (eight clients for a
// minute) and by the nds suite's test of the same check (a few seconds).
#ifndef BENCH_CLIENTS_COUNTER_CLIENTS_H_
#define BENCH_CLIENTS_COUNTER_CLIENTS_H_

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "nds/ndscnnct.h"
#include "nds/ndstable.h"

namespace counter_clients {

// What one client did; sent whole through a pipe to the parent.
struct Tally {
  std::int64_t posts = 0;        // posts that succeeded: one counter step each
  std::int64_t changed = 0;      // posts refused: record changed by another user
  std::int64_t lockFailed = 0;   // posts refused: record locked by another user
  std::int64_t busy = 0;         // edits refused: the store stayed locked too long
  std::int64_t otherErrors = 0;  // anything else (a fault: the run fails)
  double seconds = 0;            // from the start signal to the last post
  char firstError[240] = {};     // the text of the first other error
};

// How a client works.
struct Work {
  std::string path;          // the database: a directory or a server URI
  double seconds = 1;        // how long to edit
  unsigned seed = 1;         // the client's random records
  int holdMicroseconds = 0;  // pause between Edit and Post, to let others in
};

// A connection to `path` that connects without a prompt, to a local store
// or a server alike.
inline void Configure(nds::TNdsConnection& connection, const std::string& path) {
  connection.SetNdsServerTypes(nds::TNdsServerTypes{nds::stNDS_REMOTE, nds::stNDS_LOCAL});
  connection.SetLoginPrompt(false);
  connection.SetConnectPath(path);
}

inline void SetSql(nds::TNdsQuery& query, const std::string& text) {
  dataset::TStringList lines;
  lines.SetText(text);
  query.SetSQL(&lines);
}

// Makes the table `counters` of `records` records, each counter at 0.
inline void MakeTable(const std::string& path, int records) {
  nds::TNdsConnection connection(nullptr);
  Configure(connection, path);
  connection.ExecuteStatement("drop table if exists counters", nullptr, false, nullptr);
  connection.ExecuteStatement("create table counters (id integer, hits integer)", nullptr, false,
                              nullptr);
  constexpr int kRowsPerInsert = 500;
  connection.StartTransaction();
  for (int first = 1; first <= records; first += kRowsPerInsert) {
    std::string sql = "insert into counters (id, hits) values ";
    for (int id = first; id < first + kRowsPerInsert && id <= records; ++id)
      sql += (id == first ? "(" : ", (") + std::to_string(id) + ", 0)";
    connection.ExecuteStatement(sql, nullptr, false, nullptr);
  }
  connection.CommitTransaction();
}

// The sum of the counters and the number of records, read through a query.
inline void ReadTotals(const std::string& path, std::int64_t* sum, std::int64_t* records) {
  nds::TNdsConnection connection(nullptr);
  Configure(connection, path);
  nds::TNdsQuery query(nullptr);
  query.SetNdsConnection(&connection);
  SetSql(query, "select count(*) as n, sum(hits) as total from counters");
  query.Open();
  *records = query.FieldByName("n")->AsLargeInt();
  *sum = static_cast<std::int64_t>(query.FieldByName("total")->AsFloat());
  query.Close();
}

// One client: connects, opens the live query, collects every record's
// bookmark, writes 'r' to `ready` (and sets `*readySent`), then waits for
// one byte on `start` and edits for `work.seconds`. Only a fault outside the
// edits (connecting, opening, closing) escapes.
inline Tally RunClient(const Work& work, int ready, int start, bool* readySent) {
  Tally tally;
  nds::TNdsConnection connection(nullptr);
  Configure(connection, work.path);
  nds::TNdsQuery query(nullptr);
  query.SetNdsConnection(&connection);
  query.SetRequestLive(true);
  query.NdsTableOptions()->SetNdsRecordLockingMode(nds::lmOptimistic);
  SetSql(query, "select * from counters");
  query.Open();
  std::vector<dataset::TBookmark> marks;
  for (query.First(); !query.Eof(); query.Next()) marks.push_back(query.GetBookmark());
  dataset::TField* hits = query.FieldByName("hits");

  char go = 'r';
  *readySent = write(ready, &go, 1) == 1;
  if (!*readySent || read(start, &go, 1) != 1) return tally;
  std::mt19937 random(work.seed);
  std::uniform_int_distribution<std::size_t> pick(0, marks.size() - 1);
  const auto begin = std::chrono::steady_clock::now();
  const auto end = begin + std::chrono::duration<double>(work.seconds);
  auto last = begin;
  while ((last = std::chrono::steady_clock::now()) < end) {
    try {
      query.GotoBookmark(marks[pick(random)]);
      query.Edit();
      hits->SetAsLargeInt(hits->AsLargeInt() + 1);
      if (work.holdMicroseconds > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(work.holdMicroseconds));
      query.Post();
      ++tally.posts;
    } catch (const nds::ENDSDatabaseError& error) {
      if (error.EngineErrorCode() == NDS_E_RECORD_CHANGED) {
        ++tally.changed;
      } else if (error.EngineErrorCode() == NDS_E_LOCK_FAILED) {
        ++tally.lockFailed;
      } else if (error.EngineErrorCode() == NDS_E_BUSY) {
        ++tally.busy;
      } else if (++tally.otherErrors == 1) {
        std::snprintf(tally.firstError, sizeof tally.firstError, "%u: %s", error.EngineErrorCode(),
                      error.Message().c_str());
      }
      if (query.State() != dataset::dsBrowse) query.Cancel();
    }
  }
  tally.seconds = std::chrono::duration<double>(last - begin).count();
  query.Close();
  return tally;
}

// The clients as child processes: started by the constructor, each ready
// once its bookmarks are read; Start lets them all edit at once and Finish
// collects their tallies.
class Clients {
 public:
  Clients(const Work& work, int count) {
    if (pipe(start_) != 0) return;
    for (int i = 0; i < count; ++i) {
      int up[2];
      if (pipe(up) != 0) break;
      pid_t pid = fork();
      if (pid == 0) {
        close(start_[1]);
        close(up[0]);
        Work mine = work;
        mine.seed = work.seed + static_cast<unsigned>(i) * 7919u;
        Tally tally;
        bool readySent = false;
        try {
          tally = RunClient(mine, up[1], start_[0], &readySent);
        } catch (const dataset::Exception& error) {
          tally.otherErrors = 1;
          std::snprintf(tally.firstError, sizeof tally.firstError, "client failed: %s",
                        error.Message().c_str());
        }
        // A client that failed before it was ready says 'f' in place of
        // the ready byte; its tally carries the error.
        const char failed = 'f';
        if (!readySent && write(up[1], &failed, 1) != 1) _exit(1);
        _exit(write(up[1], &tally, sizeof tally) == sizeof tally ? 0 : 1);
      }
      close(up[1]);
      if (pid < 0) {
        close(up[0]);
        break;
      }
      children_.push_back({pid, up[0]});
    }
    close(start_[0]);
  }
  // Closing the start pipe first ends a client that was never let go.
  ~Clients() {
    if (start_[1] >= 0) close(start_[1]);
    for (const Child& child : children_) {
      close(child.answers);
      waitpid(child.pid, nullptr, 0);
    }
  }
  Clients(const Clients&) = delete;
  Clients& operator=(const Clients&) = delete;

  int Started() const { return static_cast<int>(children_.size()); }

  // Waits until every client is ready, then lets them all go.
  void Start() {
    for (Child& child : children_) {
      char status = 0;  // 'r' ready, 'f' failed before it was ready
      child.answered = read(child.answers, &status, 1) == 1;
    }
    const std::string go(children_.size(), 'g');
    if (write(start_[1], go.data(), go.size()) != static_cast<ssize_t>(go.size())) return;
  }

  // Each client's tally, in the order they were started; a client that
  // died without one gives a tally with an error. Call after Start.
  std::vector<Tally> Finish() {
    std::vector<Tally> tallies;
    for (const Child& child : children_) {
      Tally tally;
      if (!child.answered || read(child.answers, &tally, sizeof tally) != sizeof tally) {
        tally = Tally();
        tally.otherErrors = 1;
        std::snprintf(tally.firstError, sizeof tally.firstError, "client %d died without a tally",
                      static_cast<int>(child.pid));
      }
      tallies.push_back(tally);
    }
    return tallies;
  }

 private:
  struct Child {
    pid_t pid;              // the client process
    int answers;            // the read end of its ready byte and tally
    bool answered = false;  // it sent its status byte; its tally follows
  };
  int start_[2] = {-1, -1};      // one byte per client lets it go
  std::vector<Child> children_;  // the clients started
};

}  // namespace counter_clients

#endif  // BENCH_CLIENTS_COUNTER_CLIENTS_H_
