#include "server/request_loop.h"

#include <gtest/gtest.h>

#include <tuple>

// Hostile request targets against the mapping and the leave-the-folder
// check, in every spelling a way out can take. A row is a target the
// listener can hand over (it always begins with '/') or, where marked, one
// that only a direct caller can pass.
namespace {

TEST(UrlHostile, EveryClimbingSpellingIsRefused) {
  const wchar_t* const cases[] = {
      L"/..", L"/../", L"/../x", L"/a/../../x", L"//..", L"/./../x",
      L"/%2e%2e/x", L"/%2E%2E/x", L"/.%2e/x", L"/%2e./x", L"/a/%2e%2e",     // percent-encoded dots
      L"/a%2f..%2fx", L"/a%2F%2E%2E%2Fx",                                   // encoded separators
      L"/..%5cx", L"/a%5c..%5cx", L"/a\\..\\x", L"/..\\x",                  // backslashes
      L"/..%00", L"/..%00/x", L"/a/..%00.html",                             // a NUL ends the name
  };
  for (const wchar_t* raw : cases) {
    SCOPED_TRACE(testing::Message() << "url " << raw);
    EXPECT_TRUE(Url_leaves_folder(L"/srv/site", Url_to_local_path(L"/srv/site", raw)));
    EXPECT_TRUE(Url_leaves_folder(L"", Url_to_local_path(L"", raw)));
  }
}

TEST(UrlHostile, LookalikesOfDotsAreNames) {
  // Decoded once and never read as dots: each is a name inside the folder.
  const std::tuple<const wchar_t*, wstring> cases[] = {
      {L"/%252e%252e/x", L"/srv/site/%2e%2e/x"},                  // double-encoded
      {L"/%c0%ae%c0%ae/x", L"/srv/site/\xdcc0\xdcae\xdcc0\xdcae/x"},  // overlong UTF-8
      {L"/%e0%80%ae%e0%80%ae/x", L"/srv/site/\xdce0\xdc80\xdcae\xdce0\xdc80\xdcae/x"},
      {L"/%c0%af..", L"/srv/site/\xdcc0\xdcaf.."},                 // overlong '/'
      {L"/%ef%bc%8e%ef%bc%8e/x", L"/srv/site/\uff0e\uff0e/x"},     // full-width full stops
      {L"/..;/x", L"/srv/site/..;/x"},
      {L"/.. /x", L"/srv/site/.. /x"},
      {L"/..+/x", L"/srv/site/.. /x"},
      {L"/..?x", L"/srv/site/..?x"},  // the query stays part of the name
      {L"/..#x", L"/srv/site/..#x"},
  };
  for (const auto& [raw, local] : cases) {
    SCOPED_TRACE(testing::Message() << "url " << raw);
    EXPECT_EQ(Url_to_local_path(L"/srv/site", raw), local);
    EXPECT_FALSE(Url_leaves_folder(L"/srv/site", local));
  }
}

// '\' is no separator here, so "/srv/site\x" names "site\x", a sibling of
// the folder. The listener never hands over such a target; a direct caller
// can.
TEST(UrlHostile, ABackslashRightAfterTheFolderNamesASibling) {
  for (const wchar_t* raw : {L"\\x", L"%5Cx", L"\\"}) {
    SCOPED_TRACE(testing::Message() << "url " << raw);
    EXPECT_TRUE(Url_leaves_folder(L"/srv/site", Url_to_local_path(L"/srv/site", raw)));
  }
}

}  // namespace
