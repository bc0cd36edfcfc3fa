#include "platform/dialog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/os_text.h"
#include "platform/process.h"

namespace {

namespace fs = std::filesystem;
using platform::DialogAnswer;
using platform::DialogFilter;
using platform::DialogKind;
using platform::DialogOutcome;
using platform::DialogRequest;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Children of this process that ended and were never reaped.
std::vector<std::string> ZombieChildren() {
  const std::string self = fs::read_symlink("/proc/self").string();
  std::vector<std::string> zombies;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string stat = ReadFile(entry.path() / "stat");
    const std::size_t end_of_name = stat.rfind(')');
    if (end_of_name == std::string::npos) continue;
    std::istringstream fields(stat.substr(end_of_name + 1));
    char state = 0;
    std::string parent;
    fields >> state >> parent;
    if (parent == self && state == 'Z') zombies.push_back(name);
  }
  return zombies;
}

const DialogFilter kAllFiles{L"All Files (*.*)", L"*.*"};

// Fake dialog programs first on PATH, a display named in the environment;
// everything the test changes in the environment is put back after it.
class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("foldweb_dialog_test_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "bin");
    Set("PATH", (dir_ / "bin").string() + ":" + Old("PATH").value_or("/usr/bin:/bin"));
    Set("DISPLAY", ":97");
    Set("WAYLAND_DISPLAY", std::nullopt);
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
    EXPECT_EQ(ZombieChildren(), std::vector<std::string>());
    fs::remove_all(dir_);
  }

  std::optional<std::string> Old(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value ? std::optional<std::string>(value) : std::nullopt;
  }
  void Set(const std::string& name, const std::optional<std::string>& value) {
    if (!saved_.count(name)) saved_[name] = Old(name);
    if (value) {
      ::setenv(name.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name.c_str());
    }
  }

  // Writes a fake dialog program that records its arguments (NUL after
  // each) and then runs `body`; "@" in `body` stands for the test's folder.
  void WriteProgram(const std::string& name, std::string body) {
    for (std::size_t at = body.find('@'); at != std::string::npos; at = body.find('@', at)) {
      body.replace(at, 1, dir_.string());
    }
    const fs::path program = dir_ / "bin" / name;
    std::ofstream(program) << "#!/bin/sh\nprintf '%s\\0' \"$@\" > '" << (dir_ / "args").string() << "'\n"
                           << body << "\n";
    fs::permissions(program, fs::perms::owner_all);
  }

  // The arguments the fake was started with; nullopt when it never ran.
  std::optional<std::vector<std::string>> RecordedArguments() {
    if (!fs::exists(dir_ / "args")) return std::nullopt;
    std::vector<std::string> words;
    std::string all = ReadFile(dir_ / "args");
    for (std::size_t at = 0; at < all.size();) {
      const std::size_t end = all.find('\0', at);
      words.push_back(all.substr(at, end - at));
      at = end + 1;
    }
    fs::remove(dir_ / "args");
    return words;
  }

  fs::path dir_;
  std::map<std::string, std::optional<std::string>> saved_;
};

DialogRequest OpenFile(const std::wstring& title, const std::wstring& start,
                       std::vector<DialogFilter> filters) {
  return DialogRequest{DialogKind::OpenFile, title, start, std::move(filters)};
}
DialogRequest Folder(const std::wstring& title, const std::wstring& start) {
  return DialogRequest{DialogKind::Folder, title, start, {}};
}

struct ArgumentsRow {
  const char* name;
  DialogRequest request;
  std::vector<std::string> zenity;
  std::vector<std::string> kdialog;
};

