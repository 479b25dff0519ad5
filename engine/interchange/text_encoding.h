// Text between a file's encoding and the engine's own: the stores keep text
// as UTF-8, files carry it in a code page (xBase tables name theirs with a
// language driver byte) or in an encoding the caller names. Conversions go
// through iconv; a byte sequence the encoding does not have, or a character
// it cannot write, is reported, never replaced.
#ifndef ENGINE_INTERCHANGE_TEXT_ENCODING_H
#define ENGINE_INTERCHANGE_TEXT_ENCODING_H

#include <cstdint>
#include <string>
#include <string_view>

namespace nce {

class TextEncoding {
 public:
  // `name` is an iconv name ("CP1252", "UTF-8", "ISO-8859-1"), in any
  // letter case. Throws EngineError NDS_E_INVALID_OPTION for a name iconv
  // does not know, and for an encoding that does not write ASCII as ASCII
  // (UTF-16, UTF-7, EBCDIC), whose files the formats here cannot read.
  explicit TextEncoding(std::string_view name);
  ~TextEncoding();
  TextEncoding(const TextEncoding&) = delete;
  TextEncoding& operator=(const TextEncoding&) = delete;

  // The name as given, in capitals.
  const std::string& name() const { return name_; }
  bool is_utf8() const { return utf8_; }

  // Decodes `bytes` of this encoding into UTF-8 in `*out`; false when they
  // are not valid in it (`*out` then undefined).
  bool ToUtf8(std::string_view bytes, std::string* out);
  // Encodes UTF-8 text into this encoding in `*out`; false when the text is
  // not UTF-8 or holds a character this encoding cannot write.
  bool FromUtf8(std::string_view utf8, std::string* out);

 private:
  bool Convert(void* cd, std::string_view in, std::string* out);

  std::string name_;         // iconv name, capitals
  bool utf8_ = false;        // UTF-8 itself: only checked, never converted
  void* decoder_ = nullptr;  // iconv_t from name_ to UTF-8; null for UTF-8
  void* encoder_ = nullptr;  // iconv_t from UTF-8 to name_; null for UTF-8
};

// Whether `text` is well-formed UTF-8 (no overlong forms, no surrogates).
bool IsUtf8(std::string_view text);

// The code page an xBase language driver byte names (437, 850, 1252, ...);
// 0 for a byte that names none (0 itself: the file does not say).
int CodePageOfLanguageDriver(uint8_t driver);
// The language driver byte an xBase writer records for `code_page`; 0 when
// no driver byte names it.
uint8_t LanguageDriverOfCodePage(int code_page);
// The iconv name of a code page ("CP437", "MACINTOSH" for 10000).
std::string EncodingOfCodePage(int code_page);
// The code page an encoding name stands for ("CP850", "cp850", "850",
// "WINDOWS-1252", "ISO-8859-1" gives 0: no code page); 0 when none.
int CodePageOfEncoding(std::string_view name);

}  // namespace nce

#endif  // ENGINE_INTERCHANGE_TEXT_ENCODING_H
