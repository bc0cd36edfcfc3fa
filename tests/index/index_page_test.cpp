#include "index/index_page.h"

#include <regex>

#include <gtest/gtest.h>

#include "platform/os_text.h"
#include "tests/index/build_comment_form.h"
#include "tests/index/temp_tree.h"

namespace {

const wstring kHead =
    L"<html\tlang=\"ja\"\t>\t\t<head\t>\t\t<meta\tcharset=\"UTF-8\"\t/>\t"
    L"<meta\tname=\"viewport\"\tcontent=\"width=device-width,initial-scale=1.0\"\t/>\t";

// The body of a page: from its start tag to its end tag.
wstring Body(const wstring& page) {
  const std::size_t from = page.find(L"<body\t>");
  const std::size_t to = page.rfind(L"</body>");
  if (from == wstring::npos || to == wstring::npos) return L"(no body)";
  return page.substr(from, to + 7 - from);
}

// The title text, or "(none)".
wstring Title(const wstring& page) {
  const std::size_t from = page.find(L"<title\t>");
  if (from == wstring::npos) return L"(none)";
  const std::size_t to = page.find(L"</title>", from);
  return page.substr(from + 8, to - from - 8);
}

// The body the page builder writes for these links, given as href and text.
using Links = std::vector<std::pair<wstring, wstring>>;
wstring BodyOf(const Links& folders, const Links& pages) {
  wstring body = L"<body\t>\t\t<a\thref=\"..\"\t>../</a>\t<hr\t/>\t";
  for (const auto& [href, text] : folders)
    body += L"<a\thref=\"" + href + L"\"\t>" + text + L"</a>\t<br\t/>\t";
  body += L"<hr\t/>";
  for (const auto& [href, text] : pages) body += L"\t<a\thref=\"" + href + L"\"\t>" + text + L"</a>\t<br\t/>";
  return body + L"\t</body>";
}

TEST(IndexPage, WorkedExample) {
  TempTree site;
  site.File("index.html");
  site.File("photo.jpg");
  site.Folder("docs");
  const wstring page = Make_index(site.Path() + L"/");
  const wstring tail =
      L"\t</head>\t<body\t>\t\t<a\thref=\"..\"\t>../</a>\t<hr\t/>\t<a\thref=\"docs/\"\t>docs/</a>\t<br\t/>\t"
      L"<hr\t/>\t<a\thref=\"index.html\"\t>index.html</a>\t<br\t/>\t</body>\t</html>";
  ASSERT_EQ(page.substr(0, kHead.size()), kHead);
  ASSERT_GE(page.size(), kHead.size() + tail.size());
  EXPECT_EQ(page.substr(page.size() - tail.size()), tail);
  const wstring comment = page.substr(kHead.size(), page.size() - kHead.size() - tail.size());
  EXPECT_TRUE(std::regex_match(comment, std::wregex(kBuildCommentForm))) << testing::PrintToString(comment);
  // The only line breaks are the comment's.
  EXPECT_EQ(tail.find_first_of(L"\r\n"), wstring::npos);
}

TEST(IndexPage, EmptyFolder) {
  TempTree site;
  const wstring page = Make_index(site.Path() + L"/");
  EXPECT_EQ(Body(page), L"<body\t>\t\t<a\thref=\"..\"\t>../</a>\t<hr\t/>\t<hr\t/>\t</body>");
  EXPECT_EQ(Title(page), L"(none)");
  EXPECT_EQ(page.substr(page.size() - 7), L"</html>");
}

TEST(IndexPage, WhatEachRequestLists) {
  TempTree site;
  site.Folder("docs");
  site.File("docs/guide.html");
  site.File("index.html");
  const wstring root = BodyOf({{L"docs/", L"docs/"}}, {{L"index.html", L"index.html"}});
  const wstring docs = BodyOf({}, {{L"guide.html", L"guide.html"}});
  const wstring none = BodyOf({}, {});
  struct Row {
    const wchar_t* request;
    wstring body;
    const wchar_t* title;
  };
  const Row rows[] = {
      {L"/", root, L"(none)"},
      {L"/docs", docs, L"docs"},
      {L"/docs/", docs, L"(none)"},
      {L"/nosuch.txt", root, L"nosuch"},
      {L"/index.html.bak", root, L"index.html"},
      {L"/gone/", root, L"(none)"},
      {L"/gone/deeper/", none, L"(none)"},
      {L"/?a=1", root, L"(none)"},
      {L"/docs/guide.html", docs, L"guide"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::PrintToString(wstring(r.request)));
    const wstring page = Make_index(site.Path() + r.request);
    EXPECT_EQ(Body(page), r.body);
    EXPECT_EQ(Title(page), r.title);
  }
}

TEST(IndexPage, OnlyHtmlFilesArePagesAndFoldersComeFirst) {
  TempTree site;
  for (const char* name :
       {"INDEX.HTM", "notes.html", "old.htm.bak", "page.shtml", "a.xhtml", "photo.jpg", "zz.html"}) {
    site.File(name);
  }
  site.Folder("x.html");
  site.Folder("Zeta");
  site.Folder("alpha");
  const wstring want = BodyOf({{L"alpha/", L"alpha/"}, {L"x.html/", L"x.html/"}, {L"Zeta/", L"Zeta/"}},
                              {{L"INDEX.HTM", L"INDEX.HTM"},
                               {L"notes.html", L"notes.html"},
                               {L"old.htm.bak", L"old.htm.bak"},
                               {L"zz.html", L"zz.html"}});
  EXPECT_EQ(Body(Make_index(site.Path())), want);
}

TEST(IndexPage, NamesAreEncodedInLinksAndEscapedInText) {
  TempTree site;
  for (const char* name : {"a&b.html", "a\"b.html", "<b>.html", "x#y.html", "50%.html", "a+b.html",
                           "a b.html", "caf\xC3\xA9.html", "caf\xE9-latin1.html"}) {
    site.File(name);
  }
  site.Folder("<i>");
  site.Folder("100% & more");
  const wstring latin1 = wstring(L"caf") + wchar_t(0xDCE9) + L"-latin1.html";
  const wstring want =
      BodyOf({{L"100%25%20&amp;%20more/", L"100% &amp; more/"}, {L"%3Ci%3E/", L"&lt;i&gt;/"}},
             {{L"50%25.html", L"50%.html"},
              {L"%3Cb%3E.html", L"&lt;b&gt;.html"},
              {L"a%20b.html", L"a b.html"},
              {L"a%22b.html", L"a\"b.html"},
              {L"a&amp;b.html", L"a&amp;b.html"},
              {L"a%2Bb.html", L"a+b.html"},
              {L"caf%C3%A9.html", L"caf\u00E9.html"},
              {L"caf%E9-latin1.html", latin1},
              {L"x%23y.html", L"x#y.html"}});
  EXPECT_EQ(Body(Make_index(site.Path() + L"/")), want);
}

TEST(IndexPage, TitleFromTheRequestIsEscaped) {
  TempTree site;
  EXPECT_EQ(Title(Make_index(site.Path() + L"/<script>x.y")), L"&lt;script&gt;x");
}

}  // namespace
