#include "desktop/shell_exec.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "tests/desktop/desktop_test_support.h"

namespace {

using namespace desktop_test;

const std::wstring kAddress = L"http://127.0.0.1:50123/";

// Reads the items as Execute hands them over.
class Probe : public S_Exec {
 public:
  using S_Exec::DirectoryP;
  using S_Exec::File;
  using S_Exec::FileP;
  using S_Exec::Hwnd;
  using S_Exec::OperationP;
  using S_Exec::ParamatersP;
  using S_Exec::ShowCmd;
};

// Records which slots explorer_ goes through, in order.
class SlotSpy : public S_Exec {
 public:
  bool SetFile(const wchar_t* file) override {
    calls.push_back(L"SetFile " + std::wstring(file));
    return S_Exec::SetFile(file);
  }
  bool SetParamaters(const wchar_t* paramaters) override {
    calls.push_back(L"SetParamaters " + std::wstring(paramaters));
    return S_Exec::SetParamaters(paramaters);
  }
  bool Execute() const override {
    calls.push_back(L"Execute");
    return S_Exec::Execute();
  }
  mutable std::vector<std::wstring> calls;
};

std::wstring ProgramName() { return W(fs::read_symlink("/proc/self/exe").filename()); }

// A message as its trace record holds it: each line end one tab.
std::wstring AsRecorded(std::wstring message) {
  std::replace(message.begin(), message.end(), L'\n', L'\t');
  return message;
}

class ShellExecTest : public DesktopTest {
 protected:
  void WriteOpener(const std::string& body) { WriteScript(root_ / "bin" / "xdg-open", "opened", body); }

  // The message of the one trace record written so far, after checking that
  // it names the program.
  std::wstring OnlyTracedMessage() {
    const auto records = TraceRecords();
    if (records.size() != 1) {
      ADD_FAILURE() << records.size() << " trace records";
      return L"";
    }
    const std::vector<std::wstring>& record = records[0];
    EXPECT_GE(record.size(), 3u);
    if (record.size() < 3) return L"";
    EXPECT_EQ(record[1], ProgramName());
    std::wstring message = record[2];
    for (std::size_t i = 3; i < record.size(); ++i) message += L"\t" + record[i];
    fs::remove_all(root_ / "tmp" / "Vantre.tmp");
    return message;
  }
};

TEST_F(ShellExecTest, TheAddressGoesToTheOpenerAloneAndLeavesNoTrace) {
  WriteOpener("exit 0");
  Probe exec;
  EXPECT_EQ(exec.ShowCmd, 1);
  EXPECT_EQ(exec.FileP, nullptr);
  ASSERT_TRUE(exec.SetFile(kAddress.c_str()));
  EXPECT_EQ(exec.File, kAddress);
  EXPECT_EQ(exec.FileP, exec.File.c_str());
  EXPECT_EQ(exec.OperationP, nullptr);
  EXPECT_EQ(exec.ParamatersP, nullptr);
  EXPECT_EQ(exec.DirectoryP, nullptr);
  EXPECT_EQ(exec.Hwnd, nullptr);
  EXPECT_TRUE(exec.Execute());
  EXPECT_EQ(Recorded("opened"), std::vector<std::string>{"http://127.0.0.1:50123/"});
  EXPECT_TRUE(TraceRecords().empty());
}

TEST_F(ShellExecTest, ARefusalIsTracedWithItsReasonAndTheItems) {
  const std::wstring details = L"\nOperation=\"\"\nFile=\"" + kAddress + L"\"\nParamaters=\"\"";
  struct Row {
    const char* opener;  // nullptr: no opener on PATH
    std::wstring reason;
  };
  const Row rows[] = {
      {"exit 3", L"There is no application associated with the given file name extension."},
      {"exit 2", L"The specified file was not found."},
      {"exit 1", L"Error\n" + kAddress + L"\n"},
      {"exit 4", L"Error\n" + kAddress + L"\n"},
      {"kill -KILL $$", L"Error\n" + kAddress + L"\n"},
      {nullptr, L"There is no application associated with the given file name extension."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.opener ? row.opener : "no opener");
    if (row.opener) {
      WriteOpener(row.opener);
    } else {
      fs::remove(root_ / "bin" / "xdg-open");
      Set("PATH", (root_ / "empty").string());
    }
    S_Exec exec;
    exec.SetFile(kAddress.c_str());
    EXPECT_FALSE(exec.Execute());
    EXPECT_EQ(OnlyTracedMessage(), AsRecorded(row.reason + details));
  }
}

TEST_F(ShellExecTest, OnlyTheOpenVerbsHaveAHandler) {
  WriteOpener("exit 0");
  struct Row {
    const wchar_t* verb;
    bool launched;
  };
  const Row rows[] = {{L"", true},       {L"open", true},  {L"Open", true}, {L"explore", true},
                      {L"print", false}, {L"edit", false}, {L"find", false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.verb, row.verb + std::wcslen(row.verb)));
    S_Exec exec;
    exec.SetOperation(row.verb);
    exec.SetFile(kAddress.c_str());
    EXPECT_EQ(exec.Execute(), row.launched);
    EXPECT_EQ(Ran("opened"), row.launched);
    Recorded("opened");
    if (!row.launched) {
      EXPECT_EQ(
          OnlyTracedMessage(),
          AsRecorded(L"There is no application associated with the given file name extension.\nOperation=\"" +
                     std::wstring(row.verb) + L"\"\nFile=\"" + kAddress + L"\"\nParamaters=\"\""));
    }
  }
}

