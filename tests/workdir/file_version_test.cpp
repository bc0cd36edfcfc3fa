#include "workdir/file_version.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/fd_capture.h"
#include "tests/workdir/workdir_test_support.h"

namespace {

using namespace workdir_test;
using namespace std::string_literals;

// Shows the string-table prefix a load chose.
class InspectedVersion : public FVersion {
 public:
  using FVersion::FVersion;
  const std::wstring& Block() const { return VerBlock; }
};

class FVersionTest : public ScratchTest {
 protected:
  // A program whose version record is `record`; empty when it cannot be
  // made here.
  std::wstring ProgramWithRecord(const std::string& name, const std::string& record) {
    const fs::path bytes = root_ / (name + ".rec");
    WriteBytes(bytes, record);
    const fs::path program = root_ / name;
    const std::string command = "objcopy --add-section .foldweb_version='" + bytes.string() + "' /bin/true '" +
                                program.string() + "' 2>/dev/null";
    return std::system(command.c_str()) == 0 ? W(program) : std::wstring();
  }
};

TEST_F(FVersionTest, TheBuiltProgramAnswersEveryKeyItHolds) {
  const char* binary = std::getenv("FOLDWEB_BINARY");
  if (binary == nullptr || *binary == '\0') GTEST_SKIP() << "FOLDWEB_BINARY is set by ctest";
  fs::copy_file(binary, root_ / "renamed.bin");
  FdCapture err(2);
  InspectedVersion version(W(root_ / "renamed.bin"));
  EXPECT_EQ(version.Block(), L"\\StringFileInfo\\040904b0\\");
  EXPECT_EQ(version.GetOriginalFilename(), L"foldweb");
  EXPECT_EQ(version.GetInternalName(), L"foldweb");
  EXPECT_EQ(version.GetProductName(), L"foldweb");
  EXPECT_FALSE(version.GetFileVersion().empty());
  EXPECT_FALSE(version.GetCompanyName().empty());
  EXPECT_FALSE(version.GetFileDescription().empty());
  EXPECT_FALSE(version.GetLegalCopyright().empty());
  EXPECT_EQ(version.GetProductVersion(), version.GetFileVersion());
  EXPECT_EQ(err.Take(), "");
  // Keys the record does not hold say so, one line each.
  FdCapture missing(2);
  EXPECT_EQ(version.GetComments(), L"");
  EXPECT_EQ(version.GetSpecialBuild(), L"");
  EXPECT_EQ(missing.Take(), "::VerQueryValue ...   Comments\n::VerQueryValue ...   SpecialBuild\n");
}

TEST_F(FVersionTest, ProgramsWithoutTheRecordOrItsParts) {
  const std::wstring no_translation = ProgramWithRecord("bad", "Translation\0" "zz\0" "OriginalFilename\0" "x\0"s);
  if (no_translation.empty()) GTEST_SKIP() << "objcopy is not available";
  const struct {
    const char* name;
    std::wstring file;
    const char* construction;  // what loading writes
    const char* query;         // what GetOriginalFilename writes
  } cases[] = {
      {"no record", L"/proc/self/exe", "::GetFileVersionInfoSize ... 0\n", "::GetFileVersionInfoSize ... 0\n"},
      {"a translation that is no number", no_translation, "::VerQueryValue ... false\n",
       "::VerQueryValue ... false\n"},
      {"no translation value", ProgramWithRecord("empty", "Translation\0" "\0" "OriginalFilename\0" "x\0"s),
       "::VerQueryValue   len = 0\n", "::VerQueryValue   len = 0\n"},
      {"an empty value", ProgramWithRecord("blank", "Translation\0" "040904b0\0" "OriginalFilename\0" "\0"s), "",
       "::VerQueryValue len=0 OriginalFilename\n"},
      {"no such key", ProgramWithRecord("nokey", "Translation\0" "040904b0\0" "ProductName\0" "p\0"s), "",
       "::VerQueryValue ...   OriginalFilename\n"},
      // Nothing is loaded; the query tries the load itself.
      {"no name", L"", "", "::GetFileVersionInfoSize ... 0\n"},
      {"no such file", W(root_ / "missing"), "", "::GetFileVersionInfoSize ... 0\n"},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.name);
    FdCapture load(2);
    FVersion version(row.file);
    EXPECT_EQ(load.Take(), row.construction);
    FdCapture query(2);
    EXPECT_EQ(version.GetOriginalFilename(), L"");
    EXPECT_EQ(query.Take(), row.query);
  }
}

TEST_F(FVersionTest, TheFirstTranslationNamesTheBlockInLowerCase) {
  const std::wstring program = ProgramWithRecord(
      "viewer", "Translation\0" "041104B0 040904b0\0" "OriginalFilename\0" "viewer.exe\0" "\0"s);
  if (program.empty()) GTEST_SKIP() << "objcopy is not available";
  InspectedVersion version(program);
  EXPECT_EQ(version.Block(), L"\\StringFileInfo\\041104b0\\");
  EXPECT_EQ(version.GetOriginalFilename(), L"viewer.exe");
}

TEST_F(FVersionTest, ALaterFileWithoutRecordDoesNotAnswerWithTheEarlierOne) {
  const std::wstring program =
      ProgramWithRecord("first", "Translation\0" "040904b0\0" "OriginalFilename\0" "first\0"s);
  if (program.empty()) GTEST_SKIP() << "objcopy is not available";
  FVersion version(program);
  ASSERT_EQ(version.GetOriginalFilename(), L"first");
  FdCapture err(2);
  EXPECT_FALSE(version.SetFile(L"/proc/self/exe"));
  EXPECT_EQ(version.GetOriginalFilename(), L"");
  err.Take();
}

}  // namespace
