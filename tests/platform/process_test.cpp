#include "platform/process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/os_text.h"
#include "tests/support/process_env.h"

namespace {

namespace fs = std::filesystem;

using test_support::RunAndExit;
using test_support::ScopedEnv;

TEST(EnvGet, ReadsValuesLosslessly) {
  ScopedEnv set("FOLDWEB_TEST_VALUE", "a b=c \xc3\xa9 \xff");
  ScopedEnv empty("FOLDWEB_TEST_EMPTY", "");
  ScopedEnv unset("FOLDWEB_TEST_UNSET", std::nullopt);

  EXPECT_EQ(platform::Env_Get(L"FOLDWEB_TEST_VALUE"), L"a b=c \u00e9 \xdcff");
  EXPECT_EQ(platform::Env_Get(L"FOLDWEB_TEST_EMPTY"), L"");
  EXPECT_EQ(platform::Env_Get(L"FOLDWEB_TEST_UNSET"), std::nullopt);
  // Names that no variable can have; the NUL would otherwise find the
  // variable named by the text before it.
  EXPECT_EQ(platform::Env_Get(L""), std::nullopt);
  EXPECT_EQ(platform::Env_Get(L"FOLDWEB_TEST_VALUE=a"), std::nullopt);
  EXPECT_EQ(platform::Env_Get(std::wstring(L"FOLDWEB_TEST_VALUE\0x", 20)), std::nullopt);
}

TEST(ProcessExecutablePath, NamesThisProgram) {
  const std::wstring path = platform::Process_ExecutablePath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.front(), L'/');
  const fs::path file(platform::OsText_Encode(path));
  EXPECT_TRUE(fs::is_regular_file(file));
  EXPECT_EQ(file.filename(), "foldweb_platform_tests");
}

TEST(ProcessCurrentFolder, FollowsLongAndNonUtf8Folders) {
  const fs::path before = fs::current_path();
  // Longer than the first buffer tried, with a name that is not UTF-8.
  fs::path deep = fs::temp_directory_path() / "foldweb_cwd_test \xff";
  fs::remove_all(deep);
  for (int i = 0; i < 6; ++i) deep /= std::string(60, static_cast<char>('a' + i));
  fs::create_directories(deep);
  fs::current_path(deep);
  const std::wstring folder = platform::Process_CurrentFolder();
  fs::current_path(before);
  fs::remove_all(fs::temp_directory_path() / "foldweb_cwd_test \xff");

  EXPECT_EQ(folder, platform::OsText_Decode(deep.native()));
  EXPECT_NE(folder.find(L"\xdcff"), std::wstring::npos);
}

TEST(ProcessUserName, NamesTheEffectiveUser) {
  // Independent of the variables that the fallbacks read.
  ScopedEnv user("USER", "someone-else");
  const std::wstring name = platform::Process_UserName();
  EXPECT_FALSE(name.empty());
  EXPECT_NE(name, L"someone-else");
}

TEST(ProcessSpecialFolder, MapsTheKnownIds) {
  struct Row {
    std::optional<std::string> xdg_cache_home;
    std::optional<std::string> home;
    int csidl;
    std::wstring expected;
  };
  const Row rows[] = {
      {"/x/cache", "/home/u", 46, L"/x/cache"},
      {"/x/cache//", "/home/u", 46, L"/x/cache"},
      // The base-directory rules ignore a relative or empty value.
      {"relative/cache", "/home/u", 46, L"/home/u/.cache"},
      {"", "/home/u/", 46, L"/home/u/.cache"},
      {std::nullopt, "/home/u", 46, L"/home/u/.cache"},
      {std::nullopt, "/", 46, L"/.cache"},
      {std::nullopt, "", 46, L""},
      {std::nullopt, std::nullopt, 46, L""},
      {std::nullopt, "/home/u", 36, L"/usr"},
      {std::nullopt, "/home/u", 37, L"/usr/bin"},
      {std::nullopt, "/home/u", 38, L"/opt"},
      {std::nullopt, "/home/u", 0, L""},
      {std::nullopt, "/home/u", 5, L""},
      {std::nullopt, "/home/u", -1, L""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.xdg_cache_home.value_or("(unset)") + " " + row.home.value_or("(unset)") + " " +
                 std::to_string(row.csidl));
    ScopedEnv xdg("XDG_CACHE_HOME", row.xdg_cache_home);
    ScopedEnv home("HOME", row.home);
    EXPECT_EQ(platform::Process_SpecialFolder(row.csidl), row.expected);
  }
}

