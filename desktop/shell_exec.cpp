#include "desktop/shell_exec.h"

#include "platform/launch.h"

// Stand-in: a plain launch of the opener; failures are not yet logged.
S_Exec::S_Exec() = default;
bool S_Exec::SetShowCmd(int showCmd) {
  ShowCmd = showCmd;
  return true;
}
bool S_Exec::SetOperation(const wchar_t* operation) {
  Operation = operation;
  return true;
}
bool S_Exec::SetFile(const wchar_t* file) {
  File = file;
  return true;
}
bool S_Exec::SetParamaters(const wchar_t* paramaters) {
  Paramaters = paramaters;
  return true;
}
bool S_Exec::Execute() const { return platform::Launch_Open(File.empty() ? Paramaters : File) > 32; }
bool S_Exec::explorer_(const wchar_t* path) {
  SetFile(L"xdg-open");
  SetParamaters(path);
  return Execute();
}
