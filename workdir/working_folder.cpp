#include "workdir/working_folder.h"

#include "base/path.h"
#include "base/process_time.h"
#include "base/strings.h"
#include "platform/separator.h"
#include "workdir/file_version.h"
#include "workdir/temp_folder.h"

namespace {

constexpr wchar_t kSep = platform::kPathSeparator;
constexpr std::int32_t kCommonDocuments = 46;
constexpr wchar_t kSuiteFolder[] = L"Vantre.tmp";

wstring Join(const wstring& folder, const wstring& name) { return Path_AddLastSP(folder, kSep) + name; }

// A program folder, and the folder below which each of its levels must be
// the user's own.
struct Program_folder {
  wstring top;
  wstring path;  // with a trailing separator
};

Program_folder Primary_folder() {
  const wstring running = Get_module_name(nullptr);
  const wstring title = Program_Title(Path_GetName(running), Get_Self_Original());
  Program_folder out;
  const wstring suite = Join(GetTmpPath(out.top), kSuiteFolder);
  out.path = Path_AddLastSP(Join(suite, title), kSep);
  return out;
}

// NOTE: named after the running file itself, not its original name.
Program_folder Fallback_folder() {
  Program_folder out;
  out.top = SH_GetFolderPath(kCommonDocuments);
  const wstring suite = Join(Join(Join(out.top, L"Temp"), L"Temp"), kSuiteFolder);
  out.path = Path_AddLastSP(Join(suite, Path_GetTitle(Get_module_name(nullptr))), kSep);
  return out;
}

bool Create_private(const Program_folder& folder) { return Folder_CreatePrivate(folder.top, folder.path); }

// The program folder in use, and whether it was made (the fallback is not
// made here).
Program_folder Current_program_folder() {
  const Program_folder primary = Primary_folder();
  if (Create_private(primary)) return primary;
  return Fallback_folder();
}

}  // namespace

wstring Program_Title(const wstring& running_name, const wstring& original_name) {
  const bool use_original = !original_name.empty() && !String_CompareNoCase(original_name, running_name);
  const wstring& chosen = use_original ? original_name : running_name;
  if (chosen.empty()) return Now_Format(L"%Y%m%d");
  return Path_GetTitle(chosen);
}

wstring Get_Vantre_tmp_Path() { return Primary_folder().path; }

wstring Get_Vantre_tmp() { return Current_program_folder().path; }

wstring Get_Vantre_tmp_date() {
  const wstring day = Now_Format(L"%Y%m%d");
  Program_folder dated = Current_program_folder();
  dated.path = Path_AddLastSP(Join(dated.path, day), kSep);
  if (Create_private(dated)) return dated.path;
  return Path_AddLastSP(Get_Vantre_tmp(), kSep);
}

wstring Get_Vantre_tmp_name(const wstring& name, bool& is_private) {
  wstring top;
  const wstring folder = Join(Join(GetTmpPath(top), kSuiteFolder), name);
  is_private = Folder_CreatePrivate(top, folder);
  return folder;
}

wstring Get_Vantre_tmp_name(const wstring& name) {
  bool is_private = false;
  return Get_Vantre_tmp_name(name, is_private);
}

wstring Get_Self_Original() {
  static wstring Self_original;
  static bool Yet = true;
  if (Yet) {
    const wstring path = Get_module_name(nullptr);
    Self_original = Get_OriginalFilename(path);
    if (Self_original.empty()) Self_original = Path_GetName(path);
    Yet = false;
  }
  return Self_original;
}

wstring Get_OriginalFilename(const wstring& exe_path) { return FVersion(exe_path).GetOriginalFilename(); }
