#include "tests/store/test_server.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>

#include "engine/storage/postgres/postgres_session.h"
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

std::string ServerUri(const std::string& database, const std::string& user) {
  return "postgresql://" + user + "@127.0.0.1:" + ServerPort() + "/" + database;
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
