// The test build's PostgreSQL server, which ctest starts for the suites
// that need it (scripts/pg-test-server).
#ifndef TESTS_STORE_TEST_SERVER_H
#define TESTS_STORE_TEST_SERVER_H

#include <string>

namespace test_support {

// The port the test server listens on, on 127.0.0.1.
std::string ServerPort();

// The full path of `name` in the test server's folder (root.crt, the
// certificate of the authority that signed the server's).
std::string ServerFile(const std::string& name);

// The URI of `database` on the test server as `user`. With the environment
// variable NCE_TEST_LINK_DELAY_MS set to a number, the URI leads through a
// relay of the test program's own (tests/support/link_relay.h) that delays
// every byte by that many milliseconds each way.
std::string ServerUri(const std::string& database, const std::string& user = "postgres");

// A fresh database of the test server for the running test, named after it.
std::string FreshDatabase();

}  // namespace test_support

#endif  // TESTS_STORE_TEST_SERVER_H
