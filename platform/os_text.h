#pragma once
// Text as the operating system hands it over (argv, environment, directory
// entries, paths): UTF-8 bytes, decoded without loss.
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Decodes UTF-8; every byte that is not part of valid UTF-8 becomes
// U+DC80 + (byte - 0x80), so any file name survives the round trip.
std::wstring OsText_Decode(std::string_view bytes);

// The way back: U+DC80..U+DCFF become their original bytes again; any other
// code point that UTF-8 cannot carry (a surrogate, a value above U+10FFFF)
// becomes U+FFFD.
std::string OsText_Encode(const std::wstring& text);

// Appends the UTF-8 of one code point to `out`. A surrogate, U+DC80..U+DCFF
// included (only OsText_Encode gives those back as bytes), or a value above
// U+10FFFF becomes U+FFFD.
// Inline: it runs once per character of every page written.
inline void OsText_AppendUtf8(std::string& out, std::uint32_t cp) {
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = 0xFFFD;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace platform
