#include "engine/base/oem_text.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace nce {

namespace {

// The character of one byte of a single-byte code page, 0 when the page
// gives the byte none. ASCII bytes are themselves.
std::array<char32_t, 256> CodePageCharacters(const char* code_page) {
  std::array<char32_t, 256> characters{};
  for (int b = 0; b < 0x80; ++b) characters[b] = static_cast<char32_t>(b);
  iconv_t cd = iconv_open("UTF-32LE", code_page);
  if (cd == reinterpret_cast<iconv_t>(-1)) return characters;
  for (int b = 0x80; b < 0x100; ++b) {
    char in = static_cast<char>(b);
    unsigned char out[4] = {};
    char* inp = &in;
    char* outp = reinterpret_cast<char*>(out);
    size_t in_left = 1, out_left = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inp, &in_left, &outp, &out_left) != static_cast<size_t>(-1) && out_left == 0)
      characters[b] = static_cast<char32_t>(out[0] | out[1] << 8 | out[2] << 16 | out[3] << 24);
  }
  iconv_close(cd);
  return characters;
}

void AppendUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | c >> 6));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | c >> 12));
    out->push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | c >> 18));
    out->push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Both directions of code page 437, and code page 1252 for stored bytes
// that are not UTF-8. Built once: iconv is asked per byte only here.
class OemTables {
 public:
  static const OemTables& Get() {
    static const OemTables tables;
    return tables;
  }

  // The UTF-8 form of an OEM byte.
  const std::string& Stored(uint8_t oem) const { return stored_[oem]; }

  // The OEM byte of a character; false when code page 437 has none.
  bool Oem(char32_t c, uint8_t* oem) const {
    if (c < 0x80) {
      *oem = static_cast<uint8_t>(c);
      return true;
    }
    auto it = std::lower_bound(to_oem_.begin(), to_oem_.end(), std::make_pair(c, uint8_t{0}));
    if (it == to_oem_.end() || it->first != c) return false;
    *oem = it->second;
    return true;
  }

  // The character a stored byte that does not start UTF-8 stands for; 0
  // when code page 1252 has none.
  char32_t Ansi(uint8_t byte) const { return ansi_[byte]; }

 private:
  OemTables() : ansi_(CodePageCharacters("CP1252")) {
    const std::array<char32_t, 256> oem = CodePageCharacters("CP437");
    for (int b = 0; b < 0x100; ++b) {
      // A byte iconv gives no character (none in code page 437 as glibc
      // has it) keeps its Latin-1 character, so that every byte has one.
      char32_t c = oem[b] != 0 || b == 0 ? oem[b] : static_cast<char32_t>(b);
      AppendUtf8(c, &stored_[b]);
      if (b >= 0x80) to_oem_.emplace_back(c, static_cast<uint8_t>(b));
    }
    std::sort(to_oem_.begin(), to_oem_.end());
  }

  std::array<std::string, 256> stored_;               // UTF-8 form of each OEM byte
  std::vector<std::pair<char32_t, uint8_t>> to_oem_;  // sorted by character
  std::array<char32_t, 256> ansi_;                    // code page 1252, 0 for none
};

// Reads one character of a stored text at `at`, moving past it: UTF-8 when
// the bytes are a well-formed sequence, otherwise one byte of code page
// 1252. 0 for a byte with a character in neither.
char32_t NextStoredCharacter(std::string_view s, size_t* at) {
  const auto lead = static_cast<uint8_t>(s[*at]);
  if (lead < 0x80) {
    ++*at;
    return lead;
  }
  size_t count = lead >= 0xC2 && lead <= 0xDF   ? 1
                 : lead >= 0xE0 && lead <= 0xEF ? 2
                 : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                : 0;
  char32_t c = count == 1 ? lead & 0x1F : count == 2 ? lead & 0x0F : lead & 0x07;
  bool formed = count > 0 && *at + count < s.size();
  for (size_t i = 1; formed && i <= count; ++i) {
    const auto next = static_cast<uint8_t>(s[*at + i]);
    formed = (next & 0xC0) == 0x80;
    c = c << 6 | (next & 0x3F);
  }
  // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
  if (formed)
    formed = (count != 2 || c >= 0x800) && (count != 3 || (c >= 0x10000 && c <= 0x10FFFF)) &&
             (c < 0xD800 || c > 0xDFFF);
  if (!formed) {
    ++*at;
    return OemTables::Get().Ansi(lead);
  }
  *at += count + 1;
  return c;
}

std::string_view TrimEnd(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::string StoredToOem(std::string_view stored) {
  const OemTables& tables = OemTables::Get();
  std::string oem;
  oem.reserve(stored.size());
  for (size_t at = 0; at < stored.size();) {
    uint8_t byte;
    char32_t c = NextStoredCharacter(stored, &at);
    // 0 from a byte of neither UTF-8 nor code page 1252.
    if ((c == 0 && stored[at - 1] != '\0') || !tables.Oem(c, &byte))
      byte = static_cast<uint8_t>(kNoOemForm);
    oem.push_back(static_cast<char>(byte));
  }
  return oem;
}

void StoredToOemInPlace(uint8_t* bytes, uint32_t length) {
  std::string_view stored(reinterpret_cast<const char*>(bytes), length);
  bool ascii = true;
  for (char c : stored) ascii = ascii && static_cast<uint8_t>(c) < 0x80;
  if (ascii) return;
  std::string oem = StoredToOem(stored);
  std::memcpy(bytes, oem.data(), oem.size());
  std::memset(bytes + oem.size(), ' ', length - oem.size());
}

std::string OemToStored(std::string_view oem) {
  const OemTables& tables = OemTables::Get();
  std::string stored;
  stored.reserve(oem.size());
  for (char b : oem) stored += tables.Stored(static_cast<uint8_t>(b));
  return stored;
}

bool OemShowsStored(std::string_view oem, std::string_view stored) {
  return TrimEnd(oem) == TrimEnd(StoredToOem(stored));
}

bool OemIsPlainAscii(std::string_view oem) {
  for (char c : oem)
    if (static_cast<uint8_t>(c) >= 0x80 || c == kNoOemForm) return false;
  return true;
}

}  // namespace nce
