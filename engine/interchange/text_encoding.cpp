#include "engine/interchange/text_encoding.h"

#include <iconv.h>

#include <cctype>
#include <cerrno>
#include <charconv>

#include "engine/base/errors.h"

namespace nce {
namespace {

// Language driver bytes of xBase headers and the code pages they name, from
// the published table of dBase and Visual FoxPro language drivers. Where
// several bytes name one code page, the first listed is the one a writer
// records.
struct DriverPage {
  uint8_t driver;
  int code_page;
};
constexpr DriverPage kDrivers[] = {
    {0x01, 437},   {0x02, 850},   {0x03, 1252}, {0x04, 10000}, {0x64, 852},  {0x65, 866},
    {0x66, 865},   {0x67, 861},   {0x6A, 737},  {0x6B, 857},   {0x6C, 863},  {0x7D, 1255},
    {0x7E, 1256},  {0x7C, 874},   {0x7B, 932},  {0x7A, 936},   {0x79, 949},  {0x78, 950},
    {0xC8, 1250},  {0xC9, 1251},  {0xCA, 1254}, {0xCB, 1253},  {0xCC, 1257}, {0x96, 10007},
    {0x97, 10029}, {0x98, 10006}, {0x08, 865},  {0x09, 437},   {0x0A, 850},  {0x0B, 437},
    {0x0D, 437},   {0x0E, 850},   {0x0F, 437},  {0x10, 850},   {0x11, 437},  {0x12, 850},
    {0x13, 932},   {0x14, 850},   {0x15, 437},  {0x16, 850},   {0x17, 865},  {0x18, 437},
    {0x19, 437},   {0x1A, 850},   {0x1B, 437},  {0x1C, 863},   {0x1D, 850},  {0x1F, 852},
    {0x22, 852},   {0x23, 852},   {0x24, 860},  {0x25, 850},   {0x26, 866},  {0x37, 850},
    {0x40, 852},   {0x4D, 936},   {0x4E, 949},  {0x4F, 950},   {0x50, 874},  {0x57, 1252},
    {0x58, 1252},  {0x59, 1252},  {0x86, 737},  {0x87, 852},   {0x88, 857},
};

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool IsAscii(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

void* OpenConverter(const std::string& to, const std::string& from) {
  iconv_t cd = iconv_open(to.c_str(), from.c_str());
  return cd == reinterpret_cast<iconv_t>(-1) ? nullptr : cd;
}

}  // namespace

TextEncoding::TextEncoding(std::string_view name) : name_(Upper(name)) {
  utf8_ = name_ == "UTF-8" || name_ == "UTF8";
  if (utf8_) return;
  decoder_ = OpenConverter("UTF-8", name_);
  encoder_ = decoder_ ? OpenConverter(name_, "UTF-8") : nullptr;
  if (!decoder_ || !encoder_) {
    if (decoder_) iconv_close(static_cast<iconv_t>(decoder_));
    throw EngineError(NDS_E_INVALID_OPTION,
                      "The encoding '" + std::string(name) + "' is not known.");
  }
  // Text that is ASCII alone passes unconverted, and the file formats find
  // their separators as ASCII bytes: an encoding must write ASCII as ASCII.
  std::string ascii = "\t\n\r";
  for (int c = ' '; c < 0x7F; ++c) ascii.push_back(static_cast<char>(c));
  std::string written;
  if (!Convert(encoder_, ascii, &written) || written != ascii) {
    iconv_close(static_cast<iconv_t>(decoder_));
    iconv_close(static_cast<iconv_t>(encoder_));
    throw EngineError(NDS_E_INVALID_OPTION, "The encoding '" + std::string(name) +
                                                "' does not write ASCII as ASCII; files of this "
                                                "kind cannot be read in it.");
  }
}

TextEncoding::~TextEncoding() {
  if (decoder_) iconv_close(static_cast<iconv_t>(decoder_));
  if (encoder_) iconv_close(static_cast<iconv_t>(encoder_));
}

bool TextEncoding::ToUtf8(std::string_view bytes, std::string* out) {
  if (utf8_ || IsAscii(bytes)) {
    if (utf8_ && !IsUtf8(bytes)) return false;
    out->assign(bytes);
    return true;
  }
  return Convert(decoder_, bytes, out);
}

bool TextEncoding::FromUtf8(std::string_view utf8, std::string* out) {
  if (!IsUtf8(utf8)) return false;
  if (utf8_ || IsAscii(utf8)) {
    out->assign(utf8);
    return true;
  }
  return Convert(encoder_, utf8, out);
}

// iconv stops at the first sequence it cannot convert (EILSEQ, or EINVAL
// for one cut short) and reports it; only a full output buffer (E2BIG) is
// worth going on from.
bool TextEncoding::Convert(void* cd, std::string_view in, std::string* out) {
  iconv_t conv = static_cast<iconv_t>(cd);
  iconv(conv, nullptr, nullptr, nullptr, nullptr);
  out->resize(in.size() * 4 + 16);
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  size_t done = 0;
  for (;;) {
    char* dst = out->data() + done;
    size_t dst_left = out->size() - done;
    size_t r = iconv(conv, &src, &src_left, &dst, &dst_left);
    done = out->size() - dst_left;
    if (r != static_cast<size_t>(-1)) {
      // Flush a stateful encoding's closing sequence.
      dst = out->data() + done;
      dst_left = out->size() - done;
      if (iconv(conv, nullptr, nullptr, &dst, &dst_left) == static_cast<size_t>(-1)) return false;
      done = out->size() - dst_left;
      // glibc counts characters it replaced by an approximation in r; an
      // exact conversion replaces none.
      out->resize(done);
      return r == 0;
    }
    if (errno != E2BIG) return false;
    out->resize(out->size() * 2);
  }
}

bool IsUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* end = p + text.size();
  while (p < end) {
    unsigned char c = *p;
    if (c < 0x80) {
      ++p;
      continue;
    }
    int extra;
    uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1, cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2, cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3, cp = c & 0x07;
    } else {
      return false;
    }
    if (end - p <= extra) return false;
    for (int i = 1; i <= extra; ++i) {
      if ((p[i] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (p[i] & 0x3F);
    }
    if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    p += extra + 1;
  }
  return true;
}

int CodePageOfLanguageDriver(uint8_t driver) {
  for (const DriverPage& d : kDrivers)
    if (d.driver == driver) return d.code_page;
  return 0;
}

uint8_t LanguageDriverOfCodePage(int code_page) {
  for (const DriverPage& d : kDrivers)
    if (d.code_page == code_page) return d.driver;
  return 0;
}

std::string EncodingOfCodePage(int code_page) {
  switch (code_page) {
    case 10000:
      return "MACINTOSH";
    case 10007:
      return "MAC-CYRILLIC";
    case 10029:
      return "MAC-CENTRALEUROPE";
    default:
      return "CP" + std::to_string(code_page);
  }
}

int CodePageOfEncoding(std::string_view name) {
  std::string upper = Upper(name);
  std::string_view digits = upper;
  for (std::string_view prefix : {"CP", "WINDOWS-", "IBM"})
    if (digits.substr(0, prefix.size()) == prefix) {
      digits.remove_prefix(prefix.size());
      break;
    }
  if (upper == "MACINTOSH" || upper == "MAC") return 10000;
  if (upper == "MAC-CYRILLIC" || upper == "MACCYRILLIC") return 10007;
  if (upper == "MAC-CENTRALEUROPE") return 10029;
  int page = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), page);
  if (ec != std::errc() || end != digits.data() + digits.size() || digits.empty()) return 0;
  return page;
}

}  // namespace nce
