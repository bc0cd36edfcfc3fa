#include "platform/version_info.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/os_text.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using platform::VersionValue;

std::wstring W(const fs::path& p) { return platform::OsText_Decode(p.string()); }

std::vector<char> ReadRecord(const std::wstring& path) {
  std::uint32_t handle = 1;
  const std::uint32_t size = platform::VersionInfo_GetSize(path, handle);
  EXPECT_EQ(handle, 0u);
  std::vector<char> data(size);
  if (size > 0) {
    EXPECT_TRUE(platform::VersionInfo_Read(path, handle, size, data.data()));
  }
  return data;
}

std::wstring QueryText(const std::vector<char>& data, const std::wstring& block) {
  VersionValue value;
  if (!platform::VersionInfo_Query(data.data(), data.size(), block, value)) return L"<none>";
  return value.text;
}

class VersionInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("foldweb_version_test_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path Write(const std::string& name, const std::string& bytes) {
    std::ofstream(root_ / name, std::ios::binary) << bytes;
    return root_ / name;
  }

  fs::path root_;
};

TEST_F(VersionInfoTest, TheBuiltProgramAndARenamedCopyCarryTheRecord) {
  const char* binary = std::getenv("FOLDWEB_BINARY");
  if (binary == nullptr || *binary == '\0') GTEST_SKIP() << "FOLDWEB_BINARY is set by ctest";
  fs::copy_file(binary, root_ / "renamed");
  for (const fs::path& program : {fs::path(binary), root_ / "renamed"}) {
    SCOPED_TRACE(program.string());
    const std::vector<char> data = ReadRecord(W(program));
    ASSERT_FALSE(data.empty());
    VersionValue value;
    ASSERT_TRUE(platform::VersionInfo_Query(data.data(), data.size(), L"\\VarFileInfo\\Translation", value));
    ASSERT_EQ(value.translations.size(), 1u);
    EXPECT_EQ(value.translations[0].language, 0x0409);
    EXPECT_EQ(value.translations[0].code_page, 0x04B0);
    EXPECT_EQ(value.length, 4u);
    EXPECT_EQ(QueryText(data, L"\\StringFileInfo\\040904b0\\OriginalFilename"), L"foldweb");
    EXPECT_EQ(QueryText(data, L"\\StringFileInfo\\040904b0\\ProductName"), L"foldweb");
    // Names compare without regard to letter case, as the record's readers
    // elsewhere do.
    EXPECT_EQ(QueryText(data, L"\\stringfileinfo\\040904B0\\originalfilename"), L"foldweb");
    EXPECT_EQ(QueryText(data, L"\\StringFileInfo\\041104b0\\OriginalFilename"), L"<none>");
    EXPECT_EQ(QueryText(data, L"\\StringFileInfo\\040904b0\\Comments"), L"<none>");
  }
}

TEST_F(VersionInfoTest, FilesWithoutARecordHaveSizeZero) {
  std::vector<fs::path> files = {
      "/proc/self/exe",  // an ELF file without the section
      Write("text.txt", "not a program"),
      Write("empty", ""),
      Write("elf_header_only", "\x7f" "ELF\x02\x01\x01"s + std::string(57, '\0')),
      root_ / "missing",
      root_,
  };
  if (const char* binary = std::getenv("FOLDWEB_BINARY"); binary != nullptr && *binary != '\0') {
    // The section headers lie at the end of the file; a cut copy has none.
    std::ifstream in(binary, std::ios::binary);
    std::string head(8192, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    files.push_back(Write("cut", head));
  }
  ASSERT_EQ(std::system(("mkfifo '" + (root_ / "fifo").string() + "'").c_str()), 0);
  files.push_back(root_ / "fifo");  // must not block
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.string());
    std::uint32_t handle = 7;
    EXPECT_EQ(platform::VersionInfo_GetSize(W(file), handle), 0u);
    char buffer[4] = {};
    EXPECT_FALSE(platform::VersionInfo_Read(W(file), 0, sizeof buffer, buffer));
  }
}