// The same requests as the two programs' command lines. A "*.*" pattern
// reaches the program as "*", so names without a dot show too.
const ArgumentsRow kArgumentRows[] = {
    {"open file, no start",
     OpenFile(L"Open", L"", {kAllFiles}),
     {"--file-selection", "--title=Open", "--file-filter=All Files (*.*) | *"},
     {"--title", "Open", "--getopenfilename", ".", "*|All Files (*.*)"}},
    {"open file in a folder",
     OpenFile(L"Open", L"/srv/my site", {kAllFiles}),
     {"--file-selection", "--title=Open", "--filename=/srv/my site/", "--file-filter=All Files (*.*) | *"},
     {"--title", "Open", "--getopenfilename", "/srv/my site/", "*|All Files (*.*)"}},
    {"start folder with its separator",
     OpenFile(L"Open", L"/", {kAllFiles}),
     {"--file-selection", "--title=Open", "--filename=/", "--file-filter=All Files (*.*) | *"},
     {"--title", "Open", "--getopenfilename", "/", "*|All Files (*.*)"}},
    {"several filters and patterns",
     OpenFile(L"Pick", L"", {{L"Pages", L"*.htm; *.html"}, {L"Empty", L""}, kAllFiles}),
     {"--file-selection", "--title=Pick", "--file-filter=Pages | *.htm *.html", "--file-filter=Empty | *",
      "--file-filter=All Files (*.*) | *"},
     {"--title", "Pick", "--getopenfilename", ".", "*.htm *.html|Pages\n*|Empty\n*|All Files (*.*)"}},
    {"folder without title",
     Folder(L"", L"/srv"),
     {"--file-selection", "--directory", "--filename=/srv/"},
     {"--getexistingdirectory", "/srv/"}},
    {"non-ASCII text",
     OpenFile(L"\u00d6ffnen", L"/caf\u00e9", {{L"\u00c4", L"*.*"}}),
     {"--file-selection",
      "--title=\xc3\x96"
      "ffnen",
      "--filename=/caf\xc3\xa9/", "--file-filter=\xc3\x84 | *"},
     {"--title",
      "\xc3\x96"
      "ffnen",
      "--getopenfilename", "/caf\xc3\xa9/", "*|\xc3\x84"}},
};

TEST_F(DialogTest, BuildsTheCommandLineOfEitherProgram) {
  for (const ArgumentsRow& row : kArgumentRows) {
    SCOPED_TRACE(row.name);
    WriteProgram("zenity", "exit 1");
    EXPECT_EQ(platform::Dialog_Show(row.request).outcome, DialogOutcome::Cancelled);
    EXPECT_EQ(RecordedArguments(), row.zenity);
  }
  // Without zenity (only the fakes' folder on PATH) kdialog is asked.
  fs::remove(dir_ / "bin" / "zenity");
  Set("PATH", (dir_ / "bin").string());
  for (const ArgumentsRow& row : kArgumentRows) {
    SCOPED_TRACE(row.name);
    WriteProgram("kdialog", "exit 1");
    EXPECT_EQ(platform::Dialog_Show(row.request).outcome, DialogOutcome::Cancelled);
    EXPECT_EQ(RecordedArguments(), row.kdialog);
  }
}

TEST_F(DialogTest, MapsWhatTheProgramAnswers) {
  struct Row {
    const char* body;
    DialogOutcome outcome;
    std::wstring path;
  };
  const Row rows[] = {
      {"printf '/srv/site/index.html\\n'", DialogOutcome::Chosen, L"/srv/site/index.html"},
      {"printf '/srv/a b/\\303\\251.txt\\n'", DialogOutcome::Chosen, L"/srv/a b/\u00e9.txt"},
      {"printf '/srv/\\377.txt\\n'", DialogOutcome::Chosen, L"/srv/\xdcff.txt"},
      {"printf '/no/line/end'", DialogOutcome::Chosen, L"/no/line/end"},
      {"exit 1", DialogOutcome::Cancelled, L""},
      {"exit 0", DialogOutcome::Cancelled, L""},
      {"echo 'Gtk-WARNING: GtkDialog mapped without a transient parent' >&2; exit 1",
       DialogOutcome::Cancelled, L""},
      // Much error output while the user decides must not stall the dialog.
      {"i=0; while [ $i -lt 2000 ]; do echo 'warning warning warning warning' >&2; i=$((i+1)); done; exit 1",
       DialogOutcome::Cancelled, L""},
      {"echo '(zenity:1): Gtk-WARNING **: cannot open display: :97' >&2; exit 1", DialogOutcome::Failed, L""},
      {"echo 'qt.qpa.xcb: could not connect to display :97' >&2; exit 1", DialogOutcome::Failed, L""},
      {"printf '(null)\\n'", DialogOutcome::Failed, L""},
      {"printf 'relative/path\\n'", DialogOutcome::Failed, L""},
      {"printf '/srv/index.html\\n'; exit 5", DialogOutcome::Failed, L""},
      {"exit 255", DialogOutcome::Failed, L""},
      {"kill -KILL $$", DialogOutcome::Failed, L""},
      {"i=0; while [ $i -lt 8000 ]; do printf '/aaaaaaaaaaaaaaa'; i=$((i+1)); done", DialogOutcome::Failed,
       L""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.body);
    WriteProgram("zenity", row.body);
    const DialogAnswer answer = platform::Dialog_Show(OpenFile(L"Open", L"", {kAllFiles}));
    EXPECT_EQ(answer.outcome, row.outcome);
    EXPECT_EQ(answer.path, row.path);
    EXPECT_EQ(answer.error_code, row.outcome == DialogOutcome::Failed ? platform::kDialogFailureCode : 0u);
  }
}

