#include "workdir/trace_log.h"

#include <cstdio>

#include "base/convert.h"
#include "base/file_stat.h"
#include "base/path.h"
#include "base/process_time.h"
#include "base/strings.h"
#include "platform/separator.h"
#include "workdir/file_output.h"
#include "workdir/removal_list.h"
#include "workdir/temp_folder.h"
#include "workdir/working_folder.h"

namespace {

constexpr wchar_t kSep = platform::kPathSeparator;
constexpr std::int32_t kKeepDays = 10;
constexpr wchar_t kTimeFormat[] = L"%Y/%m/%d %H:%M:%S";

// Every carriage return and every line feed becomes one tab.
wstring One_line(const wstring& text) { return String_CrLfToSP(text.c_str(), L"\t\t"); }

v_char Header_record() {
  const wstring lines = Get_user_name() + L"\r\n" + GetTmpPath() + L"\r\n" + GetCWD() + L"\r\n" +
                        Get_module_name(nullptr) + L"\r\n";
  v_char bytes = {'\xFF', '\xFE'};
  const v_char record = To_v_char(Now_Format(kTimeFormat) + L"\t" + One_line(lines) + L"\r\n");
  bytes.insert(bytes.end(), record.begin(), record.end());
  return bytes;
}

}  // namespace

bool Vantre_Trace(const wstring& tStr_) {
  const wstring record = Now_Format(kTimeFormat) + L"\t" + Path_GetName(Get_module_name(nullptr)) + L"\t" +
                         One_line(tStr_) + L"\r\n";
  return Vantre_Trace(To_v_char(record));
}

bool Vantre_Trace(const v_char& text) {
  static bool ClearYet = true;
  const bool sweep = ClearYet;
  ClearYet = false;
  const wstring hour = Now_Format(L"%m%d_%H");
  bool is_private = false;
  const wstring trace = Path_AddLastSP(Get_Vantre_tmp_name(L"_trace_", is_private), kSep);
  // NOTE: a folder someone else can change could be a link into the user's
  // own files, whose old ".txt" files the sweep would then delete.
  if (sweep && is_private) Remove_File_later((trace + L".txt").c_str(), kKeepDays);
  const wstring folder = Path_AddLastSP(trace + L"WC", kSep);
  if (!is_private || !Folder_CreatePrivate(trace, folder)) return false;
  if (sweep) Remove_File_later((folder + L".txt").c_str(), kKeepDays);

  const wstring path = folder + hour + L".txt";
  std::FILE* stream = Open_File(path.c_str(), L"ab", 10);
  if (stream == nullptr) return false;
  v_char bytes;
  if (F_Stat(path.c_str()).GetSize() == 0) bytes = Header_record();
  bytes.insert(bytes.end(), text.begin(), text.end());
  // One write call for the whole of it: other processes may append to the
  // same file at the same time.
  std::setvbuf(stream, nullptr, _IONBF, 0);
  bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
  if (std::fclose(stream) != 0) written = false;
  return written;
}
