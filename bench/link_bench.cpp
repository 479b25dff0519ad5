// The engine over a link with latency, against plain libpq and Qt's
// PostgreSQL driver (QPSQL): every contender reaches the server through one
// relay of our own that delays each direction by the same time (1 ms unless
// LINK_DELAY_MS says otherwise) and counts the round trips. Each line is one
// piece of work: walking the table, seeking keys, editing and posting
// records, appending in a transaction, and the archive repair run against
// psql -1 -f of the same script. Prints each run, then a Markdown table of
// medians with round trips and the ratios to the anchors.
//
// Environment:
//   NCE_BENCH_POSTGRES_URI   a database the bench may fill
//                            (postgresql://user@127.0.0.1:port/db?sslmode=disable)
//   NCE_BENCH_REPAIR_TEMPLATE a database of the same server holding the
//                            repair run's tables (scripts/bench-link makes
//                            it); without it the repair line is left out
//   LINK_REPS (3), LINK_DELAY_MS (1), LINK_APPENDS (10000), LINK_REPAIR_ROWS
//                            (the rows per table of the template, for the
//                            line's name)
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/link/engine_contender.h"
#include "bench/link/libpq_contender.h"
#include "bench/link/link_report.h"
#include "bench/link/link_tables.h"
#include "bench/link/link_work.h"
#include "bench/link/qt_contender.h"
#include "nce/nce.h"
#include "tests/support/link_relay.h"
#include "tests/support/repair_script.h"

