#include "server/request_loop.h"

#include <gtest/gtest.h>

#include <tuple>

#include "server/entry.h"

namespace {

TEST(ContentType, TableLookup) {
  const std::tuple<const wchar_t*, const wchar_t*> cases[] = {
      {L"", L"application/octet-stream"},
      {L"htm", L"text/html"},
      {L"HTM", L"text/html"},
      {L"html", L"text/html"},
      {L"JPG", L"image/jpeg"},
      {L"svg", L"image/svg+xml"},
      {L"zip", L"application/zip"},
      {L"css", L"text/css"},
      {L"js", L"text/javascript"},
      {L"mjs", L"text/javascript"},
      {L"   ", L""},  // the row of three blanks has no type
      {L"gif", L"application/octet-stream"},
      {L"ht", L"application/octet-stream"},
      {L"htmlx", L"application/octet-stream"},
  };
  for (const auto& [ext, type] : cases) {
    SCOPED_TRACE(testing::Message() << "ext '" << ext << "'");
    EXPECT_EQ(get_MIME_type(ext), type);
  }
}

TEST(ContentType, TableShape) {
  EXPECT_EQ(MIME_type_count, 17);
  EXPECT_EQ(wstring(MIME_type_tbl[11].ext), L"css");
  EXPECT_EQ(wstring(MIME_type_tbl[14].ext), L"   ");
  EXPECT_EQ(wstring(MIME_type_tbl[16].ext), L"");
}

TEST(HttpText, ToTstringStopsAtNul) {
  EXPECT_EQ(to_tstring(L""), L"");
  EXPECT_EQ(to_tstring(L"abc"), L"abc");
  EXPECT_EQ(to_tstring(wstring(L"ab\0cd", 5)), L"ab");
}

TEST(UrlMapping, LocalPath) {
  const std::tuple<const wchar_t*, const wchar_t*, wstring> cases[] = {
      {L"/site", L"/", L"/site/"},
      {L"/site", L"/sub/page%20one.html", L"/site/sub/page one.html"},
      {L"/site", L"/a+b.html", L"/site/a b.html"},
      {L"/site", L"/a%2Bb.html", L"/site/a+b.html"},
      {L"/site", L"/x%2Fy", L"/site/x/y"},
      {L"/site", L"/x%5Cy", L"/site/x\\y"},
      {L"/site", L"/page.html?v=2", L"/site/page.html?v=2"},
      {L"/site", L"/%C3%A9t%C3%A9", L"/site/\u00e9t\u00e9"},
      {L"/site", L"/%e9", L"/site/\xdce9"},           // not UTF-8: carried losslessly
      {L"/site", L"/50%", L"/site/50%"},               // a lone % stays
      {L"/site", L"/50%2", L"/site/50%2"},
      {L"/site", L"/%zz", L"/site/%zz"},
      {L"/site", L"/a%00b", wstring(L"/site/a\0b", 9)},
      {L"/notes+50%25", L"/a.txt", L"/notes+50%25/a.txt"},  // the folder is used as it is
  };
  for (const auto& [fold, raw, local] : cases) {
    SCOPED_TRACE(testing::Message() << "url " << raw);
    EXPECT_EQ(Url_to_local_path(fold, raw), local);
  }
}

TEST(UrlMapping, RequestsThatLeaveTheFolder) {
  const std::tuple<const wchar_t*, bool> cases[] = {
      {L"/", false},
      {L"/a/b.html", false},
      {L"/..", true},
      {L"/../x", true},
      {L"/a/../../x", true},
      {L"/a/%2e%2e/x", true},
      {L"/a%2F..%2Fx", true},
      {L"/a%5C..%5Cx", true},
      {L"/..%00", true},
      {L"/...", false},
      {L"/..a", false},
      {L"/a..", false},
      {L"/.", false},
      {L"2/x", true},  // would name the sibling folder "/site2"
      {L"*", true},
  };
  for (const auto& [raw, leaves] : cases) {
    SCOPED_TRACE(testing::Message() << "url " << raw);
    EXPECT_EQ(Url_leaves_folder(L"/site", Url_to_local_path(L"/site", raw)), leaves);
  }
}

TEST(StartUp, PortFromTick) {
  EXPECT_EQ(Port_from_tick(0), 50000);
  EXPECT_EQ(Port_from_tick(0x1FFF), 58191);
  EXPECT_EQ(Port_from_tick(0x2000), 50000);
  EXPECT_EQ(Port_from_tick(0xFFFFFFFF), 58191);
}

}  // namespace
