#include "workdir/removal_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/workdir/workdir_test_support.h"

namespace {

using namespace workdir_test;

// Remove_File_later queues into one list for the whole process, carried out
// at exit: every call of it here runs in a child process that then exits.
class RemoveFileLaterDeathTest : public ScratchTest {};

TEST_F(RemoveFileLaterDeathTest, QueuesOldMatchingFilesAndRemovesThemAtExit) {
  const fs::path logs = root_ / "logs";
  fs::create_directories(logs / "sub.txt");
  const struct {
    const char* name;
    int days;
    int seconds;
    bool removed;
  } files[] = {
      {"exact.txt", 10, 0, true},        // exactly ten days
      {"young.txt", 9, 23 * 3600, false},  // nine days and 23 hours
      {"LOG.TXT", 11, 0, true},
      {"a.txt.bak", 11, 0, false},
      {"readonly.txt", 11, 0, false},
      {"sub.txt/inner.txt", 11, 0, false},  // not in sub-folders
  };
  for (const auto& f : files) {
    WriteBytes(logs / f.name, f.name);
    SetAge(logs / f.name, f.days, f.seconds);
  }
  fs::permissions(logs / "readonly.txt", fs::perms::owner_write, fs::perm_options::remove);
  SetAge(logs / "sub.txt", 11);

  const fs::path named = root_ / "named";
  fs::create_directories(named);
  for (const char* name : {"log_1.txt", "other.txt"}) {
    WriteBytes(named / name, name);
    SetAge(named / name, 11);
  }
  fs::create_directories(root_ / "fresh");
  WriteBytes(root_ / "fresh" / "new.txt", "new");

  EXPECT_EXIT(
      {
        const bool queued = !Remove_File_later(W(logs / ".txt").c_str(), 10);
        // The same files again: each is still removed once.
        Remove_File_later(W(logs / ".txt").c_str(), 10);
        const bool by_title = !Remove_File_later(W(named / "log.txt").c_str(), 10);
        const bool none = Remove_File_later(W(root_ / "fresh" / ".txt").c_str(), 10);
        // Nothing goes before the exit.
        const bool kept_meanwhile = fs::exists(logs / "exact.txt");
        std::exit(queued && by_title && none && kept_meanwhile ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");

  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    EXPECT_EQ(fs::exists(logs / f.name), !f.removed);
  }
  EXPECT_TRUE(fs::is_directory(logs / "sub.txt"));
  EXPECT_FALSE(fs::exists(named / "log_1.txt"));
  EXPECT_TRUE(fs::exists(named / "other.txt"));
  EXPECT_TRUE(fs::exists(root_ / "fresh" / "new.txt"));
}

class DelFFETest : public ScratchTest {};

TEST_F(DelFFETest, AFoldersFilesGoBeforeTheFolderWhateverTheOrderOfAdding) {
  const std::vector<std::string> entries = {"d/", "d/a", "d/b", "d/s/", "d/s/c"};
  std::vector<std::vector<std::string>> orders = {entries, {entries.rbegin(), entries.rend()}};
  orders.push_back({"d/s/", "d/a", "d/", "d/s/c", "d/b"});
  for (const auto& order : orders) {
    SCOPED_TRACE(order.front());
    fs::create_directories(root_ / "d" / "s");
    for (const char* file : {"d/a", "d/b", "d/s/c"}) WriteBytes(root_ / file, "x");
    {
      DelFF_E list;
      for (const std::string& entry : order) list.Add(W(root_) + L"/" + platform::OsText_Decode(entry));
    }
    EXPECT_FALSE(fs::exists(root_ / "d"));
  }
}

TEST_F(DelFFETest, AFolderThatStillHoldsSomethingStays) {
  fs::create_directories(root_ / "d");
  WriteBytes(root_ / "d" / "queued", "x");
  WriteBytes(root_ / "d" / "unqueued", "x");
  {
    DelFF_E list;
    list.Add(std::vector<std::wstring>{W(root_ / "d") + L"/", W(root_ / "d" / "queued")});
    list.Add(W(root_ / "d" / "queued"));  // twice
    list.Add(W(root_ / "missing"));
  }
  EXPECT_FALSE(fs::exists(root_ / "d" / "queued"));
  EXPECT_TRUE(fs::exists(root_ / "d" / "unqueued"));
}

TEST_F(DelFFETest, AFileWrittenAfterItWasQueuedIsKept) {
  WriteBytes(root_ / "0101_10.txt", "last year");
  WriteBytes(root_ / "0101_11.txt", "last year");
  SetAge(root_ / "0101_10.txt", 365);
  SetAge(root_ / "0101_11.txt", 365);
  {
    DelFF_E list;
    list.Add(W(root_ / "0101_10.txt"));
    list.Add(W(root_ / "0101_11.txt"));
    list.Add(W(root_ / "later.txt"));
    // This year's records go into the file of the same name.
    std::ofstream(root_ / "0101_10.txt", std::ios::binary | std::ios::app) << "+this year";
    WriteBytes(root_ / "later.txt", "made after it was queued");
  }
  EXPECT_EQ(ReadBytes(root_ / "0101_10.txt"), "last year+this year");
  EXPECT_FALSE(fs::exists(root_ / "0101_11.txt"));
  EXPECT_TRUE(fs::exists(root_ / "later.txt"));
}

TEST_F(DelFFETest, MovesCopyFirstAndKeepWhatCouldNotBeCopied) {
  WriteBytes(root_ / "moved", "moved");
  WriteBytes(root_ / "stuck", "stuck");
  WriteBytes(root_ / "blocker", "x");
  {
    DelFF_E list;
    list.AddMove(W(root_ / "moved").c_str(), W(root_ / "new" / "place").c_str());
    list.AddMove(W(root_ / "stuck").c_str(), W(root_ / "blocker" / "place").c_str());
  }
  EXPECT_FALSE(fs::exists(root_ / "moved"));
  EXPECT_EQ(ReadBytes(root_ / "new" / "place"), "moved");
  EXPECT_EQ(ReadBytes(root_ / "stuck"), "stuck");
}

class FAttributeTest : public ScratchTest {};

TEST_F(FAttributeTest, ReadsOnceAndChangesTheReadOnlyBit) {
  WriteBytes(root_ / "file", "x");
  WriteBytes(root_ / ".hidden", "x");
  EXPECT_EQ(FA_Is_ReadOnly(W(root_ / "file")), 0u);
  EXPECT_EQ(FA_Is_ReadOnly(W(root_ / "missing")), 1u);  // unreadable counts as read-only
  EXPECT_TRUE(F_Attribute(W(root_ / "missing")).IsError());
  EXPECT_EQ(F_Attribute(W(root_ / "missing")).GetFileName(), L"");
  EXPECT_NE(F_Attribute(W(root_ / ".hidden")).Is___Flag(2), 0u);
  EXPECT_EQ(F_Attribute(W(root_) + L"//file").GetFileName(), W(root_ / "file"));

  F_Attribute attr(W(root_ / "file"));
  EXPECT_TRUE(attr.Clear_Flag(1));  // not set: nothing to do
  EXPECT_TRUE(attr.Set__Flag(1));
  EXPECT_EQ(FA_Is_ReadOnly(W(root_ / "file")), 1u);
  EXPECT_EQ(attr.Is___Flag(1), 0u);  // a snapshot
  F_Attribute read_only(W(root_ / "file"));
  EXPECT_TRUE(read_only.ClearForWrite());
  EXPECT_EQ(FA_Is_ReadOnly(W(root_ / "file")), 0u);
  EXPECT_FALSE(F_Attribute(W(root_ / "missing")).Set__Flag(1));
}

}  // namespace
