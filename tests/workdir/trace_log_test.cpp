#include "workdir/trace_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "base/process_time.h"
#include "tests/workdir/workdir_test_support.h"
#include "workdir/temp_folder.h"

namespace {

using namespace workdir_test;
using namespace std::string_literals;

std::string HourStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16] = {};
  std::strftime(text, sizeof text, "%m%d_%H", &local);
  return text;
}

// UTF-16LE bytes as text; false when they are not whole code units.
bool DecodeUtf16(const std::string& bytes, std::wstring& out) {
  if (bytes.size() % 2 != 0) return false;
  out.clear();
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    const unsigned unit = static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (unit >= 0xDC00 && unit < 0xE000 && !out.empty() && out.back() >= 0xD800 && out.back() < 0xDC00) {
      out.back() = static_cast<wchar_t>(0x10000 + ((out.back() - 0xD800) << 10) + (unit - 0xDC00));
    } else {
      out += static_cast<wchar_t>(unit);
    }
  }
  return true;
}

std::vector<std::wstring> Split(const std::wstring& text, const std::wstring& sep) {
  std::vector<std::wstring> out;
  std::size_t at = 0;
  while (true) {
    const std::size_t end = text.find(sep, at);
    out.push_back(text.substr(at, end - at));
    if (end == std::wstring::npos) return out;
    at = end + sep.size();
  }
}

// The trace writer keeps process-wide state (the first trace sweeps) and the
// sweep is carried out at exit: every trace here runs in a child process.
class TraceLogDeathTest : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    trace_ = root_ / "tmp" / "Vantre.tmp" / "_trace_";
    wc_ = trace_ / "WC";
  }
  fs::path trace_, wc_;
};

