#include "bench/link/link_report.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace link_bench {

namespace {

struct Runs {
  std::vector<double> seconds;
  std::vector<uint64_t> trips;
};

template <typename T>
T Median(std::vector<T> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void RunOnce(const char* who, const std::string& work, const Contender& contender,
             test_support::LinkRelay& relay, Runs& runs) {
  if (contender.prepare) contender.prepare();
  const uint64_t before = relay.RoundTrips();
  const auto start = std::chrono::steady_clock::now();
  contender.work();
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  runs.seconds.push_back(took.count());
  runs.trips.push_back(relay.RoundTrips() - before);
  if (contender.check) contender.check();
  std::fprintf(stderr, "  %-34s %-6s %9.3f s %8llu round trips\n", work.c_str(), who, took.count(),
               static_cast<unsigned long long>(runs.trips.back()));
}

Medians Take(const Runs& runs) {
  if (runs.seconds.empty()) return {};
  return {Median(runs.seconds), Median(runs.trips), true};
}

std::string Time(const Medians& m) {
  if (!m.present) return "";
  char text[32];
  if (m.seconds < 1)
    std::snprintf(text, sizeof text, "%.0f ms", m.seconds * 1000);
  else
    std::snprintf(text, sizeof text, "%.2f s", m.seconds);
  return text;
}

std::string Trips(const Medians& m) {
  return m.present ? std::to_string(m.trips) : "";
}

std::string Ratio(const Medians& ours, const Medians& anchor, double target, bool strictly) {
  if (!ours.present || !anchor.present) return "";
  const double ratio = ours.seconds / anchor.seconds;
  const bool met = strictly ? ratio < target : ratio <= target;
  char text[48];
  std::snprintf(text, sizeof text, "%.2f (%s)", ratio, met ? "met" : "missed");
  return text;
}

}  // namespace

LineResult RunLine(const Line& line, int repetitions, test_support::LinkRelay& relay) {
  Runs ours, libpq, qt;
  for (int r = 0; r < repetitions; ++r) {
    if (line.ours) RunOnce("engine", line.work, *line.ours, relay, ours);
    if (line.libpq) RunOnce(line.libpq_name.c_str(), line.work, *line.libpq, relay, libpq);
    if (line.qt) RunOnce("QPSQL", line.work, *line.qt, relay, qt);
  }
  return {line.work, line.libpq_name, Take(ours), Take(libpq), Take(qt)};
}

std::string FormatTable(const std::vector<LineResult>& results) {
  std::string table =
      "| work | engine | round trips | libpq | round trips | Qt QPSQL | round trips | engine / "
      "libpq (target <= 1.2) | engine / Qt (target < 1.0) |\n"
      "|---|---:|---:|---:|---:|---:|---:|---:|---:|\n";
  for (const LineResult& r : results) {
    std::string anchor = Time(r.libpq);
    if (r.libpq.present && r.libpq_name != "libpq") anchor += " (" + r.libpq_name + ")";
    table += "| " + r.work + " | " + Time(r.ours) + " | " + Trips(r.ours) + " | " + anchor + " | " +
             Trips(r.libpq) + " | " + Time(r.qt) + " | " + Trips(r.qt) + " | " +
             Ratio(r.ours, r.libpq, 1.2, false) + " | " + Ratio(r.ours, r.qt, 1.0, true) + " |\n";
  }
  return table;
}

}  // namespace link_bench
