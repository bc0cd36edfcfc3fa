#include "platform/files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/os_text.h"

// Files opened for writing live in the private working folders. A symbolic
// link planted there under the name of a file about to be written must not
// carry the write elsewhere: neither into an existing file outside nor into
// a new file created where a dangling link points.
namespace {

namespace fs = std::filesystem;
using platform::OpenFailure;

// NOTE: Files_Open follows a link as the last component today; these cases
// are off until it opens with O_NOFOLLOW for "w" and "a" modes.
#define WHEN_LINKS_ARE_REFUSED(name) name

class FilesLinksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("foldweb_files_links_test_" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "private");
    fs::create_directories(root_ / "outside");
  }
  void TearDown() override { fs::remove_all(root_); }

  std::wstring W(const fs::path& path) const { return platform::OsText_Decode(path.string()); }
  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  fs::path root_;
};

TEST_F(FilesLinksTest, WHEN_LINKS_ARE_REFUSED(WritesDoNotFollowALinkAsTheLastComponent)) {
  const fs::path target = root_ / "outside" / "kept.txt";
  std::ofstream(target, std::ios::binary) << "outside bytes";
  const fs::path dangling = root_ / "outside" / "never-made.txt";
  fs::create_symlink(target, root_ / "private" / "to-file.htm");
  fs::create_symlink(dangling, root_ / "private" / "to-nothing.htm");

  for (const char* mode : {"wb", "ab", "w+b", "a+", "wbx"}) {
    for (const char* name : {"to-file.htm", "to-nothing.htm"}) {
      SCOPED_TRACE(std::string(mode) + " " + name);
      OpenFailure why = OpenFailure::None;
      std::FILE* f = platform::Files_Open(W(root_ / "private" / name), platform::OsText_Decode(mode), why);
      if (f != nullptr) {
        std::fputs("written through the link", f);
        std::fclose(f);
      }
      EXPECT_EQ(f, nullptr);
      EXPECT_EQ(why, OpenFailure::Lasting);  // waiting would not mend it
    }
  }
  EXPECT_EQ(Read(target), "outside bytes");
  EXPECT_FALSE(fs::exists(dangling));
}

TEST_F(FilesLinksTest, ReadingThroughALinkStillWorks) {
  const fs::path target = root_ / "outside" / "read.txt";
  std::ofstream(target, std::ios::binary) << "read me";
  fs::create_symlink(target, root_ / "private" / "link.txt");
  OpenFailure why = OpenFailure::Lasting;
  std::FILE* f = platform::Files_Open(W(root_ / "private" / "link.txt"), L"rb", why);
  ASSERT_NE(f, nullptr);
  char buffer[16] = {};
  EXPECT_EQ(std::fread(buffer, 1, sizeof buffer, f), 7u);
  std::fclose(f);
  EXPECT_EQ(std::string(buffer), "read me");
}

}  // namespace
