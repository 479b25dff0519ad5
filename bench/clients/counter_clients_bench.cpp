// Several client processes edit random records of one table at the same
// time through live queries under optimistic locking (counter_clients.h),
// for a minute by default; then the counters must add up to the posts.
// Prints posts per second in total and per client and the conflicts; exits
// non-zero when an update was lost or a client met another error.
//
// Usage: bench-counter-clients [--clients N] [--seconds S] [--records R]
//                              [--hold-us U] [--seed X] DATABASE
// DATABASE is a directory (a SQLite store, made when missing) or a server
// URI postgresql://user@host:port/database. scripts/bench-clients runs it
// on both.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/clients/counter_clients.h"

namespace {

struct Options {
  int clients = 8;
  double seconds = 60;
  int records = 10000;
  int holdMicroseconds = 0;
  unsigned seed = 20261209;
  std::string path;
};

[[noreturn]] void Usage() {
  std::fprintf(stderr,
               "usage: bench-counter-clients [--clients N] [--seconds S] [--records R] "
               "[--hold-us U] [--seed X] DATABASE\n");
  std::exit(64);
}

Options Parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    auto number = [&]() { return hasValue ? std::atof(argv[++i]) : (Usage(), 0.0); };
    if (arg == "--clients") {
      options.clients = static_cast<int>(number());
    } else if (arg == "--seconds") {
      options.seconds = number();
    } else if (arg == "--records") {
      options.records = static_cast<int>(number());
    } else if (arg == "--hold-us") {
      options.holdMicroseconds = static_cast<int>(number());
    } else if (arg == "--seed") {
      options.seed = static_cast<unsigned>(number());
    } else if (arg.rfind("--", 0) == 0 || !options.path.empty()) {
      Usage();
    } else {
      options.path = arg;
    }
  }
  if (options.path.empty() || options.clients < 1 || options.clients > 64 || options.seconds <= 0 ||
      options.records < 1 || options.holdMicroseconds < 0)
    Usage();
  return options;
}

bool IsServerPath(const std::string& path) {
  return path.rfind("postgresql://", 0) == 0 || path.rfind("postgres://", 0) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = Parse(argc, argv);
  std::int64_t sum = 0, records = 0;
  std::vector<counter_clients::Tally> tallies;
  double wall = 0;
  try {
    if (!IsServerPath(options.path)) std::filesystem::create_directories(options.path);
    counter_clients::MakeTable(options.path, options.records);
    counter_clients::Work work;
    work.path = options.path;
    work.seconds = options.seconds;
    work.seed = options.seed;
    work.holdMicroseconds = options.holdMicroseconds;
    counter_clients::Clients clients(work, options.clients);
    if (clients.Started() != options.clients) {
      std::fprintf(stderr, "started %d of %d clients\n", clients.Started(), options.clients);
      return 1;
    }
    clients.Start();
    const auto begin = std::chrono::steady_clock::now();
    tallies = clients.Finish();
    wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    counter_clients::ReadTotals(options.path, &sum, &records);
  } catch (const dataset::Exception& error) {
    std::fprintf(stderr, "failed: %s\n", error.Message().c_str());
    return 1;
  }

  std::int64_t posts = 0, changed = 0, lockFailed = 0, busy = 0, other = 0;
  std::vector<double> rates;
  for (const counter_clients::Tally& t : tallies) {
    posts += t.posts;
    changed += t.changed;
    lockFailed += t.lockFailed;
    busy += t.busy;
    other += t.otherErrors;
    rates.push_back(t.seconds > 0 ? static_cast<double>(t.posts) / t.seconds : 0);
    if (t.otherErrors > 0) std::fprintf(stderr, "client error: %s\n", t.firstError);
  }
  std::sort(rates.begin(), rates.end());
  const bool lost = sum != posts || records != options.records;

  std::printf("store: %s\n", IsServerPath(options.path) ? "PostgreSQL server" : "SQLite");
  std::printf("%d clients, %.0f s, %d records, hold %d us between Edit and Post\n", options.clients,
              options.seconds, options.records, options.holdMicroseconds);
  std::printf("posts: %lld (%.0f per second in total)\n", static_cast<long long>(posts),
              static_cast<double>(posts) / wall);
  std::printf("per client, posts per second: min %.0f, median %.0f, max %.0f\n", rates.front(),
              rates[rates.size() / 2], rates.back());
  std::printf("conflicts: %lld changed by another user, %lld locked by another user\n",
              static_cast<long long>(changed), static_cast<long long>(lockFailed));
  std::printf("store busy (gave up waiting for its lock): %lld\n", static_cast<long long>(busy));
  std::printf("other errors: %lld\n", static_cast<long long>(other));
  std::printf("counters: sum %lld over %lld records; %s\n", static_cast<long long>(sum),
              static_cast<long long>(records),
              lost ? "DIFFERS from the posts: updates were lost" : "equals the posts");
  return lost || other > 0 ? 1 : 0;
}
