#pragma once
// What the fuzz targets share: outside bytes as the system's text, and a
// check that ends the run with a message libFuzzer keeps beside the input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/os_text.h"

namespace fuzz {

// Bytes as the system receives outside text: UTF-8, decoded without loss.
inline std::wstring Text(const std::uint8_t* data, std::size_t size) {
  return platform::OsText_Decode(std::string_view(reinterpret_cast<const char*>(data), size));
}

inline std::string Printable(const std::wstring& text) {
  std::string out;
  for (const wchar_t c : text) {
    if (c >= 0x20 && c < 0x7F && c != L'\\') {
      out += static_cast<char>(c);
    } else {
      char escaped[16];
      std::snprintf(escaped, sizeof escaped, "\\u{%X}", static_cast<unsigned>(c));
      out += escaped;
    }
  }
  return out;
}

// A broken invariant is a finding: say which and stop like a crash.
[[noreturn]] inline void Fail(const char* what, const std::wstring& detail = std::wstring()) {
  std::fprintf(stderr, "invariant broken: %s %s\n", what, Printable(detail).c_str());
  std::abort();
}

inline void Check(bool holds, const char* what, const std::wstring& detail = std::wstring()) {
  if (!holds) Fail(what, detail);
}

}  // namespace fuzz
