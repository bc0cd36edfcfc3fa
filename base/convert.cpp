#include "base/convert.h"

#include <algorithm>
#include <cwchar>

#include "platform/os_text.h"

namespace {

std::uint32_t ClampRadix(std::uint32_t radix) {
  return std::clamp<std::uint32_t>(radix, 2, 36);
}

// A wide character as a code point; a negative wchar_t is out of range.
std::uint32_t CodePoint(wchar_t c) { return static_cast<std::uint32_t>(c); }

void AppendUnit(v_char& out, std::uint32_t unit) {
  out.push_back(static_cast<char>(unit & 0xFF));
  out.push_back(static_cast<char>((unit >> 8) & 0xFF));
}

}  // namespace

wstring utot(std::uint64_t val_, std::uint32_t radix_) {
  wstring digits;
  do {
    const auto d = static_cast<unsigned>(val_ % radix_);
    digits += static_cast<wchar_t>(d < 10 ? L'0' + d : 87 + d);
    val_ /= radix_;
  } while (val_ > 0);
  std::reverse(digits.begin(), digits.end());
  return digits;
}

wstring x32tot(std::uint32_t val_, std::uint32_t radix_, std::int32_t is_neg) {
  if (is_neg == 0) return utot(val_, ClampRadix(radix_));
  const std::uint32_t magnitude = 0u - val_;
  return L"-" + utot(magnitude, ClampRadix(radix_));
}

wstring x64tot(std::uint64_t val_, std::uint32_t radix_, std::int32_t is_neg) {
  if (is_neg == 0) return utot(val_, ClampRadix(radix_));
  const std::uint64_t magnitude = 0u - val_;
  return L"-" + utot(magnitude, ClampRadix(radix_));
}

wstring u32tot(std::uint32_t value, std::int32_t radix) {
  return x32tot(value, static_cast<std::uint32_t>(radix), 0);
}

wstring u64tot(std::uint64_t value, std::int32_t radix) {
  return x64tot(value, static_cast<std::uint32_t>(radix), 0);
}

wstring tto0t(const wstring& str_, std::int32_t width, wchar_t c) {
  if (static_cast<std::int64_t>(str_.size()) >= width) return str_;
  return wstring(static_cast<std::size_t>(width) - str_.size(), c) + str_;
}

wstring u32to0t(std::uint32_t value, std::int32_t radix, std::int32_t len) {
  return tto0t(u32tot(value, radix), len, L'0');
}

wstring To_tstring(std::uint16_t v, std::int32_t r) { return u32tot(v, r); }
wstring To_tstring(std::uint32_t v, std::int32_t r) { return u32tot(v, r); }
wstring To_tstring(std::uint64_t v, std::int32_t r) { return u64tot(v, r); }

v_char To_v_char(const string& m_str) { return v_char(m_str.begin(), m_str.end()); }

v_char To_v_char(const wstring& w_str) {
  v_char out;
  out.reserve(w_str.size() * 2);
  for (const wchar_t c : w_str) {
    std::uint32_t cp = CodePoint(c);
    if (cp > 0x10FFFF) cp = 0xFFFD;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      AppendUnit(out, 0xD800 + (cp >> 10));
      AppendUnit(out, 0xDC00 + (cp & 0x3FF));
    } else {
      // A lone surrogate goes out as the code unit it is, as UTF-16 text
      // carries it.
      AppendUnit(out, cp);
    }
  }
  return out;
}

wstring ts_toWCs(const wchar_t* w_Str) { return wstring(w_Str); }

wstring To_wstring(const wchar_t* str) { return ts_toWCs(str); }

string ws_To_UTF8(const wchar_t* wcStr, std::int32_t wLen) {
  // A negative count takes the text up to its NUL; the NUL itself is never
  // part of the result.
  const std::size_t count =
      wLen < 0 ? std::wcslen(wcStr) : static_cast<std::size_t>(wLen);
  string out;
  out.reserve(count);
  // wstring holds code points, so any surrogate in it is unpaired.
  for (std::size_t i = 0; i < count; ++i) platform::OsText_AppendUtf8(out, CodePoint(wcStr[i]));
  return out;
}

string To_UTF8(const wchar_t* strP) {
  const wstring text = To_wstring(strP);
  return ws_To_UTF8(text.c_str(), -1);
}
