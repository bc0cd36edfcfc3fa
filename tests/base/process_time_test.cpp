#include "base/process_time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "platform/os_text.h"
#include "platform/process.h"
#include "tests/support/process_env.h"

namespace {

namespace fs = std::filesystem;

using test_support::RunAndExit;
using test_support::ScopedEnv;

TEST(TGetEnv, GivesTheValueOrEmpty) {
  ScopedEnv set("FOLDWEB_TEST_VALUE", "v\xc3\xa9");
  ScopedEnv empty("FOLDWEB_TEST_EMPTY", "");
  ScopedEnv unset("FOLDWEB_TEST_UNSET", std::nullopt);
  EXPECT_EQ(TGetEnv(L"FOLDWEB_TEST_VALUE"), L"v\u00e9");
  EXPECT_EQ(TGetEnv(L"FOLDWEB_TEST_EMPTY"), L"");
  EXPECT_EQ(TGetEnv(L"FOLDWEB_TEST_UNSET"), L"");
}

TEST(GetCWD, EmptyWhenLongerThanItsBuffer) {
  // Two sibling folders whose full paths are 259 and 260 characters long.
  const fs::path base = fs::temp_directory_path() / "foldweb_cwd_length";
  fs::remove_all(base);
  fs::path prefix = base / std::string(100, 'p');
  const std::size_t used = platform::OsText_Decode(prefix.native()).size() + 1;
  ASSERT_LT(used, 250u);
  const fs::path fits = prefix / std::string(259 - used, 'f');
  const fs::path too_long = prefix / std::string(260 - used, 'f');
  fs::create_directories(fits);
  fs::create_directories(too_long);

  const fs::path before = fs::current_path();
  fs::current_path(fits);
  const std::wstring at_fits = GetCWD();
  fs::current_path(too_long);
  const std::wstring at_too_long = GetCWD();
  fs::current_path(before);
  fs::remove_all(base);

  EXPECT_EQ(at_fits.size(), 259u);
  EXPECT_EQ(at_fits, platform::OsText_Decode(fits.native()));
  EXPECT_EQ(at_too_long, L"");
  EXPECT_EQ(GetCWD(), platform::OsText_Decode(before.native()));
}

TEST(SH_GetFolderPath, KnownIdsUpToTheBufferSize) {
  ScopedEnv home("HOME", "/home/u");
  struct Row {
    std::optional<std::string> xdg_cache_home;
    std::int32_t csidl;
    std::wstring expected;
  };
  const std::string longest = "/" + std::string(528, 'c');
  const Row rows[] = {
      {std::nullopt, 46, L"/home/u/.cache"},
      {"/cache", 46, L"/cache"},
      {longest, 46, std::wstring(longest.begin(), longest.end())},
      {longest + "c", 46, L""},
      {std::nullopt, 36, L"/usr"},
      {std::nullopt, 37, L"/usr/bin"},
      {std::nullopt, 38, L"/opt"},
      {std::nullopt, 26, L""},
      {std::nullopt, -1, L""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.csidl) + " " + row.xdg_cache_home.value_or("(unset)"));
    ScopedEnv xdg("XDG_CACHE_HOME", row.xdg_cache_home);
    EXPECT_EQ(SH_GetFolderPath(row.csidl), row.expected);
    EXPECT_EQ(SH_GetFolderPath(nullptr, row.csidl, nullptr, 0), row.expected);
  }
}

TEST(Get_user_name, PrefersTheSystemsNameToTheVariables) {
  ScopedEnv user("USER", "from-user");
  ScopedEnv username("USERNAME", "from-username");
  ASSERT_FALSE(platform::Process_UserName().empty());
  EXPECT_EQ(Get_user_name(), platform::Process_UserName());
}

std::tm December9th() {
  std::tm stm{};
  stm.tm_year = 2024 - 1900;
  stm.tm_mon = 11;
  stm.tm_mday = 9;
  stm.tm_hour = 15;
  stm.tm_min = 4;
  stm.tm_sec = 5;
  stm.tm_wday = 1;
  stm.tm_yday = 343;
  return stm;
}

