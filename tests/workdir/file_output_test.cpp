#include "workdir/file_output.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/fd_capture.h"
#include "tests/workdir/workdir_test_support.h"

namespace {

using namespace workdir_test;
using namespace std::string_literals;

class FileOutputTest : public ScratchTest {};

TEST_F(FileOutputTest, SaveUTF8WritesTheTextUpToItsFirstNul) {
  const struct {
    const char* name;
    std::wstring text;
    bool with_bom;
    std::string bytes;
  } cases[] = {
      {"empty", L"", false, ""},
      {"empty with mark", L"", true, "\xEF\xBB\xBF"},
      {"text", L"<p>\u00e9\u20ac\U0001F600</p>", false, "<p>\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80</p>"},
      {"text with mark", L"a", true, "\xEF\xBB\xBF" "a"},
      {"embedded NUL", L"ab"s + L'\0' + L"cd", false, "ab"},
      {"lone surrogate", std::wstring(1, static_cast<wchar_t>(0xD800)), false, "\xEF\xBF\xBD"},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.name);
    const fs::path file = root_ / "page.htm";
    WriteBytes(file, "an older and longer content that must go");
    EXPECT_TRUE(SaveUTF8(W(file).c_str(), row.text, row.with_bom));
    EXPECT_EQ(ReadBytes(file), row.bytes);
  }
  // A new file is the user's alone.
  EXPECT_TRUE(SaveUTF8(W(root_ / "new.htm").c_str(), L"x", false));
  EXPECT_EQ(Mode(root_ / "new.htm"), fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(FileOutputTest, SavesThatDoNotLeaveTheWholeTextAreFailures) {
  FdCapture err(2);
  // No folder: fails at once, without waiting (no progress line).
  EXPECT_FALSE(SaveUTF8(W(root_ / "nosuch" / "page.htm").c_str(), L"x", false));
  EXPECT_FALSE(SaveUTF8(L"", L"x", false));
  // The device takes the bytes and the file stays empty: rewritten, then
  // given up.
  EXPECT_FALSE(SaveUTF8(L"/dev/null", L"x", false));
  EXPECT_TRUE(SaveUTF8(L"/dev/null", L"", false));
  // A full disk: the bytes never arrive.
  EXPECT_FALSE(SaveUTF8(L"/dev/full", L"x", false));
  EXPECT_FALSE(v_c_Save(L"/dev/full", {'a', 'b'}, 0));
  EXPECT_EQ(err.Take().find("::Open_File"), std::string::npos);
}

TEST_F(FileOutputTest, OpenFileWaitsWhileTheFileCannotBeOpened) {
  // Running programs' files cannot be written; the wait ends when the
  // program does.
  BusyProgram busy(root_ / "busy", 2);
  ASSERT_TRUE(busy.running());
  FdCapture err(2);
  std::FILE* stream = Open_File(W(root_ / "busy").c_str(), L"ab", 10);
  const std::string shown = err.Take();
  ASSERT_NE(stream, nullptr);
  std::fclose(stream);
  EXPECT_NE(shown.find("::Open_File ..."), std::string::npos) << shown;
}

TEST_F(FileOutputTest, OpenFileGivesUpAfterItsAttempts) {
  BusyProgram busy(root_ / "busy", 30);
  ASSERT_TRUE(busy.running());
  for (int wait : {1, 0, -5}) {
    SCOPED_TRACE(wait);
    EXPECT_EQ(Open_File(W(root_ / "busy").c_str(), L"wb", wait), nullptr);
  }
  EXPECT_EQ(Open_File(L"", L"wb", 10), nullptr);
  EXPECT_EQ(TFOpen(L"", L"wb"), nullptr);
  platform::OpenFailure why = platform::OpenFailure::None;
  EXPECT_EQ(TFOpen(W(root_ / "busy"), L"wb", why), nullptr);
  EXPECT_EQ(why, platform::OpenFailure::Transient);
  std::FILE* stream = TFOpen(W(root_ / "other"), L"wb", why);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(why, platform::OpenFailure::None);
  std::fclose(stream);
}

TEST_F(FileOutputTest, VcSaveWritesBytesAsTheyAre) {
  const fs::path file = root_ / "bytes.bin";
  EXPECT_TRUE(v_c_Save(W(file).c_str(), {'\0', '\xff', 'a'}, 0));
  EXPECT_EQ(ReadBytes(file), "\0\xff" "a"s);
  EXPECT_TRUE(v_c_Save(W(file).c_str(), {}, 0));
  EXPECT_TRUE(fs::exists(file));
  EXPECT_EQ(ReadBytes(file), "");
}

TEST_F(FileOutputTest, FileCopyMakesTheDestinationFolder) {
  const fs::path src = root_ / "src.txt";
  WriteBytes(src, "source");
  const fs::path dst = root_ / "a" / "b" / "dst.txt";
  EXPECT_TRUE(File_Copy(W(src).c_str(), W(dst).c_str(), false));
  EXPECT_EQ(ReadBytes(dst), "source");
  EXPECT_EQ(Mode(root_ / "a"), fs::perms::owner_all);

  WriteBytes(src, "changed");
  EXPECT_FALSE(File_Copy(W(src).c_str(), W(dst).c_str(), true));
  EXPECT_EQ(ReadBytes(dst), "source");
  EXPECT_TRUE(File_Copy(W(src).c_str(), W(dst).c_str(), false));
  EXPECT_EQ(ReadBytes(dst), "changed");

  EXPECT_FALSE(File_Copy(W(root_ / "missing").c_str(), W(root_ / "x").c_str(), false));
  WriteBytes(root_ / "blocker", "x");
  EXPECT_FALSE(File_Copy(W(src).c_str(), W(root_ / "blocker" / "dst.txt").c_str(), false));
}

}  // namespace
