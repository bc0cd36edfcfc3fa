#include "platform/dialog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/process_env.h"
#include "tests/support/scratch.h"

namespace {

namespace fs = std::filesystem;
using platform::DialogAnswer;
using platform::DialogFilter;
using platform::DialogKind;
using platform::DialogOutcome;
using platform::DialogRequest;

using test_support::ReadBytes;
using test_support::RunAndExit;

const DialogFilter kAllFiles{L"All Files (*.*)", L"*.*"};

// Fake dialog programs first on PATH, a display named in the environment;
// everything the test changes in the environment is put back after it.
class DialogTest : public test_support::FakeProgramTest {
 protected:
  DialogTest() : FakeProgramTest("foldweb_dialog_test_") {}

  void SetUp() override {
    FakeProgramTest::SetUp();
    Set("DISPLAY", ":97");
    Set("WAYLAND_DISPLAY", std::nullopt);
  }

  // Writes a fake dialog program that records its arguments and then runs
  // `body`; "@" in `body` stands for the test's folder.
  void WriteProgram(const std::string& name, const std::string& body) {
    WriteScript(root_ / "bin" / name, "args", body);
  }

  // The arguments the fake was started with; nullopt when it never ran.
  std::optional<std::vector<std::string>> RecordedArguments() {
    if (!Ran("args")) return std::nullopt;
    return Recorded("args");
  }
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
  fs::remove(root_ / "bin" / "zenity");
  Set("PATH", (root_ / "bin").string());
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

  Set("PATH", (root_ / "empty").string());
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
    EXPECT_EQ(ReadBytes(root_ / "lc_all"), row.seen);
  }
}

int ShowsOnce(int, wchar_t**) {
  return platform::Dialog_Show(Folder(L"", L"/")).outcome == DialogOutcome::Chosen ? 33 : 1;
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
  EXPECT_EXIT(RunAndExit({"prog"}, ShowsOnce), ::testing::ExitedWithCode(33), "");
}

}  // namespace
