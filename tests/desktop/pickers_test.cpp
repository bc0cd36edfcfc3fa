#include "desktop/pickers.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/dialog.h"
#include "tests/desktop/desktop_test_support.h"
#include "tests/support/fd_capture.h"

namespace {

using namespace desktop_test;

const std::string kOpenFile[] = {"--file-selection", "--title=Open", "--file-filter=All Files (*.*) | *"};

// A fake zenity answers with the path written into root/answer (a choice),
// or cancels when there is none.
class PickersTest : public DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    WriteScript(root_ / "bin" / "zenity", "asked",
                "[ -f @/answer ] || exit 1\ncat @/answer; echo; rm -f @/answer");
    fs::create_directories(root_ / "site" / "sub");
    std::ofstream(root_ / "site" / "index.html") << "home";
  }

  void Answer(const fs::path& path) { std::ofstream(root_ / "answer") << path.string(); }

  // The start-folder argument of the last dialog; nullopt for none.
  static std::optional<std::string> StartOf(const std::vector<std::string>& arguments) {
    for (const std::string& argument : arguments) {
      if (argument.rfind("--filename=", 0) == 0) return argument.substr(11);
    }
    return std::nullopt;
  }
  std::optional<std::string> LastStart() { return StartOf(Recorded("asked")); }

  std::string Slashed(const fs::path& folder) { return folder.string() + "/"; }
};

TEST_F(PickersTest, AskPathStartsWhereThePreviousChoiceWas) {
  const fs::path site = root_ / "site";
  FdCapture err(2);
  // A cancel first, whatever an earlier test left: the dialog then starts
  // where it likes.
  EXPECT_EQ(ask_path(false), L"");
  Recorded("asked");
  EXPECT_EQ(ask_path(false), L"");
  EXPECT_EQ(Recorded("asked"), std::vector<std::string>(std::begin(kOpenFile), std::end(kOpenFile)));

  struct Step {
    bool is_fold;
    std::optional<fs::path> answer;    // nullopt: cancel
    std::optional<std::string> start;  // nullopt: none given
  };
  const Step steps[] = {
      {false, site / "index.html", std::nullopt},
      {false, std::nullopt, Slashed(site)},  // the chosen file's folder
      {false, std::nullopt, std::nullopt},   // a cancel forgets
      {true, site / "sub", "/"},             // the empty path's folder part
      {true, std::nullopt, Slashed(site / "sub")},
      {true, site, "/"},
      {false, std::nullopt, Slashed(site)},  // a chosen folder is the start itself
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.start.value_or("no start"));
    if (step.answer) Answer(*step.answer);
    EXPECT_EQ(ask_path(step.is_fold), step.answer ? W(*step.answer) : L"");
    EXPECT_EQ(LastStart(), step.start);
  }

  // A remembered place that is gone since gives no start.
  fs::create_directories(root_ / "gone");
  std::ofstream(root_ / "gone" / "page.html") << "x";
  Answer(root_ / "gone" / "page.html");
  EXPECT_EQ(ask_path(false), W(root_ / "gone" / "page.html"));
  fs::remove_all(root_ / "gone");
  EXPECT_EQ(ask_path(false), L"");
  EXPECT_EQ(LastStart(), std::nullopt);

  EXPECT_EQ(err.Take(), "") << "a choice or a cancel printed something";
}

