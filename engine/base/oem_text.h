// The OEM character type's texts: code page 437, as a DOS program reads
// them. The stores keep text as UTF-8; a cursor of the OEM character type
// shows its string fields in code page 437 and takes them back in it. This
// unit is the one place that translates between the two forms; its tables
// are built once, through iconv.
//
// Every code page 437 byte has a character, so a text coming in from the
// OEM form always has its stored form, and OEM -> stored -> OEM gives the
// same bytes back. A stored character the code page lacks (the euro sign,
// "ø") has no OEM byte: the OEM form shows it as '?'. Writers use
// OemShowsStored to tell such a '?' handed back unchanged from a real one,
// so that a text read and written back keeps what is stored.
//
// Stored bytes that are not UTF-8 (texts a program wrote into a SQLite
// store as single bytes) are read as code page 1252, one byte a character.
#ifndef ENGINE_BASE_OEM_TEXT_H
#define ENGINE_BASE_OEM_TEXT_H

#include <cstdint>
#include <string>
#include <string_view>

namespace nce {

// The OEM byte shown for a stored character the code page lacks.
inline constexpr char kNoOemForm = '?';

// The OEM form of a stored text: one byte a character, kNoOemForm for a
// character the code page lacks. Never longer than `stored`.
std::string StoredToOem(std::string_view stored);

// The same, written over `bytes` (a string field of a record image, which
// stays its width): the converted text, then blanks up to the old length.
void StoredToOemInPlace(uint8_t* bytes, uint32_t length);

// The stored (UTF-8) form of an OEM text; exact for every byte.
std::string OemToStored(std::string_view oem);

// True when `oem` is what the OEM form shows for `stored`, trailing blanks
// and zero bytes aside: a writer given `oem` keeps `stored` as it is.
bool OemShowsStored(std::string_view oem, std::string_view stored);

// True when `oem` reads the same in both forms: ASCII bytes without
// kNoOemForm, which no translation or comparison needs to look at.
bool OemIsPlainAscii(std::string_view oem);

}  // namespace nce

#endif  // ENGINE_BASE_OEM_TEXT_H