namespace link_bench {
namespace {

int EnvNumber(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text && *text ? std::stoi(text) : fallback;
}

std::string Thousands(int n) {
  const std::string digits = std::to_string(n);
  std::string text;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ' ';
    text += digits[i];
  }
  return text;
}

void Expect(int64_t got, int64_t wanted, const char* what) {
  if (got != wanted)
    throw std::runtime_error(std::string(what) + ": " + std::to_string(got) + " where " +
                             std::to_string(wanted) + " were wanted");
}

// The repair run of the engine against psql -1 -f of the same script, each
// on a fresh copy of the template; the two copies must agree afterwards.
Line RepairLine(const ServerAddress& address, const std::string& template_db, int port,
                Admin& admin, const std::string& script_file, const std::string& rows) {
  auto fresh = [&admin, template_db](const std::string& db) {
    return [&admin, template_db, db] {
      admin.Run("DROP DATABASE IF EXISTS " + db);
      admin.Run("CREATE DATABASE " + db + " TEMPLATE " + template_db);
      admin.Run("CHECKPOINT");
    };
  };
  const std::string script = test_support::RepairScriptText();
  Contender ours(
      [address, port, script] {
        EngineContender::Repair(address.Uri("link_repair_engine", port), script);
      },
      fresh("link_repair_engine"));
  const std::string command = "psql '" + address.Uri("link_repair_psql", port) +
                              "' -v ON_ERROR_STOP=1 -q -1 -f '" + script_file + "' >/dev/null 2>" +
                              script_file + ".err";
  auto same_rows = [address] {
    Admin engine(address.Uri("link_repair_engine", address.port));
    Admin psql(address.Uri("link_repair_psql", address.port));
    for (const char* table : {"acftcomp", "a_acftcomp", "workcard", "a_workcard"}) {
      const std::string count = std::string("SELECT count(*) FROM ") + table;
      Expect(engine.Number(count), psql.Number(count), table);
    }
  };
  Contender psql(
      [command] {
        if (std::system(command.c_str()) != 0) throw std::runtime_error("psql failed: " + command);
      },
      fresh("link_repair_psql"), same_rows);
  Line line("repair run, " + rows + " rows a table", ours, psql, std::nullopt);
  line.libpq_name = "psql -1 -f";
  return line;
}

int Run() {
  const char* uri = std::getenv("NCE_BENCH_POSTGRES_URI");
  if (!uri) throw std::runtime_error("NCE_BENCH_POSTGRES_URI names no server");
  const ServerAddress address = ServerAddress::Parse(uri);
  Sizes sizes;
  sizes.appends = EnvNumber("LINK_APPENDS", sizes.appends);
  const int repetitions = EnvNumber("LINK_REPS", 3);
  const int delay_ms = EnvNumber("LINK_DELAY_MS", 1);
  const Picks picks = Picks::Draw(sizes);

  std::fprintf(stderr, "making the tables (%d records)\n", sizes.walk);
  MakeTables(uri, sizes);
  Admin admin(uri);

  test_support::LinkRelay relay(address.host, address.port, std::chrono::milliseconds(delay_ms));
  const std::string relayed = address.Uri(address.database, relay.port());
  EngineContender engine(relayed);
  LibpqContender libpq(relayed);
  std::unique_ptr<QtContender> qt;
  if (QtContender::Available())
    qt = std::make_unique<QtContender>(address, relay.port());
  else
    std::fprintf(stderr, "Qt has no QPSQL driver: its column stays empty\n");

  const std::string walk = Thousands(sizes.walk);
  auto walked = [&](auto reader) {
    return Contender([reader, &sizes] { Expect(reader(), sizes.walk, "records walked"); });
  };
  auto qt_walk = [&]() -> std::optional<Contender> {
    if (!qt) return std::nullopt;
    return walked([&] { return qt->Walk(); });
  };
  auto qt_work = [&](std::function<void()> work) -> std::optional<Contender> {
    if (!qt) return std::nullopt;
    return Contender(work);
  };

  std::vector<Line> lines;
  lines.emplace_back("walk " + walk + " records, table cursor",
                     walked([&] { return engine.WalkTable(); }),
                     walked([&] { return libpq.Walk(); }), qt_walk());
  lines.emplace_back("walk " + walk + " records, live TNdsQuery",
                     walked([&] { return engine.WalkQuery(); }),
                     walked([&] { return libpq.Walk(); }), qt_walk());
  lines.emplace_back(
      "seek " + Thousands(sizes.seeks) + " keys", Contender([&] { engine.Seek(picks.keys); }),
      Contender([&] { libpq.Seek(picks.keys); }), qt_work([&] { qt->Seek(picks.keys); }));
  lines.emplace_back("edit and post " + Thousands(sizes.edits) + " records",
                     Contender([&] { engine.Edit(picks.records); }),
                     Contender([&] { libpq.Edit(picks.records); }),
                     qt_work([&] { qt->Edit(picks.records); }));
  auto empty = [&] { admin.Run("DELETE FROM appended"); };
  auto all_there = [&] {
    Expect(admin.Number("SELECT count(*) FROM appended"), sizes.appends, "records appended");
  };
  std::optional<Contender> qt_append;
  if (qt) qt_append = Contender([&] { qt->Append(sizes.appends); }, empty, all_there);
  lines.emplace_back("append " + Thousands(sizes.appends) + " records in a transaction",
                     Contender([&] { engine.Append(sizes.appends); }, empty, all_there),
                     Contender([&] { libpq.Append(sizes.appends); }, empty, all_there), qt_append);

  std::string script_file;
  if (const char* template_db = std::getenv("NCE_BENCH_REPAIR_TEMPLATE")) {
    // The engine's catalog and functions go into the template once, as a
    // database the engine has used before has them.
    NDSHANDLE once = 0;
    const std::string template_uri = address.Uri(template_db, address.port);
    if (NdsConnect60(template_uri.c_str(), NDS_REMOTE_SERVER, "", "", 0, &once) != 0)
      throw std::runtime_error("the engine cannot connect to " + template_uri);
    NdsDisconnect(once);
    char name[] = "/tmp/link_bench_repair_XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) throw std::runtime_error("no temporary file for the repair script");
    close(fd);
    script_file = name;
    std::ofstream(script_file, std::ios::binary) << test_support::RepairScriptText();
    const char* rows = std::getenv("LINK_REPAIR_ROWS");
    lines.push_back(RepairLine(address, template_db, relay.port(), admin, script_file,
                               rows ? Thousands(std::stoi(rows)) : std::string("the template's")));
  }

  std::vector<LineResult> results;
  for (const Line& line : lines) results.push_back(RunLine(line, repetitions, relay));
  if (!script_file.empty()) {
    std::remove(script_file.c_str());
    std::remove((script_file + ".err").c_str());
  }
  std::printf("Link: %d ms each way (a round trip waits %d ms), medians of %d runs, wall clock\n\n",
              delay_ms, 2 * delay_ms, repetitions);
  std::printf("%s", FormatTable(results).c_str());
  return 0;
}

}  // namespace
}  // namespace link_bench

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  try {
    return link_bench::Run();
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "link_bench: %s\n", failure.what());
    return 1;
  }
}
