#include "platform/process.h"

#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/os_text.h"

namespace platform {

namespace {

std::vector<std::wstring>& StoredArguments() {
  static std::vector<std::wstring> arguments;
  return arguments;
}

bool g_arguments_stored = false;

// Set by whichever of the two ways out comes first: wmain returning, or a
// terminating signal. The other then leaves the exit to it, so the exit
// handlers never run twice at once.
std::atomic<bool> g_exiting{false};

// SIGINT, SIGTERM and SIGHUP are blocked in every thread and taken here, on
// a thread of their own, where calling exit() is safe (a signal handler may
// not run exit handlers).
void WaitForEndSignal(sigset_t set) {
  for (;;) {
    int signal_number = 0;
    if (::sigwait(&set, &signal_number) != 0) continue;
    if (!g_exiting.exchange(true)) std::exit(0);
  }
}

void InstallSignalHandling() {
  static bool installed = false;
  if (installed) return;
  installed = true;

  // A client gone away, or a write past the file-size limit (RLIMIT_FSIZE),
  // must fail that one call (EPIPE, EFBIG), not end the server.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  ::sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGPIPE, &ignore, nullptr);
  ::sigaction(SIGXFSZ, &ignore, nullptr);

  // Blocked before any other thread exists, so every later thread inherits
  // the mask and only the waiting thread ever receives these signals.
  sigset_t set;
  ::sigemptyset(&set);
  ::sigaddset(&set, SIGINT);
  ::sigaddset(&set, SIGTERM);
  ::sigaddset(&set, SIGHUP);
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::thread(WaitForEndSignal, set).detach();
}

}  // namespace

const std::vector<std::wstring>* Process_Arguments() {
  return g_arguments_stored ? &StoredArguments() : nullptr;
}

int Process_RunWideMain(int argc, char** argv, int (*wmain)(int, wchar_t**)) {
  std::vector<std::wstring>& stored = StoredArguments();
  stored.clear();
  for (int i = 0; argv != nullptr && i < argc && argv[i] != nullptr; ++i) {
    stored.push_back(OsText_Decode(argv[i]));
  }
  g_arguments_stored = true;

  InstallSignalHandling();

  // wmain gets copies of its own that it may change.
  std::vector<std::wstring> copies = stored;
  std::vector<wchar_t*> pointers;
  pointers.reserve(copies.size() + 1);
  for (std::wstring& argument : copies) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  const int result = wmain(static_cast<int>(copies.size()), pointers.data());

  if (g_exiting.exchange(true)) {
    // A signal's exit is already running the exit handlers; a second exit
    // from here would run them again at the same time.
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
  }
  return result;
}

std::optional<std::wstring> Env_Get(const std::wstring& name) {
  if (name.empty() || name.find_first_of(std::wstring(L"=\0", 2)) != std::wstring::npos) {
    return std::nullopt;
  }
  const char* value = std::getenv(OsText_Encode(name).c_str());
  if (value == nullptr) return std::nullopt;
  return OsText_Decode(value);
}

std::wstring Process_ExecutablePath() {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<std::size_t>(n));
      return OsText_Decode(buffer);
    }
    // The link may have been cut short: try again with more room.
    if (buffer.size() >= 1024 * 1024) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::wstring Process_CurrentFolder() {
  std::string buffer(256, '\0');
  for (;;) {
    if (::getcwd(buffer.data(), buffer.size()) != nullptr) {
      return OsText_Decode(buffer.c_str());
    }
    if (errno != ERANGE || buffer.size() >= 1024 * 1024) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::wstring Process_UserName() {
  long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::string buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 1024, '\0');
  for (;;) {
    struct passwd record {};
    struct passwd* found = nullptr;
    const int error = ::getpwuid_r(::geteuid(), &record, buffer.data(), buffer.size(), &found);
    if (error == 0) {
      return found != nullptr && found->pw_name != nullptr ? OsText_Decode(found->pw_name) : std::wstring();
    }
    if (error != ERANGE || buffer.size() >= 1024 * 1024) return {};
    buffer.resize(buffer.size() * 2);
  }
}

namespace {

// A folder path without its trailing separators; "/" itself stays.
std::wstring WithoutTrailingSlashes(std::wstring folder) {
  while (folder.size() > 1 && folder.back() == L'/') folder.pop_back();
  return folder;
}

// The per-user cache folder of the XDG base directories: $XDG_CACHE_HOME
// when it holds an absolute path (the rules say a relative one is to be
// ignored), else $HOME/.cache.
std::wstring CacheFolder() {
  const auto xdg = Env_Get(L"XDG_CACHE_HOME");
  if (xdg && !xdg->empty() && xdg->front() == L'/') return WithoutTrailingSlashes(*xdg);
  const auto home = Env_Get(L"HOME");
  if (!home || home->empty()) return {};
  std::wstring folder = WithoutTrailingSlashes(*home);
  if (folder != L"/") folder += L'/';
  return folder + L".cache";
}

}  // namespace

std::wstring Process_SpecialFolder(int csidl) {
  switch (csidl) {
    case 46:
      return CacheFolder();
    case 36:
      return L"/usr";
    case 37:
      return L"/usr/bin";
    case 38:
      return L"/opt";
    default:
      return {};
  }
}

}  // namespace platform