// Each Process_RunWideMain case runs in a child of its own: it changes how
// the whole process treats signals.
class RunWideMainTest : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

int ChecksItsArguments(int argc, wchar_t** argv) {
  const std::vector<std::wstring> expected = {L"prog", L"a b", L"\u00e9", L"\xdcff\xdcfe"};
  if (argc != 4 || argv[4] != nullptr) return 10;
  for (int i = 0; i < argc; ++i) {
    if (expected[static_cast<std::size_t>(i)] != argv[i]) return 11 + i;
  }
  const std::vector<std::wstring>* stored = platform::Process_Arguments();
  if (stored == nullptr || *stored != expected) return 20;
  // The arguments are wmain's own to change.
  argv[0][0] = L'P';
  if (platform::Process_Arguments()->front() != L"prog") return 21;
  return 7;
}

TEST_F(RunWideMainTest, DecodesAndStoresTheArguments) {
  EXPECT_EQ(platform::Process_Arguments(), nullptr);
  EXPECT_EXIT(RunAndExit({"prog", "a b", "\xc3\xa9", "\xff\xfe"}, ChecksItsArguments),
              ::testing::ExitedWithCode(7), "");
}

int CountsNoArguments(int argc, wchar_t** argv) {
  const std::vector<std::wstring>* stored = platform::Process_Arguments();
  return argc == 0 && argv[0] == nullptr && stored != nullptr && stored->empty() ? 0 : 1;
}

TEST_F(RunWideMainTest, AcceptsAnEmptyArgumentVector) {
  EXPECT_EXIT(RunAndExit({}, CountsNoArguments), ::testing::ExitedWithCode(0), "");
}

// The signal to raise, for the wmain below (which cannot capture).
int g_raised = 0;

int Raises(int, wchar_t**) {
  std::raise(g_raised);
  return 5;
}

// SIGPIPE comes with a client gone away, SIGXFSZ with a write past the
// file-size limit; either would otherwise end the server.
TEST_F(RunWideMainTest, IgnoresSigpipeAndSigxfsz) {
  for (const int raised : {SIGPIPE, SIGXFSZ}) {
    SCOPED_TRACE(raised);
    g_raised = raised;
    EXPECT_EXIT(RunAndExit({"prog"}, Raises), ::testing::ExitedWithCode(5), "");
  }
}

// The signal to send, for the wmain below (which cannot capture).
const char* g_signal_name = "";

struct SaysGoodbye {
  ~SaysGoodbye() { std::fputs("static destroyed\n", stderr); }
};

int WaitsForASignal(int, wchar_t**) {
  static SaysGoodbye goodbye;
  std::atexit([] { std::fputs("atexit ran\n", stderr); });
  // A shell outside this process sends the signal, as a terminal or a
  // service manager would.
  const std::string command = std::string("(sleep 0.1; kill -") + g_signal_name + " $PPID) >/dev/null 2>&1 &";
  if (std::system(command.c_str()) != 0) return 2;
  for (int i = 0; i < 200; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return 3;  // never reached when the signal ends the process
}

TEST_F(RunWideMainTest, EndSignalsRunTheExitHandlers) {
  for (const char* name : {"INT", "TERM", "HUP"}) {
    SCOPED_TRACE(name);
    g_signal_name = name;
    EXPECT_EXIT(RunAndExit({"prog"}, WaitsForASignal), ::testing::ExitedWithCode(0),
                "atexit ran\nstatic destroyed\n");
  }
}

}  // namespace