TEST_F(ShellExecTest, WithoutAFileTheParametersAreTheItem) {
  WriteOpener("exit 1");
  S_Exec exec;
  exec.SetParamaters(L"/srv/a b");
  EXPECT_FALSE(exec.Execute());
  EXPECT_EQ(Recorded("opened"), std::vector<std::string>{"/srv/a b"});
  EXPECT_EQ(OnlyTracedMessage(),
            AsRecorded(L"Error\n\n/srv/a b\nOperation=\"\"\nFile=\"\"\nParamaters=\"/srv/a b\""));

  // Nothing at all to open is not handed to the opener.
  S_Exec empty;
  EXPECT_FALSE(empty.Execute());
  EXPECT_FALSE(Ran("opened"));
  EXPECT_EQ(OnlyTracedMessage(),
            AsRecorded(L"The specified file was not found.\nOperation=\"\"\nFile=\"\"\nParamaters=\"\""));
}

TEST_F(ShellExecTest, AProgramFileRunsWithTheParametersAsOneArgument) {
  WriteOpener("exit 0");
  const fs::path program = WriteScript(root_ / "prog", "ran", "exit 0");
  const std::string hostile = "/srv/a b \"c\" $(touch " + (root_ / "bad").string() + ") & ;";
  struct Row {
    std::optional<std::string> paramaters;  // nullopt: not set
    std::vector<std::string> arguments;
  };
  const Row rows[] = {
      {std::nullopt, {}},
      {"", {}},
      {hostile, {hostile}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.paramaters.value_or("unset"));
    S_Exec exec;
    exec.SetFile(W(program).c_str());
    if (row.paramaters) exec.SetParamaters(platform::OsText_Decode(*row.paramaters).c_str());
    EXPECT_TRUE(exec.Execute());
    EXPECT_TRUE(Ran("ran"));
    EXPECT_EQ(Recorded("ran"), row.arguments);
    EXPECT_FALSE(Ran("opened")) << "a program went to the opener";
  }
  EXPECT_FALSE(fs::exists(root_ / "bad"));

  // A file that may not be run is a document: it goes to the opener.
  fs::permissions(program, fs::perms::owner_read | fs::perms::owner_write);
  S_Exec document;
  document.SetFile(W(program).c_str());
  document.SetParamaters(L"ignored");
  EXPECT_TRUE(document.Execute());
  EXPECT_EQ(Recorded("opened"), std::vector<std::string>{program.string()});
}

