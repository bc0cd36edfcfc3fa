#include "index/htmout.h"

#include <regex>

#include <gtest/gtest.h>

#include "base/process_time.h"
#include "tests/index/build_comment_form.h"

namespace {

TEST(HtmOut, ElementsAsWritten) {
  struct Row {
    Xml_E element;
    const wchar_t* want;
  };
  const Row rows[] = {
      {HtmOut::html(), L"<html\tlang=\"ja\"\t/>"},
      {HtmOut::charset_UTF_8(), L"<meta\tcharset=\"UTF-8\"\t/>"},
      {HtmOut::meta_viewport(),
       L"<meta\tname=\"viewport\"\tcontent=\"width=device-width,initial-scale=1.0\"\t/>"},
      {HtmOut::title(L"docs"), L"<title\t>docs</title>"},
      {HtmOut::title(L"<i>"), L"<title\t>&lt;i&gt;</title>"},
      {HtmOut::br(), L"<br\t/>"},
      {HtmOut::hr(), L"<hr\t/>"},
      {HtmOut::a_parent(), L"<a\thref=\"..\"\t>../</a>"},
      {HtmOut::a(L"x", L""), L"<a\thref=\"x\"\t> </a>"},
      {HtmOut::a(L""), L"<a\thref=\"\"\t> </a>"},
      {HtmOut::a(L"docs/"), L"<a\thref=\"docs/\"\t>docs/</a>"},
      {HtmOut::a(L"a&b.html"), L"<a\thref=\"a&amp;b.html\"\t>a&amp;b.html</a>"},
      {HtmOut::a(L"a\"b.html"), L"<a\thref=\"a%22b.html\"\t>a\"b.html</a>"},
      {HtmOut::a(L"<b>.html"), L"<a\thref=\"%3Cb%3E.html\"\t>&lt;b&gt;.html</a>"},
      {HtmOut::a(L"t.html", L"shown"), L"<a\thref=\"t.html\"\t>shown</a>"},
      {HtmOut::comment(L""), L"<!--\t\t-->"},
      {HtmOut::comment(L"a--b"), L"<!--\ta-\tb\t-->"},
      {HtmOut::comment(L"<b>&"), L"<!--\t<b>&\t-->"},
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rows[i].element.ToText(), rows[i].want);
  }
}

TEST(HtmOut, EmptyTitleAddsNothing) {
  Xml_E head(L"head");
  head.AddChild(HtmOut::title(L""));
  EXPECT_EQ(head.GetChildCount(), 0);
  EXPECT_TRUE(HtmOut::title(L"").IsEmpty());
}

TEST(HtmOut, LinkTargetsArePercentEncoded) {
  struct Row {
    wstring name;
    const wchar_t* href;
  };
  const Row rows[] = {
      {L"plain-name_1.0~x.html", L"plain-name_1.0~x.html"},
      {L"a b.html", L"a%20b.html"},
      {L"x#y.html", L"x%23y.html"},
      {L"50%.html", L"50%25.html"},
      {L"what?.html", L"what%3F.html"},
      {L"a+b.html", L"a%2Bb.html"},
      {L"a\"b\\c.html", L"a%22b%5Cc.html"},
      {L"[x]{y}|^`.html", L"%5Bx%5D%7By%7D%7C%5E%60.html"},
      {L"!$&'()*,;=@.html", L"!$&'()*,;=@.html"},
      {L"sub folder/", L"sub%20folder/"},
      {L"caf\u00E9.html", L"caf%C3%A9.html"},
      {L"\u65E5\u672C.html", L"%E6%97%A5%E6%9C%AC.html"},
      {L"\U0001F600", L"%F0%9F%98%80"},
      // A name carried from bytes that are not UTF-8 links to those bytes.
      {wstring(L"caf") + wchar_t(0xDCE9) + L".html", L"caf%E9.html"},
      {wstring(L"x\tz") + wchar_t(0x7F), L"x%09z%7F"},
      // A colon before the first '/' would be read as a scheme.
      {L"javascript:alert(1).html", L"javascript%3Aalert(1).html"},
      {L"c:d/", L"c%3Ad/"},
      {L"a/b:c", L"a/b:c"},
      {L"..", L".."},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::PrintToString(r.name));
    EXPECT_EQ(HtmOut::Url_encode_path(r.name), r.href);
    const Xml_E link = HtmOut::a(r.name);
    EXPECT_EQ(link.GetAttribute(L"href"), r.href);
    // The visible text stays the plain name.
    EXPECT_EQ(link.GetText(), r.name);
  }
}

TEST(HtmOut, BuildCommentForm) {
  const wstring before = Now_Format(L"%Y/%m/%d %H:%M:%S");
  const wstring text = HtmOut::comment().ToText();
  const wstring after = Now_Format(L"%Y/%m/%d %H:%M:%S");
  std::wsmatch m;
  ASSERT_TRUE(std::regex_match(text, m, std::wregex(kBuildCommentForm))) << testing::PrintToString(text);
  // The path is written with its double hyphens broken up, like any text.
  Xml_E path(L"");
  path.SetComment(Get_module_name(nullptr));
  EXPECT_EQ(L"\t" + m[3].str() + L"\t", path.GetText());
  EXPECT_LE(before, m[4].str());
  EXPECT_LE(m[4].str(), after);
  // Nothing was built after the page was made.
  EXPECT_LE(m[2].str(), m[4].str());
}

}  // namespace