TEST_F(DialogTest, WithoutDisplayOrProgramNoDialogCanBeShown) {
  WriteProgram("zenity", "printf '/srv/x\\n'");
  Set("DISPLAY", std::nullopt);
  EXPECT_EQ(platform::Dialog_Show(Folder(L"", L"/")).error_code, platform::kDialogFailureCode);
  Set("DISPLAY", "");
  EXPECT_EQ(platform::Dialog_Show(Folder(L"", L"/")).error_code, platform::kDialogFailureCode);
  EXPECT_EQ(RecordedArguments(), std::nullopt) << "started without a display";

  Set("WAYLAND_DISPLAY", "wayland-0");
  EXPECT_EQ(platform::Dialog_Show(Folder(L"", L"/")).path, L"/srv/x");

  Set("PATH", (dir_ / "empty").string());
  const DialogAnswer none = platform::Dialog_Show(Folder(L"", L"/"));
  EXPECT_EQ(none.outcome, DialogOutcome::Failed);
  EXPECT_EQ(none.error_code, platform::kDialogFailureCode);
}

TEST_F(DialogTest, TextWithNulIsNeverPassed) {
  WriteProgram("zenity", "printf '/srv/x\\n'");
  EXPECT_EQ(platform::Dialog_Show(Folder(std::wstring(L"a\0b", 3), L"/")).outcome, DialogOutcome::Failed);
  EXPECT_EQ(platform::Dialog_Show(OpenFile(L"", L"/", {{L"x", std::wstring(L"*\0", 2)}})).outcome,
            DialogOutcome::Failed);
  EXPECT_EQ(RecordedArguments(), std::nullopt);
}

// GTK prints the chosen path in the locale's character set: under a locale
// that is not UTF-8 every non-ASCII letter would come back as '?'.
TEST_F(DialogTest, TheDialogPrintsInUtf8WhateverTheLocale) {
  struct Row {
    std::optional<std::string> lc_all, lc_ctype, lang;
    std::string seen;
  };
  const Row rows[] = {
      {std::nullopt, std::nullopt, std::nullopt, "C.UTF-8"},
      {std::nullopt, std::nullopt, "C", "C.UTF-8"},
      {"C", std::nullopt, "en_US.UTF-8", "C.UTF-8"},
      {"POSIX", "de_DE.UTF-8", std::nullopt, "C.UTF-8"},
      {std::nullopt, std::nullopt, "en_US.UTF-8", "unset"},
      {std::nullopt, "C.utf8", "C", "unset"},
      {"de_DE.utf8", std::nullopt, std::nullopt, "de_DE.utf8"},
  };
  WriteProgram("zenity", "printf '%s' \"${LC_ALL-unset}\" > @/lc_all; exit 1");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.seen);
    Set("LC_ALL", row.lc_all);
    Set("LC_CTYPE", row.lc_ctype);
    Set("LANG", row.lang);
    platform::Dialog_Show(Folder(L"", L"/"));
    EXPECT_EQ(ReadFile(dir_ / "lc_all"), row.seen);
  }
}

int ShowsOnce(int, wchar_t**) {
  return platform::Dialog_Show(Folder(L"", L"/")).outcome == DialogOutcome::Chosen ? 33 : 1;
}

// Runs `wmain` as the program's entry would, with its signal handling.
[[noreturn]] void RunAndExit(int (*wmain)(int, wchar_t**)) {
  std::string name = "prog";
  char* argv[] = {name.data(), nullptr};
  std::exit(platform::Process_RunWideMain(1, argv, wmain));
}

TEST_F(DialogTest, TheDialogDoesNotInheritTheServersSignalHandling) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // Exit 4: signals blocked (Ctrl+C could not end the dialog); exit 5:
  // SIGPIPE ignored; exit 6: its standard input is not /dev/null.
  WriteProgram("zenity",
               "blocked=$(sed -n 's/^SigBlk:[[:space:]]*//p' /proc/$$/status)\n"
               "ignored=$(sed -n 's/^SigIgn:[[:space:]]*//p' /proc/$$/status)\n"
               "[ $((0x$blocked)) -eq 0 ] || exit 4\n"
               "[ $((0x$ignored & 0x1000)) -eq 0 ] || exit 5\n"
               "[ \"$(readlink /proc/$$/fd/0)\" = /dev/null ] || exit 6\n"
               "printf '/srv\\n'");
  EXPECT_EXIT(RunAndExit(ShowsOnce), ::testing::ExitedWithCode(33), "");
}

}  // namespace
