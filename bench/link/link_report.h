// Timing pieces of work over the relay and printing the results: each
// contender's wall-clock time and round trips per repetition, their
// medians, and the ratios of the engine's time to each anchor's with the
// targets (at most 1.2 times libpq, faster than Qt's QPSQL).
#ifndef BENCH_LINK_LINK_REPORT_H_
#define BENCH_LINK_LINK_REPORT_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/link_relay.h"

namespace link_bench {

// One contender on one line: `prepare` runs untimed before every
// repetition, `work` is timed with its round trips, `check` runs untimed
// after it and raises std::runtime_error when the work left the wrong
// result (`prepare` and `check` may be empty).
struct Contender {
  explicit Contender(std::function<void()> timed, std::function<void()> before = {},
                     std::function<void()> after = {})
      : prepare(std::move(before)), work(std::move(timed)), check(std::move(after)) {}
  std::function<void()> prepare;
  std::function<void()> work;
  std::function<void()> check;
};

struct Line {
  Line(std::string what, std::optional<Contender> engine, std::optional<Contender> plain,
       std::optional<Contender> qt_sql)
      : work(std::move(what)),
        ours(std::move(engine)),
        libpq(std::move(plain)),
        qt(std::move(qt_sql)) {}
  std::string work;                  // what the line measures
  std::optional<Contender> ours;     // the engine
  std::optional<Contender> libpq;    // plain libpq, or psql for the repair run
  std::optional<Contender> qt;       // Qt's QPSQL
  std::string libpq_name = "libpq";  // what the libpq column holds on this line
};

struct Medians {
  double seconds = 0;
  uint64_t trips = 0;
  bool present = false;
};

struct LineResult {
  std::string work;
  std::string libpq_name;
  Medians ours, libpq, qt;
};

// Runs every contender of `line` `repetitions` times, interleaved, and
// takes the medians. Prints each run to stderr as it ends.
LineResult RunLine(const Line& line, int repetitions, test_support::LinkRelay& relay);

// The results as a Markdown table.
std::string FormatTable(const std::vector<LineResult>& results);

}  // namespace link_bench

#endif  // BENCH_LINK_LINK_REPORT_H_
