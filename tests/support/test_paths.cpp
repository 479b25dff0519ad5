#include "tests/support/test_paths.h"

namespace test_support {

std::string TestBinaryDir() {
  return NDS_TEST_BINARY_DIR;
}

std::string TestSourceDir() {
  return NDS_TEST_SOURCE_DIR;
}

}  // namespace test_support
