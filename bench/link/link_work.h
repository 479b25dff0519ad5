// What the link benchmark runs: the server it reaches, the sizes of its
// pieces of work, and the keys and records they touch, the same for every
// contender.
#ifndef BENCH_LINK_LINK_WORK_H_
#define BENCH_LINK_LINK_WORK_H_

#include <cstdint>
#include <string>
#include <vector>

namespace link_bench {

// A server URI taken apart: postgresql://user@host:port/database?options.
// The host must be a numeric IPv4 address (the relay connects to it).
struct ServerAddress {
  std::string user;
  std::string host;
  int port = 5432;
  std::string database;
  std::string options;  // after '?', without it; may be empty

  // Raises std::runtime_error for a URI of another shape.
  static ServerAddress Parse(const std::string& uri);
  // The URI of `database` on the same server at `port` (the relay's, or the
  // server's own).
  std::string Uri(const std::string& other_database, int other_port) const;
};

struct Sizes {
  int walk = 100000;    // records of the walked table
  int seeks = 1000;     // keys looked up
  int edits = 1000;     // records edited and posted one by one
  int appends = 10000;  // records appended in one transaction
};

// Keys and record numbers drawn once per run from fixed seeds.
struct Picks {
  std::vector<std::string> keys;  // codes K0000000 ... of the walked table
  std::vector<uint32_t> records;  // record numbers 1 ... walk
  static Picks Draw(const Sizes& sizes);
};

// The code of record `id` (1 ... walk) of the walked table, as the table's
// filling statement writes it: codes in scrambled record order.
std::string CodeText(int64_t n);

}  // namespace link_bench

#endif  // BENCH_LINK_LINK_WORK_H_
