#include "platform/os_text.h"

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

namespace {

std::wstring Cps(std::initializer_list<unsigned> values) {
  std::wstring out;
  for (unsigned v : values) out += static_cast<wchar_t>(v);
  return out;
}

TEST(OsTextTest, DecodeTable) {
  struct Row {
    std::string bytes;
    std::wstring want;
  };
  const Row rows[] = {
      {"", L""},
      {"abc", L"abc"},
      {std::string("a\0b", 3), Cps({'a', 0, 'b'})},
      {"\xC3\xA9", Cps({0xE9})},
      {"\xE2\x82\xAC", Cps({0x20AC})},
      {"\xF0\x9F\x98\x80", Cps({0x1F600})},
      {"\xF4\x8F\xBF\xBF", Cps({0x10FFFF})},
      // Not UTF-8: each offending byte is carried as U+DC80 + (byte - 0x80).
      {"\x80", Cps({0xDC80})},
      {"\xFF", Cps({0xDCFF})},
      {"a\xE9" "b", Cps({'a', 0xDCE9, 'b'})},
      {"\xC0\xAF", Cps({0xDCC0, 0xDCAF})},                  // overlong
      {"\xE0\x80\xAF", Cps({0xDCE0, 0xDC80, 0xDCAF})},      // overlong
      {"\xED\xA0\x80", Cps({0xDCED, 0xDCA0, 0xDC80})},      // surrogate
      {"\xF4\x90\x80\x80", Cps({0xDCF4, 0xDC90, 0xDC80, 0xDC80})},  // > U+10FFFF
      {"\xE2\x82", Cps({0xDCE2, 0xDC82})},                  // cut short
      {"\xE2" "A", Cps({0xDCE2, 'A'})},
      {"\xC3\xC3\xA9", Cps({0xDCC3, 0xE9})},
      // Runs of ASCII between the rest.
      {"ab\xC3\xA9" "cd\xE9" "ef\xE2\x82\xAC", Cps({'a', 'b', 0xE9, 'c', 'd', 0xDCE9, 'e', 'f', 0x20AC})},
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(platform::OsText_Decode(rows[i].bytes), rows[i].want);
  }
}

TEST(OsTextTest, EncodeTable) {
  struct Row {
    std::wstring text;
    std::string want;
  };
  const Row rows[] = {
      {L"abc", "abc"},
      {Cps({0xE9, 0x20AC, 0x1F600}), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
      {Cps({0xDC80, 0xDCFF}), "\x80\xFF"},
      {Cps({0xD800}), "\xEF\xBF\xBD"},
      {Cps({0xDC7F}), "\xEF\xBF\xBD"},
      {Cps({0xDD00}), "\xEF\xBF\xBD"},
      {Cps({0x110000}), "\xEF\xBF\xBD"},
      {Cps({0xFFFFFFFF}), "\xEF\xBF\xBD"},
      {Cps({'a', 0, 'b'}), std::string("a\0b", 3)},
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(platform::OsText_Encode(rows[i].text), rows[i].want);
  }
}

// Appends to what is there; unlike OsText_Encode it takes U+DC80..U+DCFF
// for the surrogates they are.
TEST(OsTextTest, AppendUtf8Table) {
  struct Row {
    std::uint32_t cp;
    std::string want;
  };
  const Row rows[] = {
      {0x7F, "\x7F"},
      {0x80, "\xC2\x80"},
      {0x7FF, "\xDF\xBF"},
      {0x800, "\xE0\xA0\x80"},
      {0xD7FF, "\xED\x9F\xBF"},
      {0xDC80, "\xEF\xBF\xBD"},
      {0xDCFF, "\xEF\xBF\xBD"},
      {0xE000, "\xEE\x80\x80"},
      {0xFFFF, "\xEF\xBF\xBF"},
      {0x10000, "\xF0\x90\x80\x80"},
      {0x10FFFF, "\xF4\x8F\xBF\xBF"},
      {0x110000, "\xEF\xBF\xBD"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.cp);
    std::string out = "a";
    platform::OsText_AppendUtf8(out, row.cp);
    EXPECT_EQ(out, "a" + row.want);
  }
}

// Every byte string of length one and two, and a few longer ones, comes back
// unchanged: any file name survives.
TEST(OsTextTest, BytesSurviveTheRoundTrip) {
  for (unsigned a = 0; a < 256; ++a) {
    for (unsigned b = 0; b < 256; ++b) {
      const std::string bytes{static_cast<char>(a), static_cast<char>(b)};
      ASSERT_EQ(platform::OsText_Encode(platform::OsText_Decode(bytes)), bytes) << a << " " << b;
    }
  }
  for (const std::string bytes :
       {"\xF0\x9F\x98", "\xF0\x9F\x98\x80\x80", "\xED\xBF\xBF", "caf\xE9.html", "\xEF\xBF\xBD"}) {
    EXPECT_EQ(platform::OsText_Encode(platform::OsText_Decode(bytes)), bytes);
  }
}

}  // namespace
