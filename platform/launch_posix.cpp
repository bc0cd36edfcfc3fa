#include "platform/launch.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/os_text.h"
#include "platform/spawn_posix.h"

namespace platform {

namespace {

// The shell's results.
constexpr int kLaunched = 33;
constexpr int kNoAssociation = 31;
constexpr int kFileNotFound = 2;
constexpr int kGenericError = 1;
constexpr int kAccessDenied = 5;
constexpr int kNoMemory = 8;
constexpr int kInvalidProgram = 11;

// How long an opener may run before it counts as launched: xdg-open of an
// already running browser ends at once; one that starts the browser itself
// may stay for the browser's whole life.
constexpr auto kOpenerWait = std::chrono::seconds(2);
constexpr auto kPollInterval = std::chrono::milliseconds(20);

// Starts `words` (the program, then its arguments) with /dev/null for its
// standard streams, in a process group of its own: an interrupt typed at the
// server's terminal does not reach the browser. Returns the child's id, or
// minus the system's error number when it could not be started.
pid_t StartDetached(std::vector<std::string> words, bool search_path) {
  SpawnRequest request;
  request.words = std::move(words);
  request.search_path = search_path;
  request.own_group = true;
  return Spawn(request);
}

// Reaps the opener whenever it ends, so no zombie is left behind.
void ReapLater(pid_t pid) {
  try {
    std::thread([pid] {
      while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    // No thread to spare: the opener stays a zombie until the server ends.
  }
}

int ResultOfExit(int status) {
  if (!WIFEXITED(status)) return kGenericError;
  switch (WEXITSTATUS(status)) {
    case 0:
      return kLaunched;
    case 2:
      return kFileNotFound;
    case 3:
      return kNoAssociation;
    default:
      return kGenericError;
  }
}

bool HoldsNul(const std::wstring& text) { return text.find(L'\0') != std::wstring::npos; }

// Waits a short while for a started child: its early exit status tells
// whether it failed; one still running then counts as launched and is
// reaped later.
int AwaitStart(pid_t pid) {
  const auto deadline = std::chrono::steady_clock::now() + kOpenerWait;
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) return ResultOfExit(status);
    if (done < 0 && errno != EINTR) return kLaunched;  // reaped elsewhere
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(kPollInterval);
  }
  ReapLater(pid);
  return kLaunched;
}

// The shell's result for a program that could not be started.
int ResultOfStartError(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return kFileNotFound;
    case EACCES:
    case EPERM:
      return kAccessDenied;
    case ENOEXEC:
      return kInvalidProgram;
    case ENOMEM:
    case EAGAIN:
      return kNoMemory;
    default:
      return kGenericError;
  }
}

}  // namespace

int Launch_Open(const std::wstring& target) {
  // An argument cannot carry a NUL; cutting the target there would open
  // something else.
  if (HoldsNul(target)) return kGenericError;
  const pid_t pid = StartDetached({"xdg-open", OsText_Encode(target)}, true);
  if (pid < 0) return kNoAssociation;
  return AwaitStart(pid);
}

int Launch_Run(const std::wstring& program, const std::vector<std::wstring>& arguments) {
  if (program.empty() || HoldsNul(program)) return kFileNotFound;
  std::vector<std::string> words = {OsText_Encode(program)};
  for (const std::wstring& argument : arguments) {
    if (HoldsNul(argument)) return kGenericError;
    words.push_back(OsText_Encode(argument));
  }
  const pid_t pid = StartDetached(std::move(words), false);
  if (pid < 0) return ResultOfStartError(-pid);
  return AwaitStart(pid);
}

bool Launch_IsProgram(const std::wstring& path) {
  if (path.empty() || HoldsNul(path)) return false;
  const std::string encoded = OsText_Encode(path);
  struct stat st {};
  return ::stat(encoded.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(encoded.c_str(), X_OK) == 0;
}

}  // namespace platform
