#include "platform/os_text.h"

#include <cstdint>

namespace platform {

namespace {

// Code points U+DC80..U+DCFF carry the bytes 0x80..0xFF that were not part
// of valid UTF-8.
constexpr std::uint32_t kByteEscape = 0xDC00;

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Length and code point of the valid UTF-8 sequence at `p`, or 0 when the
// bytes there are not one (bad lead byte, short or overlong sequence,
// surrogate, above U+10FFFF).
std::size_t DecodeOne(const unsigned char* p, std::size_t left, std::uint32_t& cp) {
  const unsigned char b0 = p[0];
  std::size_t len;
  std::uint32_t min;
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  } else if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
    min = 0x80;
    cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    min = 0x800;
    cp = b0 & 0x0F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    min = 0x10000;
    cp = b0 & 0x07;
  } else {
    return 0;
  }
  if (left < len) return 0;
  for (std::size_t i = 1; i < len; ++i) {
    if (!IsContinuation(p[i])) return 0;
    cp = (cp << 6) | (p[i] & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

}  // namespace

std::wstring OsText_Decode(std::string_view bytes) {
  std::wstring text;
  text.reserve(bytes.size());
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t i = 0;
  while (i < bytes.size()) {
    // A run of ASCII, most of any name, goes in whole.
    std::size_t run = i;
    while (run < bytes.size() && p[run] < 0x80) ++run;
    if (run > i) {
      const std::size_t at = text.size();
      text.resize(at + (run - i));
      for (std::size_t k = i; k < run; ++k) text[at + (k - i)] = static_cast<wchar_t>(p[k]);
      i = run;
      continue;
    }
    std::uint32_t cp = 0;
    const std::size_t len = DecodeOne(p + i, bytes.size() - i, cp);
    if (len == 0) {
      // Only the first byte is carried; the next ones get their own chance
      // to start a valid sequence.
      text += static_cast<wchar_t>(kByteEscape + p[i]);
      ++i;
    } else {
      text += static_cast<wchar_t>(cp);
      i += len;
    }
  }
  return text;
}

std::string OsText_Encode(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (const wchar_t c : text) {
    const std::uint32_t cp = static_cast<std::uint32_t>(c);
    if (cp >= kByteEscape + 0x80 && cp <= kByteEscape + 0xFF) {
      out += static_cast<char>(cp - kByteEscape);
      continue;
    }
    OsText_AppendUtf8(out, cp);
  }
  return out;
}

}  // namespace platform
