#include "workdir/file_version.h"

#include "base/convert.h"
#include "base/file_stat.h"
#include "platform/console.h"
#include "platform/version_info.h"

namespace {

void Diagnose(const wstring& text) { platform::Console_WriteLine(platform::ConsoleStream::Err, text); }

}  // namespace

FVersion::FVersion(const wstring& file) { SetFile(file); }

bool FVersion::SetFile(const wstring& file) { return SetFile(file.c_str()); }

bool FVersion::SetFile(const wchar_t* file) {
  VerFile = file;
  if (VerFile.empty()) return false;
  if (File_IsNothing(VerFile)) return false;
  return GetInfo();
}

bool FVersion::GetInfo() {
  VerHandle = 0;
  VerSize = 0;
  // NOTE: a record of an earlier file must not answer for this one.
  VerBlock.clear();
  VerData.clear();
  VerSize = platform::VersionInfo_GetSize(VerFile, VerHandle);
  if (VerSize == 0) {
    Diagnose(L"::GetFileVersionInfoSize ... 0");
    return false;
  }
  VerData.assign(2 * static_cast<std::size_t>(VerSize), '\0');
  if (!platform::VersionInfo_Read(VerFile, VerHandle, VerSize, VerData.data())) {
    Diagnose(L"::GetFileVersionInfo ... false");
    return false;
  }
  platform::VersionValue value;
  if (!platform::VersionInfo_Query(VerData.data(), VerData.size(), L"\\VarFileInfo\\Translation", value)) {
    Diagnose(L"::VerQueryValue ... false");
    return false;
  }
  if (value.length == 0 || value.translations.empty()) {
    Diagnose(L"::VerQueryValue   len = 0");
    return false;
  }
  const platform::VersionTranslation& first = value.translations.front();
  VerBlock = L"\\StringFileInfo\\" + u32to0t(first.language, 16, 4) + u32to0t(first.code_page, 16, 4) + L"\\";
  return true;
}

wstring FVersion::GetInfo(const wstring& name) {
  wstring result;
  if (VerBlock.empty() && !GetInfo()) return result;
  platform::VersionValue value;
  if (!platform::VersionInfo_Query(VerData.data(), VerData.size(), VerBlock + name, value)) {
    Diagnose(L"::VerQueryValue ...   " + name);
    return result;
  }
  if (value.length == 0) {
    Diagnose(L"::VerQueryValue len=0 " + name);
    return result;
  }
  return value.text;
}

wstring FVersion::GetComments() { return GetInfo(L"Comments"); }
wstring FVersion::GetCompanyName() { return GetInfo(L"CompanyName"); }
wstring FVersion::GetFileDescription() { return GetInfo(L"FileDescription"); }
wstring FVersion::GetFileVersion() { return GetInfo(L"FileVersion"); }
wstring FVersion::GetInternalName() { return GetInfo(L"InternalName"); }
wstring FVersion::GetLegalCopyright() { return GetInfo(L"LegalCopyright"); }
wstring FVersion::GetLegalTrademarks() { return GetInfo(L"LegalTrademarks"); }
wstring FVersion::GetOriginalFilename() { return GetInfo(L"OriginalFilename"); }
wstring FVersion::GetPrivateBuild() { return GetInfo(L"PrivateBuild"); }
wstring FVersion::GetProductName() { return GetInfo(L"ProductName"); }
wstring FVersion::GetProductVersion() { return GetInfo(L"ProductVersion"); }
wstring FVersion::GetSpecialBuild() { return GetInfo(L"SpecialBuild"); }