TEST_F(TraceLogDeathTest, ANewFileStartsWithTheMarkAndTheHeader) {
  const std::string hour = HourStamp();
  EXPECT_EXIT(
      {
        const bool ok = Vantre_Trace(L"one\ntwo") && Vantre_Trace(L"three\r\nfour") &&
                        Vantre_Trace(L"cut"s + L'\0' + L"hidden") && Vantre_Trace(L"\U0001F600\u00e9");
        std::exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  if (HourStamp() != hour) GTEST_SKIP() << "the hour changed during the test";
  EXPECT_EQ(Mode(wc_), fs::perms::owner_all);
  EXPECT_EQ(Mode(wc_ / (hour + ".txt")), fs::perms::owner_read | fs::perms::owner_write);
  const std::string bytes = ReadBytes(wc_ / (hour + ".txt"));
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  std::wstring text;
  ASSERT_TRUE(DecodeUtf16(bytes.substr(2), text));
  // The surrogate pair is real UTF-16.
  EXPECT_NE(bytes.find("\x3D\xD8\x00\xDE"s), std::string::npos);

  const std::vector<std::wstring> records = Split(text, L"\r\n");
  ASSERT_EQ(records.size(), 6u) << N(text);
  EXPECT_EQ(records.back(), L"");
  const std::wregex time(L"\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}");
  const std::wstring program = W(fs::read_symlink("/proc/self/exe"));
  const std::vector<std::wstring> header = Split(records[0], L"\t");
  ASSERT_EQ(header.size(), 10u) << N(records[0]);
  EXPECT_TRUE(std::regex_match(header[0], time)) << N(header[0]);
  const std::vector<std::wstring> expected_header = {
      header[0], Get_user_name(), L"", W(root_ / "tmp"), L"", GetCWD(), L"", program, L"", L""};
  EXPECT_EQ(header, expected_header);

  const std::wstring name = W(fs::path(N(program)).filename());
  const std::vector<std::wstring> messages = {L"one\ttwo", L"three\t\tfour", L"cut", L"\U0001F600\u00e9"};
  for (std::size_t i = 0; i < messages.size(); ++i) {
    SCOPED_TRACE(i);
    const std::wstring& record = records[i + 1];
    ASSERT_GT(record.size(), 20u);
    EXPECT_TRUE(std::regex_match(record.substr(0, 19), time)) << N(record);
    EXPECT_EQ(record.substr(19), L"\t" + name + L"\t" + messages[i]);
  }
}

TEST_F(TraceLogDeathTest, OldLogsGoAtExitAndEverythingElseStays) {
  const std::string hour = HourStamp();
  fs::create_directories(wc_);
  const struct {
    fs::path file;
    int days;
    bool removed;
  } files[] = {
      {trace_ / "old.txt", 11, true},
      {trace_ / "recent.txt", 9, false},
      {wc_ / "old.txt", 11, true},
      {wc_ / "OLD2.TXT", 10, true},
      {wc_ / "readonly.txt", 11, false},
      {wc_ / "old.log", 11, false},
      // Named for this very hour, but of an earlier year: this run's
      // records go into it, so it must survive the exit.
      {wc_ / (hour + ".txt"), 365, false},
  };
  for (const auto& f : files) {
    WriteBytes(f.file, "\xFF\xFE" "o\0l\0d\0\r\0\n\0"s);
    SetAge(f.file, f.days);
  }
  fs::permissions(wc_ / "readonly.txt", fs::perms::owner_write, fs::perm_options::remove);

  EXPECT_EXIT(
      {
        const bool ok = Vantre_Trace(L"new record");
        std::exit(ok && fs::exists(wc_ / "old.txt") ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  if (HourStamp() != hour) GTEST_SKIP() << "the hour changed during the test";
  for (const auto& f : files) {
    SCOPED_TRACE(f.file.string());
    EXPECT_EQ(fs::exists(f.file), !f.removed);
  }
  std::wstring text;
  ASSERT_TRUE(DecodeUtf16(ReadBytes(wc_ / (hour + ".txt")), text));
  // Appended to the old records, without a second header.
  EXPECT_EQ(text.substr(0, 6), L"\uFEFFold\r\n");
  EXPECT_NE(text.find(L"\tnew record\r\n"), std::wstring::npos) << N(text);
  EXPECT_EQ(Split(text, L"\r\n").size(), 3u);
}

TEST_F(TraceLogDeathTest, OnlyTheFirstTraceOfAProcessSweeps) {
  fs::create_directories(wc_);
  WriteBytes(wc_ / "before.txt", "x");
  SetAge(wc_ / "before.txt", 20);
  EXPECT_EXIT(
      {
        Vantre_Trace(L"first");
        WriteBytes(wc_ / "late.txt", "x");
        SetAge(wc_ / "late.txt", 20);
        Vantre_Trace(L"second");
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_FALSE(fs::exists(wc_ / "before.txt"));
  EXPECT_TRUE(fs::exists(wc_ / "late.txt"));

  // A process that traces nothing removes nothing.
  EXPECT_EXIT(std::exit(0), ::testing::ExitedWithCode(0), "");
  EXPECT_TRUE(fs::exists(wc_ / "late.txt"));
}

TEST_F(TraceLogDeathTest, NothingIsWrittenOrSweptInAFolderThatIsNotTheUsersOwn) {
  const fs::path elsewhere = root_ / "elsewhere";
  const struct {
    const char* name;
    std::function<void()> arrange;
  } cases[] = {
      {"the suite folder is writable by all",
       [&] {
         fs::create_directories(elsewhere);
         fs::create_directories(wc_);
         fs::permissions(trace_.parent_path(), fs::perms::all, fs::perm_options::replace);
       }},
      // Through a link, the sweep would delete old ".txt" files of any
      // folder of the user's.
      {"the trace folder is a link",
       [&] {
         fs::create_directories(elsewhere / "WC");
         fs::create_directories(trace_.parent_path());
         fs::create_directory_symlink(elsewhere, trace_);
       }},
      {"the WC folder is a link",
       [&] {
         fs::create_directories(elsewhere);
         fs::create_directories(trace_);
         fs::create_directory_symlink(elsewhere, wc_);
       }},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.name);
    fs::remove_all(root_ / "tmp" / "Vantre.tmp");
    fs::remove_all(elsewhere);
    row.arrange();
    std::vector<fs::path> precious;
    for (const fs::path& old : {elsewhere / "precious.txt", elsewhere / "WC" / "precious.txt"}) {
      if (!fs::is_directory(old.parent_path())) continue;
      WriteBytes(old, "keep");
      SetAge(old, 30);
      precious.push_back(old);
    }
    EXPECT_EXIT(std::exit(Vantre_Trace(L"x") ? 1 : 0), ::testing::ExitedWithCode(0), "");
    for (const fs::path& old : precious) {
      SCOPED_TRACE(old.string());
      EXPECT_EQ(ReadBytes(old), "keep");
    }
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
      EXPECT_NE(entry.path().filename().string().substr(0, 5), HourStamp().substr(0, 5)) << entry.path();
    }
  }
}

}  // namespace
