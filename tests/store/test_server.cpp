#include "tests/store/test_server.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "engine/storage/postgres/postgres_session.h"
#include "tests/support/link_relay.h"
#include "tests/support/test_paths.h"

namespace test_support {

std::string ServerPort() {
  std::ifstream in(test_support::TestBinaryDir() + "/pg-test-server/port");
  std::string port;
  in >> port;
  return port;
}

std::string ServerFile(const std::string& name) {
  return test_support::TestBinaryDir() + "/pg-test-server/" + name;
}

namespace {

// The relay every server URI goes through when NCE_TEST_LINK_DELAY_MS is
// set: the server that many milliseconds away each way. Made at first use,
// it lives as long as the test program.
const LinkRelay* DelayedLink() {
  static const std::unique_ptr<LinkRelay> relay = []() -> std::unique_ptr<LinkRelay> {
    const char* delay = std::getenv("NCE_TEST_LINK_DELAY_MS");
    if (!delay || !*delay) return nullptr;
    return std::make_unique<LinkRelay>("127.0.0.1", std::stoi(ServerPort()),
                                       std::chrono::milliseconds(std::atoi(delay)));
  }();
  return relay.get();
}

}  // namespace

std::string ServerUri(const std::string& database, const std::string& user) {
  const LinkRelay* relay = DelayedLink();
  const std::string port = relay ? std::to_string(relay->port()) : ServerPort();
  return "postgresql://" + user + "@127.0.0.1:" + port + "/" + database;
}

std::string FreshDatabase() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = "t_";
  for (char c : std::string(info->test_suite_name()) + "_" + info->name())
    name += std::isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(std::tolower(c)) : '_';
  name = name.substr(0, 63);
  auto admin = nce::PostgresSession::Connect(ServerUri("postgres"));
  admin->Execute("DROP DATABASE IF EXISTS " + name);
  admin->Execute("CREATE DATABASE " + name);
  return name;
}

}  // namespace test_support
