#include "desktop/shell_exec.h"

#include <vector>

#include "base/file_stat.h"
#include "base/path.h"
#include "base/process_time.h"
#include "base/strings.h"
#include "platform/launch.h"
#include "platform/separator.h"
#include "workdir/trace_log.h"

namespace {

// The special folders searched for a program, by their Windows ids.
constexpr std::int32_t kWindowsFolder = 36;
constexpr std::int32_t kSystemFolder = 37;
constexpr std::int32_t kProgramFilesFolder = 38;

// The shell's results that this launcher produces itself.
constexpr int kFileNotFound = 2;
constexpr int kNoAssociation = 31;

wstring Text_or_empty(const wchar_t* text) { return text != nullptr ? wstring(text) : wstring(); }

// The shell's part of Execute: `item` opened with the application associated
// with it, or run when it is a program file. Results as the Windows shell
// gives them: above 32 launched, else the reason.
int Shell_Execute(const wchar_t* operation, const wchar_t* item, const wchar_t* parameters) {
  // Nothing named: there is nothing the shell could find.
  if (item == nullptr) return kFileNotFound;
  const wstring verb = Text_or_empty(operation);
  const bool explore = String_CompareNoCase(verb, L"explore");
  // "print", "edit", "find" and the like have no handler on this desktop:
  // no application is associated with them.
  if (!verb.empty() && !explore && !String_CompareNoCase(verb, L"open")) return kNoAssociation;
  if (!explore && platform::Launch_IsProgram(item)) {
    std::vector<wstring> arguments;
    // The parameters text reaches the program whole, as one argument: no
    // shell reads it, so spaces and quotes in a path stay part of it.
    if (parameters != nullptr && *parameters != L'\0') arguments.emplace_back(parameters);
    return platform::Launch_Run(item, arguments);
  }
  // A document or an address takes no parameters.
  return platform::Launch_Open(item);
}

wstring Message_of(int result, const wstring& file, const wstring& paramaters) {
  switch (result) {
    case 0:
      return L"The operating system is out of memory or resources.";
    case 2:
      return L"The specified file was not found.";
    case 3:
      return L"The specified path was not found.";
    case 5:
      return L"The operating system denied access to the specified file.";
    case 8:
      return L"There was not enough memory to complete the operation.";
    case 11:
      return L"The .EXE file is invalid (non-Win32 .EXE or error in .EXE image).";
    case 26:
      return L"A sharing violation occurred.";
    case 27:
      return L"The filename association is incomplete or invalid.";
    case 28:
      return L"The DDE transaction could not be completed because the request timed out.";
    case 29:
      return L"The DDE transaction failed.";
    case 30:
      return L"The DDE transaction could not be completed because other DDE transactions were being "
             L"processed.";
    case 31:
      return L"There is no application associated with the given file name extension.";
    case 32:
      return L"The specified dynamic-link library was not found.";
    default:
      return L"Error\n" + file + L"\n" + paramaters;
  }
}

// The first folder of PATH that holds `name` as a program; empty when none
// does. Empty entries are skipped: the current folder was looked at first.
wstring Find_on_PATH(const wstring& name) {
  for (const wstring& folder : String_Split(TGetEnv(L"PATH"), L':')) {
    if (folder.empty()) continue;
    const wstring candidate = Path_AddLastSP(folder, platform::kPathSeparator) + name;
    if (platform::Launch_IsProgram(candidate)) return candidate;
  }
  return wstring();
}

bool Is_bare_name(const wstring& name) { return name.find_first_of(L"\\/") == wstring::npos; }

}  // namespace

S_Exec::S_Exec()
    : Hwnd(nullptr),
      ShowCmd(1),
      OperationP(nullptr),
      FileP(nullptr),
      ParamatersP(nullptr),
      DirectoryP(nullptr) {}

S_Exec::~S_Exec() = default;

bool S_Exec::SetShowCmd(std::int32_t showCmd) {
  ShowCmd = showCmd;
  return true;
}

bool S_Exec::SetOperation(const wchar_t* operation) {
  Operation = operation;
  OperationP = Operation.c_str();
  return true;
}

bool S_Exec::SetFile(const wchar_t* file) {
  File = File_IsExist(file, false) ? wstring(file) : GetPathEXE(file);
  FileP = File.c_str();
  return true;
}

bool S_Exec::SetParamaters(const wchar_t* paramaters) {
  Paramaters = paramaters;
  ParamatersP = Paramaters.c_str();
  return true;
}

bool S_Exec::Execute() const {
  // With no file item the parameters text is the item, and no parameters go
  // with it.
  const int result = FileP != nullptr ? Shell_Execute(OperationP, FileP, ParamatersP)
                                      : Shell_Execute(OperationP, ParamatersP, nullptr);
  if (result > 32) return true;

  wstring message = Message_of(result, File, Paramaters);
  message += L"\nOperation=" + QuotM_Add(Operation, L'"');
  message += L"\nFile=" + QuotM_Add(File, L'"');
  message += L"\nParamaters=" + QuotM_Add(Paramaters, L'"');
  LogMessageBox(message, 0, 0);
  return false;
}

bool S_Exec::explorer_(const wchar_t* path) {
  // The desktop's opener shows a folder in the user's file manager.
  SetFile(L"xdg-open");
  SetParamaters(path);
  return Execute();
}

wstring S_Exec::GetPathEXE(const wstring& defPath) {
  // NOTE: an empty name is no program; looked up, it would name the program
  // folder itself.
  if (defPath.empty()) return defPath;
  const wchar_t sp = platform::kPathSeparator;
  wstring candidate = Path_AddLastSP(SH_GetFolderPath(kProgramFilesFolder), sp) + defPath;
  if (File_IsExist(defPath.c_str(), false)) candidate = defPath;
  if (File_IsNothing(candidate) && Is_bare_name(defPath)) {
    const wstring found = Find_on_PATH(defPath);
    if (!found.empty()) candidate = found;
  }
  if (!File_IsNothing(candidate)) return candidate;

  if (Path_GetExtLow(defPath) == L"exe") {
    const wstring name = Path_GetName(defPath);
    const wstring in_windows = Path_AddLastSP(SH_GetFolderPath(kWindowsFolder), sp) + name;
    const wstring in_system = Path_AddLastSP(SH_GetFolderPath(kSystemFolder), sp) + name;
    if (!File_IsNothing(in_windows)) {
      candidate = in_windows;
    } else if (!File_IsNothing(in_system)) {
      candidate = in_system;
    }
    if (!File_IsNothing(candidate)) return candidate;
  }
  return defPath;
}

int LogMessageBox(const wstring& text, std::uint16_t /*nType*/, std::uint16_t /*nIDHelp*/) {
  return Vantre_Trace(wstring(text.c_str())) ? 1 : 0;
}