TEST(Time_Format, FormatsWithinTheBuffer) {
  struct Row {
    std::wstring fmt;
    std::wstring expected;
  };
  const Row rows[] = {
      {L"%Y/%m/%d %H:%M:%S", L"2024/12/09 15:04:05"},
      {L"%m%d_%H", L"1209_15"},
      {L"%Y%m%d", L"20241209"},
      {L"", L""},
      {std::wstring(254, L'x'), std::wstring(254, L'x')},
      {std::wstring(255, L'x'), L""},
      {L"%Y" + std::wstring(250, L'x'), L"2024" + std::wstring(250, L'x')},
      {L"%Y" + std::wstring(251, L'x'), L""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(platform::OsText_Encode(row.fmt.substr(0, 20)) + " (" + std::to_string(row.fmt.size()) +
                 ")");
    EXPECT_EQ(Time_Format(December9th(), row.fmt.c_str()), row.expected);
  }
}

TEST(Time_Format, ConvertsSecondsToLocalTime) {
  const std::time_t seconds = 1'733'756'645;  // 2024-12-09 15:04:05 UTC
  const std::tm local = *std::localtime(&seconds);
  EXPECT_EQ(Time_Format(std::int64_t{seconds}, L"%Y/%m/%d %H:%M:%S"),
            Time_Format(local, L"%Y/%m/%d %H:%M:%S"));
  // A year beyond the calendar's range cannot be converted.
  EXPECT_EQ(Time_Format(std::numeric_limits<std::int64_t>::max(), L"%Y"), L"");
  EXPECT_EQ(Now_Format(L"%Y%m%d").size(), 8u);
}

// Get_module_name compares with the stored arguments, so each case runs in
// a child started the way the program starts.
class GetModuleNameTest : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

int AsksTwice(int, wchar_t**) {
  const std::wstring exe = platform::Process_ExecutablePath();
  if (Get_module_name(nullptr) != exe) return 1;
  if (Get_module_name(nullptr) != exe) return 2;
  return 0;
}

// `text` as a regular expression that matches exactly it.
std::string Literally(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (std::string(".[]{}()*+?^$|\\").find(c) != std::string::npos) out += '\\';
    out += c;
  }
  return out;
}

std::string ExecutablePath() { return platform::OsText_Encode(platform::Process_ExecutablePath()); }

TEST_F(GetModuleNameTest, SilentWhenTheFirstArgumentIsTheFullPath) {
  EXPECT_EXIT(RunAndExit({ExecutablePath(), "x"}, AsksTwice), ::testing::ExitedWithCode(0), "^$");
}

TEST_F(GetModuleNameTest, WritesBothNamesOnEveryCallWhenTheyDiffer) {
  const std::string both = Literally(ExecutablePath()) + "\nfoldweb\n";
  EXPECT_EXIT(RunAndExit({"foldweb"}, AsksTwice), ::testing::ExitedWithCode(0), "^" + both + both + "$");
}

TEST_F(GetModuleNameTest, WarnsOnceAboutAnEmptyArgumentList) {
  EXPECT_EXIT(RunAndExit({}, AsksTwice), ::testing::ExitedWithCode(0),
              "^::get_arv\\(\\) \\.\\.\\. empty\n" + Literally(ExecutablePath()) + "\n$");
}

int CopiesTheArguments(int, wchar_t**) {
  std::vector<std::wstring> copy = get_arg();
  if (copy != std::vector<std::wstring>{L"prog", L"a b"}) return 1;
  copy.clear();
  if (get_argv()->size() != 2) return 2;
  return 0;
}

TEST_F(GetModuleNameTest, ArgumentListComesFromTheStoredArguments) {
  EXPECT_TRUE(get_arg().empty());  // nothing stored in this process
  EXPECT_EXIT(RunAndExit({"prog", "a b"}, CopiesTheArguments), ::testing::ExitedWithCode(0), "");
}

}  // namespace
