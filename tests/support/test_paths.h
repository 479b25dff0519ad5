// Where the build put the programs the tests run. Kept in one source file,
// so that no other test file's compilation names the build folder: a
// compiler cache then serves every other test file to any checkout.
#ifndef TESTS_SUPPORT_TEST_PATHS_H
#define TESTS_SUPPORT_TEST_PATHS_H

#include <string>

namespace test_support {

// The build folder (CMAKE_BINARY_DIR): programs lie in its app/ and tools/.
std::string TestBinaryDir();
// The checkout (CMAKE_SOURCE_DIR): the scripts lie in its scripts/.
std::string TestSourceDir();

}  // namespace test_support

#endif  // TESTS_SUPPORT_TEST_PATHS_H
