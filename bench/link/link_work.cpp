#include "bench/link/link_work.h"

#include <cstdio>
#include <random>
#include <stdexcept>

namespace link_bench {

ServerAddress ServerAddress::Parse(const std::string& uri) {
  const size_t scheme = uri.find("://");
  if (scheme == std::string::npos) throw std::runtime_error("not a server URI: " + uri);
  size_t at = scheme + 3;
  ServerAddress address;
  const size_t path = uri.find('/', at);
  if (path == std::string::npos) throw std::runtime_error("the URI names no database: " + uri);
  const size_t user_end = uri.find('@', at);
  if (user_end != std::string::npos && user_end < path) {
    address.user = uri.substr(at, user_end - at);
    at = user_end + 1;
  }
  const size_t colon = uri.find(':', at);
  if (colon != std::string::npos && colon < path) {
    address.host = uri.substr(at, colon - at);
    address.port = std::stoi(uri.substr(colon + 1, path - colon - 1));
  } else {
    address.host = uri.substr(at, path - at);
  }
  const size_t query = uri.find('?', path);
  address.database = uri.substr(path + 1, query == std::string::npos ? query : query - path - 1);
  if (query != std::string::npos) address.options = uri.substr(query + 1);
  if (address.host.empty() || address.database.empty())
    throw std::runtime_error("the URI names no host or no database: " + uri);
  return address;
}

std::string ServerAddress::Uri(const std::string& other_database, int other_port) const {
  std::string uri = "postgresql://";
  if (!user.empty()) uri += user + "@";
  uri += host + ":" + std::to_string(other_port) + "/" + other_database;
  if (!options.empty()) uri += "?" + options;
  return uri;
}

std::string CodeText(int64_t n) {
  char text[16];
  std::snprintf(text, sizeof text, "K%07lld", static_cast<long long>(n));
  return text;
}

Picks Picks::Draw(const Sizes& sizes) {
  Picks picks;
  std::mt19937 random(42);
  std::uniform_int_distribution<int> code(0, sizes.walk - 1);
  for (int i = 0; i < sizes.seeks; ++i) picks.keys.push_back(CodeText(code(random)));
  std::uniform_int_distribution<uint32_t> record(1, static_cast<uint32_t>(sizes.walk));
  for (int i = 0; i < sizes.edits; ++i) picks.records.push_back(record(random));
  return picks;
}

}  // namespace link_bench