TEST_F(ShellExecTest, AProgramThatCannotRunIsTracedWithItsReason) {
  struct Row {
    const char* content;
    const char* status;  // the program's exit when it runs
    std::wstring reason;
  };
  const Row rows[] = {
      {"no program, no script\n", nullptr,
       L"The .EXE file is invalid (non-Win32 .EXE or error in .EXE image)."},
      {"#!/nonexistent/interpreter\n", nullptr, L"The specified file was not found."},
      {"#!/bin/sh\nexit 2\n", "2", L"The specified file was not found."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.content);
    const fs::path program = root_ / "prog";
    std::ofstream(program) << row.content;
    fs::permissions(program, fs::perms::owner_all);
    S_Exec exec;
    exec.SetFile(W(program).c_str());
    exec.SetParamaters(L"x");
    EXPECT_FALSE(exec.Execute());
    EXPECT_EQ(OnlyTracedMessage(),
              AsRecorded(row.reason + L"\nOperation=\"\"\nFile=\"" + W(program) + L"\"\nParamaters=\"x\""));
  }
}

TEST_F(ShellExecTest, ExplorerHandsTheFolderToTheOpenerThroughTheSlots) {
  WriteOpener("exit 0");
  SlotSpy exec;
  EXPECT_TRUE(exec.explorer_(L"/srv/my site"));
  EXPECT_EQ(exec.calls,
            (std::vector<std::wstring>{L"SetFile xdg-open", L"SetParamaters /srv/my site", L"Execute"}));
  EXPECT_EQ(Recorded("opened"), std::vector<std::string>{"/srv/my site"});
}

TEST_F(ShellExecTest, GetPathEXEFindsABareNameOnPath) {
  WriteScript(root_ / "bin" / "fake-program", "ran", "exit 0");
  std::ofstream(root_ / "bin" / "plain-file") << "x";
  fs::create_directories(root_ / "bin" / "folder-name");
  fs::create_directories(root_ / "cwd" / "sub");
  std::ofstream(root_ / "cwd" / "here.txt") << "x";
  const fs::path old_cwd = fs::current_path();
  fs::current_path(root_ / "cwd");

  struct Row {
    std::wstring name;
    std::wstring found;
  };
  const Row rows[] = {
      {L"fake-program", W(root_ / "bin" / "fake-program")},
      {L"here.txt", L"here.txt"},  // exists here: kept relative
      {L"sub", L"sub"},
      {W(root_ / "cwd" / "here.txt"), W(root_ / "cwd" / "here.txt")},
      {L"plain-file", L"plain-file"},              // not a program
      {L"folder-name", L"folder-name"},            // not a program
      {L"bin/fake-program", L"bin/fake-program"},  // not bare: PATH is not searched
      {L"no-such-program", L"no-such-program"},
      {kAddress, kAddress},
      {L"", L""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(platform::OsText_Encode(row.name));
    EXPECT_EQ(S_Exec::GetPathEXE(row.name), row.found);
    Probe exec;
    exec.SetFile(row.name.c_str());
    EXPECT_EQ(exec.File, row.found);
  }
  fs::current_path(old_cwd);
}

TEST_F(ShellExecTest, LogMessageBoxWritesTheTextUpToItsNul) {
  using namespace std::string_literals;
  EXPECT_EQ(LogMessageBox(L"first\nline"s + L'\0' + L"hidden", 0, 0), 1);
  EXPECT_EQ(OnlyTracedMessage(), L"first\tline");
  EXPECT_EQ(LogMessageBox(L"boxed", 0x30, 0xFFFF), 1);
  EXPECT_EQ(OnlyTracedMessage(), L"boxed");

  // A temporary folder that cannot hold the log: nothing is written.
  std::ofstream(root_ / "not-a-folder") << "x";
  Set("TMPDIR", (root_ / "not-a-folder").string());
  EXPECT_EQ(LogMessageBox(L"lost", 0, 0), 0);
}

}  // namespace
