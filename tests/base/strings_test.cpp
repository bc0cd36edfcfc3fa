#include "base/strings.h"

#include <clocale>
#include <string>

#include <gtest/gtest.h>

namespace {

using List = std::vector<wstring>;

TEST(StringsTest, SplitTable) {
  struct Row {
    wstring text;
    bool isLine;
    const wchar_t* sp;
    List want;
  };
  const Row rows[] = {
      {L"a b  c", false, L" ", {L"a", L"b", L"", L"c"}},
      {L" a", false, L" ", {L"", L"a"}},
      {L"a ", false, L" ", {L"a"}},
      {L"a  ", false, L" ", {L"a", L""}},
      {L"", false, L" ", {}},
      {L" ", false, L" ", {L""}},
      {L"'a b' c", false, L" ", {L"'a b'", L"c"}},
      {L"\"a b\" c", false, L" ", {L"\"a b\"", L"c"}},
      {L"'a b", false, L" ", {L"'a b"}},
      {L"x 'a b' c", false, L" ", {L"x", L"'a b'", L"c"}},
      {L"'a'b c", false, L" ", {L"'a'b", L"c"}},
      {L"a'b c'd", false, L" ", {L"a'b", L"c'd"}},
      {L"'a b'", false, L" ", {L"'a b'"}},
      {L"'' x", false, L" ", {L"''", L"x"}},
      {L"a,b;c", false, L",;", {L"a", L"b", L"c"}},
      {L"a b", false, L"", {L"a b"}},
      // Only the text up to the first NUL is split.
      {wstring(L"a b\0c d", 7), false, L" ", {L"a", L"b"}},
      {L"a::b:c::", true, L"::", {L"a", L"b:c"}},
      {L"'x::y'::z", true, L"::", {L"'x::y'", L"z"}},
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(String_Split(rows[i].text, rows[i].isLine, rows[i].sp), rows[i].want);
  }
  EXPECT_EQ(String_Split(L"a\\b\\", L'\\'), (List{L"a", L"b"}));
}

TEST(StringsTest, SplitSpaceKeepsOnlyWords) {
  EXPECT_EQ(String_SplitSpace(L" \tJan  1\r\n2024 ", L" \t\r\n"), (List{L"Jan", L"1", L"2024"}));
  EXPECT_TRUE(String_SplitSpace(L"", L" ").empty());
  EXPECT_TRUE(String_SplitSpace(L"   ", L" ").empty());
}

TEST(StringsTest, JoinForms) {
  EXPECT_EQ(String_Join(List{L"a", L"b", L"c"}, L","), L"a,b,c");
  EXPECT_EQ(String_Join(List{L"a", L"b", L"c"}, wstring(L", ")), L"a, b, c");
  EXPECT_EQ(String_Join(List{}, L','), L"");
  EXPECT_EQ(String_Join(List{L"x"}, L','), L"x");
  EXPECT_EQ(String_Join(List{L"a", L""}, L'\\'), L"a\\");
  EXPECT_EQ(String_Join(List{L"", L"", L""}, L'/'), L"//");
}

TEST(StringsTest, ListCopies) {
  const List items = {L"b", L"", L"a", L"b", L"A", L""};
  EXPECT_EQ(SkipEmpty(items), (List{L"b", L"a", L"b", L"A"}));
  EXPECT_EQ(Reverse(items), (List{L"", L"A", L"b", L"a", L"", L"b"}));
  EXPECT_EQ(Unique(List{L"b", L"a", L"b", L"A"}), (List{L"A", L"a", L"b"}));
  // A proper prefix first; code values compared unsigned, so a value that
  // is negative as a wchar_t sorts last.
  const wstring huge(1, static_cast<wchar_t>(0x80000000u));
  EXPECT_EQ(Sort(List{L"ab", huge, L"\u00e9", L"a", L"B"}),
            (List{L"B", L"a", L"ab", L"\u00e9", huge}));
}

class LowerCaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* current = std::setlocale(LC_ALL, nullptr);
    saved_ = current ? current : "C";
  }
  void TearDown() override { std::setlocale(LC_ALL, saved_.c_str()); }
  std::string saved_;
};

TEST_F(LowerCaseTest, MinimalLocaleChangesOnlyAsciiLetters) {
  ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
  EXPECT_EQ(String_ToLower(L"AbZ\u00c9@[`"), L"abz\u00c9@[`");
}

TEST_F(LowerCaseTest, UserLocaleLowerCasesBeyondAscii) {
  if (std::setlocale(LC_ALL, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
  EXPECT_EQ(String_ToLower(L"\u00c9T\u00c9 \u0394"), L"\u00e9t\u00e9 \u03b4");
  EXPECT_TRUE(String_CompareNoCase(L"\u00c9cole.HTML", L"\u00e9cole.html"));
}

TEST_F(LowerCaseTest, NulEndsTheResult) {
  EXPECT_EQ(String_ToLower(wstring(L"AB\0CD", 5)), L"ab");
}

TEST(StringsTest, CompareNoCase) {
  EXPECT_TRUE(String_CompareNoCase(L"Index.HTML", L"index.html"));
  EXPECT_TRUE(String_CompareNoCase(L"", L""));
  EXPECT_FALSE(String_CompareNoCase(L"index.htm", L"index.html"));
}

TEST(StringsTest, FindNoCaseTable) {
  struct Row {
    const wchar_t* str1;
    const wchar_t* str2;
    std::uint32_t pos;
    std::uint32_t want;
  };
  const Row rows[] = {
      {L"index.html", L"TML", 0, 7},
      {L"C:\\WINDOWS\\Temp", L"Windows", 0, 3},
      {L"aXa", L"a", 1, 2},
      {L"abc", L"", 1, 1},
      {L"abc", L"", 3, 3},
      {L"abc", L"", 4, kStringNotFound},
      {L"abc", L"a", 9, kStringNotFound},
      {L"abc", L"d", 0, kStringNotFound},
      {L"abc", L"ABCD", 0, kStringNotFound},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.str2 << " in " << r.str1);
    EXPECT_EQ(String_FindNoCase(r.str1, r.str2, r.pos), r.want);
  }
}

TEST(StringsTest, CrLfToSP) {
  EXPECT_EQ(String_CrLfToSP(L"a\r\nb", L"\t\t"), L"a\t\tb");
  EXPECT_EQ(String_CrLfToSP(wstring(L"\n\r\n"), L"|"), L"|");
  EXPECT_EQ(String_CrLfToSP(L"x\ny\rz", L"<>>"), L"x>>y<z");
}

TEST(StringsTest, ChangeKeepsLength) {
  const wstring changed = String_Change(L"a|b|", L'|', L'\0');
  EXPECT_EQ(changed, wstring(L"a\0b\0", 4));
  EXPECT_EQ(String_Change(L"a-b", L'x', L'y'), L"a-b");
}

TEST(StringsTest, QuoteAndBracket) {
  EXPECT_EQ(QuotM_Add(L"x y", L'"'), L"\"x y\"");
  EXPECT_EQ(Bracket_Add(L"3 / 9", L'('), L"(3 / 9)");
  EXPECT_EQ(Bracket_Add(L"3 / 9", L'*'), L"*3 / 9*");
  EXPECT_EQ(Bracket_Add(L"a", L'<'), L"<a>");
  EXPECT_EQ(Bracket_Add(L"a", L'['), L"[a]");
  EXPECT_EQ(Bracket_Add(L"a", L'{'), L"{a}");
  EXPECT_EQ(Bracket_Add(L"a", L')'), L")a)");
}

}  // namespace
