#include "base/convert.h"

#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

namespace {

v_char Bytes(std::initializer_list<unsigned> values) {
  v_char out;
  for (unsigned v : values) out.push_back(static_cast<char>(v));
  return out;
}

TEST(ConvertTest, DigitsTable) {
  struct Row {
    wstring got;
    const wchar_t* want;
  };
  const Row rows[] = {
      {u32tot(0, 10), L"0"},
      {u32tot(255, 16), L"ff"},
      {u32tot(5, 2), L"101"},
      {u32tot(35, 36), L"z"},
      {u32tot(36, 36), L"10"},
      {u32tot(10, 1), L"1010"},
      {u32tot(10, 0), L"1010"},
      {u32tot(100, 99), L"2s"},
      {u32tot(100, -5), L"2s"},
      {u32tot(4294967295u, 10), L"4294967295"},
      {u64tot(std::numeric_limits<std::uint64_t>::max(), 16), L"ffffffffffffffff"},
      {u64tot(std::numeric_limits<std::uint64_t>::max(), 10), L"18446744073709551615"},
      {x32tot(static_cast<std::uint32_t>(-5), 10, 1), L"-5"},
      {x32tot(0, 10, 1), L"-0"},
      {x32tot(0x80000000u, 10, 1), L"-2147483648"},
      {x64tot(static_cast<std::uint64_t>(-1234567890123LL), 10, 1), L"-1234567890123"},
      {To_tstring(std::uint16_t{65535}, 10), L"65535"},
      {To_tstring(std::uint32_t{1041}, 16), L"411"},
      {To_tstring(std::uint64_t{1} << 40, 10), L"1099511627776"},
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rows[i].got, rows[i].want);
  }
}

TEST(ConvertTest, LeftFillTable) {
  struct Row {
    wstring got;
    const wchar_t* want;
  };
  const Row rows[] = {
      {u32to0t(7, 10, 4), L"0007"},
      {u32to0t(12345, 10, 4), L"12345"},
      {u32to0t(1041, 16, 4), L"0411"},
      {u32to0t(1200, 16, 4), L"04b0"},
      {u32to0t(0, 10, 0), L"0"},
      {tto0t(L"abc", 5, L'*'), L"**abc"},
      {tto0t(L"abc", 2, L'*'), L"abc"},
      {tto0t(L"abc", -1, L'*'), L"abc"},
      {tto0t(L"", 3, L'0'), L"000"},
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rows[i].got, rows[i].want);
  }
}

TEST(ConvertTest, ToVCharWritesUtf16LittleEndian) {
  EXPECT_EQ(To_v_char(wstring(L"A\u00e9")), Bytes({0x41, 0x00, 0xE9, 0x00}));
  EXPECT_TRUE(To_v_char(wstring()).empty());
  // Above U+FFFF: a surrogate pair, high unit first.
  EXPECT_EQ(To_v_char(wstring(1, static_cast<wchar_t>(0x1F600))),
            Bytes({0x3D, 0xD8, 0x00, 0xDE}));
  EXPECT_EQ(To_v_char(wstring(1, static_cast<wchar_t>(0x10FFFF))),
            Bytes({0xFF, 0xDB, 0xFF, 0xDF}));
  // Beyond Unicode: the replacement character.
  EXPECT_EQ(To_v_char(wstring(1, static_cast<wchar_t>(0x110000))), Bytes({0xFD, 0xFF}));
  EXPECT_EQ(To_v_char(wstring(L"a\0b", 3)), Bytes({0x61, 0, 0, 0, 0x62, 0}));
}

TEST(ConvertTest, ToVCharCopiesStringBytes) {
  EXPECT_EQ(To_v_char(string("a\0\xff", 3)), Bytes({0x61, 0x00, 0xFF}));
  EXPECT_TRUE(To_v_char(string()).empty());
}

TEST(ConvertTest, Utf8Table) {
  struct Row {
    wstring text;
    std::int32_t len;
    string want;
  };
  const wchar_t high = static_cast<wchar_t>(0xD800);
  const wchar_t low = static_cast<wchar_t>(0xDC80);
  const Row rows[] = {
      {L"A\u00e9", -1, "A\xC3\xA9"},
      {L"", -1, ""},
      {L"\u20ac", -1, "\xE2\x82\xAC"},
      {wstring(1, static_cast<wchar_t>(0x1F600)), -1, "\xF0\x9F\x98\x80"},
      // Never fails: surrogates and values beyond Unicode become U+FFFD.
      {wstring{L'a', high, L'b'}, -1, "a\xEF\xBF\xBD" "b"},
      {wstring{low}, -1, "\xEF\xBF\xBD"},
      {wstring{high, low}, -1, "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {wstring(1, static_cast<wchar_t>(0x110000)), -1, "\xEF\xBF\xBD"},
      {wstring(1, static_cast<wchar_t>(-1)), -1, "\xEF\xBF\xBD"},
      // A count takes that many characters, a NUL among them included.
      {wstring(L"a\0b", 3), 3, string("a\0b", 3)},
      {wstring(L"a\0b", 3), -1, "a"},
      {L"abc", 2, "ab"},
      {L"abc", 0, ""},
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(ws_To_UTF8(rows[i].text.c_str(), rows[i].len), rows[i].want);
  }
}

TEST(ConvertTest, ToUtf8HasNoTerminator) {
  const string bytes = To_UTF8(L"A\u00e9");
  EXPECT_EQ(bytes, "A\xC3\xA9");
  EXPECT_EQ(bytes.size(), 3u);
  EXPECT_TRUE(To_UTF8(L"").empty());
}

TEST(ConvertTest, WideCopiesStopAtNul) {
  const wchar_t text[] = L"ab\0cd";
  EXPECT_EQ(ts_toWCs(text), L"ab");
  EXPECT_EQ(To_wstring(text), L"ab");
}

}  // namespace
