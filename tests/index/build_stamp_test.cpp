#include "index/build_stamp.h"

#include <gtest/gtest.h>

namespace {

constexpr const wchar_t* kFull = L"%a %b %d %H:%M:%S %Y";

struct Want {
  int sec, min, hour, mday, mon, year, wday;
};

TEST(BuildStamp, ParseTable) {
  struct Row {
    const wchar_t* text;
    const wchar_t* hint;
    Want want;
  };
  const Row rows[] = {
      {L"Wed Jul  7 16:51:38 2021", kFull, {38, 51, 16, 7, 6, 121, 3}},
      // Three words are a date whatever the hint says.
      {L"Jun  3 2025", kFull, {0, 0, 0, 3, 5, 125, 0}},
      {L"Dec 31 1999", L"%H:%M:%S", {0, 0, 0, 31, 11, 99, 0}},
      {L"22:05:21", kFull, {21, 5, 22, 0, 0, 0, 0}},
      {L"22:05:21", L"%b %d %Y", {21, 5, 22, 0, 0, 0, 0}},
      {L" 22:05:21 ", L"", {21, 5, 22, 0, 0, 0, 0}},
      // One word without three colon-parts follows the hint: under the full
      // stamp it is a weekday name, which it is not.
      {L"16:51", kFull, {0, 0, 0, 0, 0, 0, 0}},
      {L"16:51", L"%H:%M:%S", {0, 51, 16, 0, 0, 0, 0}},
      {L"16:51", L"%Y", {0, 51, 16, 0, 0, 0, 0}},
      // Names count with their letter case, and only in their place.
      {L"jul 7 2021", kFull, {0, 0, 0, 7, 0, 121, 0}},
      {L"7 Jul 2021", kFull, {0, 0, 0, 0, 0, 121, 0}},
      {L"Sat Jan  1 00:00:00 2000", kFull, {0, 0, 0, 1, 0, 100, 6}},
      {L"wed Foo 1 1:2:3 2000", kFull, {3, 2, 1, 1, 0, 100, 0}},
      // Numbers: wcstoul reading, 16 bits kept, no range check.
      {L"Jun 3 99", kFull, {0, 0, 0, 3, 5, -1801, 0}},
      {L"Jun 70000 2000", kFull, {0, 0, 0, 4464, 5, 100, 0}},
      {L"Jun x3 2000", kFull, {0, 0, 0, 0, 5, 100, 0}},
      {L"Jun 3rd 2000", kFull, {0, 0, 0, 3, 5, 100, 0}},
      {L"Jun +3 2000", kFull, {0, 0, 0, 3, 5, 100, 0}},
      {L"Mon Jan 1 25:61:99 2000", kFull, {99, 61, 25, 1, 0, 100, 1}},
      // Other word counts: the full hint takes what the words supply.
      {L"Tue Mar", kFull, {0, 0, 0, 0, 2, 0, 2}},
      {L"Tue Mar 4 10:20:30", kFull, {30, 20, 10, 4, 2, 0, 2}},
      {L"Tue Mar 4 10:20:30 2001 extra", kFull, {30, 20, 10, 4, 2, 101, 2}},
      {L"Tue Mar", L"%Y", {0, 0, 0, 0, 0, 0, 0}},
      {L"", kFull, {0, 0, 0, 0, 0, 0, 0}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "text #" << (&r - rows));
    const std::tm t = Parse_time(r.text, r.hint);
    EXPECT_EQ(t.tm_sec, r.want.sec);
    EXPECT_EQ(t.tm_min, r.want.min);
    EXPECT_EQ(t.tm_hour, r.want.hour);
    EXPECT_EQ(t.tm_mday, r.want.mday);
    EXPECT_EQ(t.tm_mon, r.want.mon);
    EXPECT_EQ(t.tm_year, r.want.year);
    EXPECT_EQ(t.tm_wday, r.want.wday);
    EXPECT_EQ(t.tm_yday, 0);
    EXPECT_EQ(t.tm_isdst, 0);
  }
}

TEST(BuildStamp, WritesTheStampsOfTheBuildComment) {
  EXPECT_EQ(TS_to_Time_string(L"Wed Jul  7 16:51:38 2021", L"%Y/%m/%d %H:%M:%S", kFull),
            L"2021/07/07 16:51:38");
  EXPECT_EQ(TS_to_Time_string(L"Jun  3 2025", L"%Y/%m/%d", kFull), L"2025/06/03");
  EXPECT_EQ(TS_to_Time_string(L"22:05:21", L"%H.%M.%S", kFull), L"22.05.21");
  // The compiler's own stamps always read back in full.
  const std::wstring stamp = TS_to_Time_string(L"" __TIMESTAMP__, L"%Y/%m/%d %H:%M:%S", kFull);
  EXPECT_EQ(stamp.size(), 19u);
  EXPECT_NE(stamp.substr(0, 4), L"1900");
  EXPECT_EQ(TS_to_Time_string(L"" __DATE__, L"%Y/%m/%d", kFull).size(), 10u);
  // Nothing to write gives the empty text.
  EXPECT_EQ(TS_to_Time_string(L"Jun 3 2025", L"", kFull), L"");
}

}  // namespace
