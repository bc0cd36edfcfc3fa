#include "workdir/file_output.h"

#include <algorithm>

#include "base/convert.h"
#include "base/file_stat.h"
#include "base/path.h"
#include "base/progress.h"
#include "platform/clock.h"
#include "workdir/temp_folder.h"

namespace {

constexpr std::int64_t kOpenInterval = 100;  // ms between open attempts
constexpr std::uint32_t kRewriteInterval = 10;  // ms before a rewrite
constexpr std::int32_t kRewriteLimit = 10;

}  // namespace

bool SaveUTF8(const wchar_t* pathName, const wstring& tStr, bool with_BOM) {
  v_char bytes = To_v_char(To_UTF8(tStr.c_str()));
  if (with_BOM) bytes.insert(bytes.begin(), {'\xEF', '\xBB', '\xBF'});
  return v_c_Save(pathName, std::move(bytes), 0);
}

bool v_c_Save(const wchar_t* pathName, v_char buff, std::int32_t count) {
  std::FILE* stream = Open_File(pathName, L"wb", 10);
  if (stream == nullptr) return false;
  // NOTE: a short write (a full disk) or a failed close must not pass for a
  // saved file: the caller would keep or serve a cut page.
  bool written = true;
  if (!buff.empty()) written = std::fwrite(buff.data(), 1, buff.size(), stream) == buff.size();
  if (std::fclose(stream) != 0) written = false;
  if (!written) return false;
  if (buff.empty()) return true;
  if (F_Stat(pathName).GetSize() != 0) return true;
  if (count > kRewriteLimit) return false;
  platform::Clock_Sleep(kRewriteInterval);
  return v_c_Save(pathName, std::move(buff), count + 1);
}

std::FILE* Open_File(const wchar_t* pathName, const wchar_t* nMode, std::int32_t wait_sec) {
  const wstring name = pathName;
  if (name.empty()) return nullptr;
  const std::int64_t attempts = std::max<std::int64_t>(1, std::int64_t{wait_sec} * 1000 / kOpenInterval);
  MessageBase::NestLevel = 0;
  MessageCon progress(L"::Open_File ...", static_cast<std::uint32_t>(std::min<std::int64_t>(attempts, 0xFFFFFFFF)));
  std::FILE* stream = nullptr;
  for (std::int64_t i = 0; i < attempts; ++i) {
    platform::OpenFailure why = platform::OpenFailure::None;
    stream = TFOpen(name, nMode, why);
    if (stream != nullptr || why == platform::OpenFailure::Lasting) break;
    platform::Clock_Sleep(static_cast<std::uint32_t>(kOpenInterval));
    progress.SetBarInc();
  }
  progress.Reset();
  return stream;
}

std::FILE* TFOpen(const wstring& fileName, const wstring& mode, platform::OpenFailure& why) {
  why = platform::OpenFailure::Lasting;
  if (fileName.empty()) return nullptr;
  return platform::Files_Open(fileName, mode, why);
}

std::FILE* TFOpen(const wstring& fileName, const wstring& mode) {
  platform::OpenFailure why = platform::OpenFailure::None;
  return TFOpen(fileName, mode, why);
}

bool File_Copy(const wchar_t* src, const wchar_t* dst, bool bFailIfExists) {
  if (!File_IsExist(src, false)) return false;
  if (bFailIfExists && !File_IsNothing(dst)) return false;
  const wstring folder = Path_GetDir(dst);
  if (Folder_IsNothing(folder) && !Folder_Create(folder)) return false;
  return platform::Files_Copy(src, dst, bFailIfExists);
}
