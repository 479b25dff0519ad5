// Fuzzes the nds.ini reader: any bytes as the file's text, looked up for a
// fixed alias and for an alias taken from the input itself.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "nds/ndscnnct.h"

namespace {

void CheckValue(const std::string& value) {
  // A value never spans lines and never keeps the blanks around it.
  if (value.find_first_of("\r\n") != std::string::npos) std::abort();
  const nds::TAliasValue alias = nds::SplitAliasValue(value);
  if (alias.path.size() > value.size()) std::abort();
  if (alias.path.find(';') != std::string::npos) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckValue(nds::FindProfileValue(text, "Databases", "VOLANTRAX"));

  // The first line (up to 32 bytes) names the section, the second the entry.
  const auto firstEnd = text.find('\n');
  const std::string_view section = text.substr(0, std::min<std::size_t>(firstEnd, 32));
  std::string_view rest =
      firstEnd == std::string_view::npos ? std::string_view() : text.substr(firstEnd + 1);
  const std::string_view entry = rest.substr(0, std::min<std::size_t>(rest.find('\n'), 32));
  CheckValue(nds::FindProfileValue(text, section, entry));
  return 0;
}