TEST_F(VersionInfoTest, ARecordAddedToAnyProgramIsFoundAndReadToTheLengthAsked) {
  const std::string record = "Translation\0" "041104B0\0" "OriginalFilename\0" "viewer\0" "\0\0\0"s;
  const fs::path bytes = Write("record.bin", record);
  const fs::path program = root_ / "program";
  if (std::system(("objcopy --add-section .foldweb_version='" + bytes.string() + "' /bin/true '" +
                   program.string() + "' 2>/dev/null")
                      .c_str()) != 0) {
    GTEST_SKIP() << "objcopy is not available";
  }
  const std::vector<char> data = ReadRecord(W(program));
  EXPECT_EQ(std::string(data.begin(), data.end()), record);
  EXPECT_EQ(QueryText(data, L"\\StringFileInfo\\041104b0\\OriginalFilename"), L"viewer");

  std::vector<char> part(12, 'x');
  ASSERT_TRUE(platform::VersionInfo_Read(W(program), 0, 5, part.data()));
  EXPECT_EQ(std::string(part.begin(), part.end()), "Transxxxxxxx");
}

TEST(VersionInfoQueryTest, RecordsOfEveryShape) {
  const struct {
    const char* name;
    std::string record;
    std::wstring block;
    bool found;
    std::wstring text;
    std::uint32_t length;
  } cases[] = {
      {"string", "Translation\0" "040904b0\0" "Key\0" "Val\0" "\0"s,
       L"\\StringFileInfo\\040904b0\\Key", true, L"Val", 3},
      {"empty value", "Translation\0" "040904b0\0" "Key\0" "\0" "\0"s,
       L"\\StringFileInfo\\040904b0\\Key", true, L"", 0},
      {"non-ASCII value", "Translation\0" "040904b0\0" "Key\0" "\xc3\xa9t\xc3\xa9\0" "\0"s,
       L"\\StringFileInfo\\040904b0\\Key", true, L"\u00e9t\u00e9", 3},
      {"second translation", "Translation\0" "040904b0 041104b0\0" "Key\0" "Val\0"s,
       L"\\StringFileInfo\\041104b0\\Key", true, L"Val", 3},
      {"slashes", "Translation\0" "040904b0\0" "Key\0" "Val\0"s,
       L"/StringFileInfo/040904b0/Key", true, L"Val", 3},
      {"value cut off", "Translation\0" "040904b0\0" "Key\0" "Val"s,
       L"\\StringFileInfo\\040904b0\\Key", false, L"", 0},
      {"after the end", "Translation\0" "040904b0\0" "\0" "Key\0" "Val\0"s,
       L"\\StringFileInfo\\040904b0\\Key", false, L"", 0},
      {"no translation", "Key\0" "Val\0"s, L"\\StringFileInfo\\040904b0\\Key", false, L"", 0},
      {"bad translation", "Translation\0" "0409\0" "Key\0" "Val\0"s,
       L"\\VarFileInfo\\Translation", false, L"", 0},
      {"empty translation", "Translation\0" "\0"s, L"\\VarFileInfo\\Translation", true, L"", 0},
      {"two translations", "Translation\0" "040904b0 041104b0\0"s, L"\\VarFileInfo\\Translation",
       true, L"", 8},
      {"root", "Translation\0" "040904b0\0"s, L"\\", false, L"", 0},
      {"block alone", "Translation\0" "040904b0\0"s, L"\\StringFileInfo\\040904b0", false, L"", 0},
      {"nothing", std::string(), L"\\VarFileInfo\\Translation", false, L"", 0},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.name);
    VersionValue value;
    EXPECT_EQ(platform::VersionInfo_Query(row.record.data(), row.record.size(), row.block, value), row.found);
    EXPECT_EQ(value.text, row.text);
    EXPECT_EQ(value.length, row.length);
  }
}

}  // namespace
