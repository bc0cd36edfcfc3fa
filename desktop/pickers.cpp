#include "desktop/pickers.h"

#include <vector>

#include "base/convert.h"
#include "base/file_stat.h"
#include "base/path.h"
#include "base/strings.h"
#include "platform/console.h"
#include "platform/dialog.h"

namespace {

// The folder browser's notification that its dialog is being set up.
constexpr std::uint32_t kBrowseInitialized = 1;

constexpr const wchar_t* kDefaultFilter = L"All Files (*.*)|*.*||";

// A dialog that could not be shown: its code, as the user may report it,
// and what to do instead.
void Report_dialog_failure(std::uint32_t code, const wchar_t* what) {
  platform::Console_WriteLine(platform::ConsoleStream::Err, To_tstring(code, 16));
  platform::Console_WriteLine(platform::ConsoleStream::Err,
                              wstring(L"foldweb: no ") + what +
                                  L" dialog could be shown (it needs zenity or kdialog and a display);"
                                  L" name the folder to serve: foldweb FOLDER");
}

// The description and pattern pairs of a filter list whose entries are
// ended by NUL, the list by an empty entry.
std::vector<platform::DialogFilter> Filter_pairs(const wstring& list) {
  std::vector<platform::DialogFilter> pairs;
  std::size_t at = 0;
  for (;;) {
    const std::size_t description_end = list.find(L'\0', at);
    if (description_end == wstring::npos || description_end == at) break;
    const std::size_t pattern_end = list.find(L'\0', description_end + 1);
    if (pattern_end == wstring::npos) break;
    pairs.push_back({list.substr(at, description_end - at),
                     list.substr(description_end + 1, pattern_end - description_end - 1)});
    at = pattern_end + 1;
  }
  return pairs;
}

}  // namespace

wstring ask_path(bool is_fold) {
  static wstring buf;
  wstring result;
  void* const owner = GetConsoleHwnd();
  buf = W_get_remote_name(buf);
  if (is_fold) {
    buf = Browse_Folder(owner, buf.c_str(), L"");
  } else {
    buf = FD_GetOpenFile(owner, buf, kDefaultFilter, L"Open");
  }
  if (!buf.empty()) result = buf;
  return result;
}

wstring Browse_Folder(void* /*hwnd*/, const wchar_t* init_fold_, const wchar_t* title) {
  const wstring start = F_Stat::IsDirectory(init_fold_) ? wstring(init_fold_) : Path_GetDir(init_fold_);
  platform::DialogRequest dialog;
  dialog.kind = platform::DialogKind::Folder;
  dialog.title = title;
  // The desktop's dialog program sends no notifications of its own: the
  // browser is told of its set-up here, before it is shown.
  SH_BrowseCallback(&dialog, kBrowseInitialized, 0, reinterpret_cast<std::intptr_t>(start.c_str()));
  const platform::DialogAnswer answer = platform::Dialog_Show(dialog);
  if (answer.outcome == platform::DialogOutcome::Failed) {
    // NOTE: reported as the open-file dialog's failure is: with no message
    // a folder browser that cannot be shown would look like a cancel.
    Report_dialog_failure(answer.error_code, L"folder");
    return wstring();
  }
  if (answer.outcome != platform::DialogOutcome::Chosen) return wstring();
  return SH_GetPathFromIDList(answer.path.c_str());
}

std::int32_t SH_BrowseCallback(void* hwnd, std::uint32_t uMsg, std::intptr_t /*lParam*/,
                               std::intptr_t lpData) {
  if (uMsg != kBrowseInitialized) return 0;
  if (hwnd != nullptr && lpData != 0) {
    static_cast<platform::DialogRequest*>(hwnd)->start_folder = reinterpret_cast<const wchar_t*>(lpData);
  }
  return 1;
}

wstring SH_GetPathFromIDList(const wchar_t* pidl) { return pidl != nullptr ? wstring(pidl) : wstring(); }

wstring FD_GetOpenFile(void* /*hwnd*/, const wstring& default_name, const wstring& filter_,
                       const wstring& title_) {
  wstring start;
  if (!default_name.empty()) {
    start = F_Stat::IsDirectory(default_name.c_str()) ? default_name : Path_GetDir(default_name);
    if (File_IsNothing(start)) start.clear();
  }
  const wstring list = String_Change(filter_.empty() ? wstring(kDefaultFilter) : filter_, L'|', L'\0');

  platform::DialogRequest dialog;
  dialog.kind = platform::DialogKind::OpenFile;
  dialog.title = title_;
  dialog.start_folder = start;
  dialog.filters = Filter_pairs(list);
  const platform::DialogAnswer answer = platform::Dialog_Show(dialog);
  if (answer.outcome == platform::DialogOutcome::Chosen) return wstring(answer.path.c_str());
  // A cancel has no code; only a real failure is reported.
  if (answer.error_code != 0) Report_dialog_failure(answer.error_code, L"file");
  return wstring();
}

void* GetConsoleHwnd() { return nullptr; }

wstring W_get_remote_name(const wstring& path_) { return path_; }