TEST_F(PickersTest, TheOpenFileDialogStartsInTheFolderOfTheDefaultName) {
  const fs::path site = root_ / "site";
  struct Row {
    std::wstring default_name;
    std::optional<std::string> start;
  };
  const Row rows[] = {
      {L"", std::nullopt},
      {W(site), Slashed(site)},
      {W(site) + L"/", Slashed(site)},
      {W(site / "index.html"), Slashed(site)},
      {W(site / "nosuch.html"), Slashed(site)},
      {W(site / "nosuch" / "page.html"), std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(platform::OsText_Encode(row.default_name));
    EXPECT_EQ(FD_GetOpenFile(nullptr, row.default_name, L"", L"Open"), L"");
    EXPECT_EQ(LastStart(), row.start);
  }
}

TEST_F(PickersTest, TheFilterListBecomesTheDialogsFilters) {
  struct Row {
    std::wstring filter;
    std::vector<std::string> filters;
  };
  const Row rows[] = {
      {L"", {"--file-filter=All Files (*.*) | *"}},
      {L"Pages|*.htm||", {"--file-filter=Pages | *.htm"}},
      {L"Pages|*.htm;*.html|All Files (*.*)|*.*||",
       {"--file-filter=Pages | *.htm *.html", "--file-filter=All Files (*.*) | *"}},
      {L"Unended|*.htm", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(platform::OsText_Encode(row.filter));
    FD_GetOpenFile(nullptr, L"", row.filter, L"Pick");
    std::vector<std::string> expected = {"--file-selection", "--title=Pick"};
    expected.insert(expected.end(), row.filters.begin(), row.filters.end());
    EXPECT_EQ(Recorded("asked"), expected);
  }
}

TEST_F(PickersTest, ADialogThatCannotBeShownSaysSoAndHowToGoOn) {
  const std::string file_hint =
      "ffff\nfoldweb: no file dialog could be shown (it needs zenity or kdialog and a display);"
      " name the folder to serve: foldweb FOLDER\n";
  const std::string folder_hint =
      "ffff\nfoldweb: no folder dialog could be shown (it needs zenity or kdialog and a display);"
      " name the folder to serve: foldweb FOLDER\n";
  struct Row {
    const char* why;
    std::optional<std::string> display;
    const char* zenity;  // nullptr: the fake asking as usual
  };
  const Row rows[] = {
      {"no display named", std::nullopt, nullptr},
      {"the display cannot be opened", ":97", "echo 'Gtk-WARNING **: cannot open display: :97' >&2; exit 1"},
      {"the dialog program crashed", ":97", "kill -SEGV $$"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.why);
    Set("DISPLAY", row.display);
    if (row.zenity) WriteScript(root_ / "bin" / "zenity", "asked", row.zenity);
    Answer(root_ / "site" / "index.html");
    {
      FdCapture err(2);
      EXPECT_EQ(ask_path(false), L"");
      EXPECT_EQ(err.Take(), file_hint);
    }
    {
      FdCapture err(2);
      EXPECT_EQ(Browse_Folder(nullptr, L"/", L""), L"");
      EXPECT_EQ(err.Take(), folder_hint);
    }
  }
}

TEST_F(PickersTest, TheFolderBrowserOpensOnTheFolderOfItsStart) {
  const fs::path site = root_ / "site";
  Answer(site / "sub");
  EXPECT_EQ(Browse_Folder(nullptr, W(site / "index.html").c_str(), L"Pick a folder"), W(site / "sub"));
  EXPECT_EQ(Recorded("asked"),
            (std::vector<std::string>{"--file-selection", "--directory", "--title=Pick a folder",
                                      "--filename=" + Slashed(site)}));
}

TEST_F(PickersTest, TheBrowserCallbackSelectsTheStartOnlyWhenSetUp) {
  const std::wstring folder = L"/srv/site";
  const auto data = reinterpret_cast<std::intptr_t>(folder.c_str());
  struct Row {
    std::uint32_t message;
    std::int32_t result;
    std::wstring start;
  };
  const Row rows[] = {{1, 1, folder}, {0, 0, L"/old"}, {2, 0, L"/old"}, {0x467, 0, L"/old"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    platform::DialogRequest dialog;
    dialog.start_folder = L"/old";
    EXPECT_EQ(SH_BrowseCallback(&dialog, row.message, 0, data), row.result);
    EXPECT_EQ(dialog.start_folder, row.start);
  }
}

}  // namespace
