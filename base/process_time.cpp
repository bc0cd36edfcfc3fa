#include "base/process_time.h"

#include <cwchar>

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/process.h"

namespace {

// The platform buffers' sizes in characters, terminator included; a result
// that would not fit is an empty result.
constexpr std::size_t kPathBuffer = 260;
constexpr std::size_t kFolderPathBuffer = 530;
constexpr std::size_t kUserNameBuffer = 257;
constexpr std::size_t kTimeBuffer = 256;

wstring FitOrEmpty(wstring text, std::size_t buffer) { return text.size() < buffer ? text : wstring(); }

// Allows the empty-argument-list warning once per process.
bool g_warn_empty_arguments = true;

}  // namespace

wstring TGetEnv(const wstring& var) { return platform::Env_Get(var).value_or(wstring()); }

std::vector<wstring>* get_argv() {
  static std::vector<wstring> arguments;
  if (arguments.empty()) {
    if (const std::vector<wstring>* stored = platform::Process_Arguments()) {
      arguments = *stored;
    }
  }
  return &arguments;
}

std::vector<wstring> get_arg() { return *get_argv(); }

wstring Get_module_name(void* /*hModule*/) {
  wstring path = platform::Process_ExecutablePath();
  const std::vector<wstring> arguments = get_arg();
  if (!arguments.empty()) {
    if (path.empty()) {
      path = arguments.front();
    } else if (path != arguments.front()) {
      platform::Console_WriteLine(platform::ConsoleStream::Err, path);
      platform::Console_WriteLine(platform::ConsoleStream::Err, arguments.front());
    }
  } else if (g_warn_empty_arguments) {
    platform::Console_WriteLine(platform::ConsoleStream::Err, L"::get_arv() ... empty");
    platform::Console_WriteLine(platform::ConsoleStream::Err, path);
    g_warn_empty_arguments = false;
  }
  return Get_abs_path(path.c_str());
}

wstring Get_abs_path(const wchar_t* path_) { return path_; }

wstring GetCWD() { return FitOrEmpty(platform::Process_CurrentFolder(), kPathBuffer); }

wstring GetLngPathName(const wstring& fileName) { return fileName; }

wstring SH_GetFolderPath(void* /*hwnd*/, std::int32_t csidl, void* /*hToken*/, std::uint32_t /*dwFlags*/) {
  return FitOrEmpty(platform::Process_SpecialFolder(csidl), kFolderPathBuffer);
}

wstring SH_GetFolderPath(std::int32_t csidl) { return SH_GetFolderPath(nullptr, csidl, nullptr, 0); }

wstring Get_user_name() {
  wstring name = FitOrEmpty(platform::Process_UserName(), kUserNameBuffer);
  if (name.empty()) name = TGetEnv(L"USER");
  if (name.empty()) name = TGetEnv(L"USERNAME");
  return name;
}

wstring Time_Format(const std::tm& stm, const wchar_t* fmt) {
  wchar_t buffer[kTimeBuffer] = {};
  // NOTE: one character fewer than the buffer holds is offered, so the
  // longest text is 254 characters.
  const std::size_t written = std::wcsftime(buffer, kTimeBuffer - 1, fmt, &stm);
  return written == 0 ? wstring() : wstring(buffer);
}

wstring Time_Format(std::int64_t tim_v, const wchar_t* fmt) {
  std::tm local{};
  if (!platform::Clock_LocalTime(tim_v, local)) return {};
  return Time_Format(local, fmt);
}

wstring Now_Format(const wchar_t* fmt) { return Time_Format(platform::Clock_Now(), fmt); }
