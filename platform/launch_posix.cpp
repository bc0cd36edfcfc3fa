#include "platform/launch.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <system_error>
#include <thread>

#include "platform/os_text.h"

extern char** environ;

namespace platform {

namespace {

// The shell's results.
constexpr int kLaunched = 33;
constexpr int kNoAssociation = 31;
constexpr int kFileNotFound = 2;
constexpr int kGenericError = 1;

// How long an opener may run before it counts as launched: xdg-open of an
// already running browser ends at once; one that starts the browser itself
// may stay for the browser's whole life.
constexpr auto kOpenerWait = std::chrono::seconds(2);
constexpr auto kPollInterval = std::chrono::milliseconds(20);

// Starts the opener with /dev/null for its standard streams, in a process
// group of its own (an interrupt typed at the server's terminal does not
// reach the browser), with default signal handling and an empty signal mask:
// the server's blocked and ignored signals would otherwise pass on to it.
// Returns the child's id, or -1 when it could not be started.
pid_t StartOpener(const std::string& target) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  if (::posix_spawn_file_actions_init(&actions) != 0) return -1;
  if (::posix_spawnattr_init(&attributes) != 0) {
    ::posix_spawn_file_actions_destroy(&actions);
    return -1;
  }
  bool ready = ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0) == 0 &&
               ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0) == 0 &&
               ::posix_spawn_file_actions_adddup2(&actions, 1, 2) == 0;

  sigset_t none;
  sigset_t defaults;
  ::sigemptyset(&none);
  ::sigemptyset(&defaults);
  for (const int signal_number : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGCHLD}) {
    ::sigaddset(&defaults, signal_number);
  }
  ready = ready &&
          ::posix_spawnattr_setflags(
              &attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP) == 0 &&
          ::posix_spawnattr_setsigmask(&attributes, &none) == 0 &&
          ::posix_spawnattr_setsigdefault(&attributes, &defaults) == 0 &&
          ::posix_spawnattr_setpgroup(&attributes, 0) == 0;

  pid_t pid = -1;
  if (ready) {
    std::string program = "xdg-open";
    std::string argument = target;
    char* arguments[] = {program.data(), argument.data(), nullptr};
    if (::posix_spawnp(&pid, "xdg-open", &actions, &attributes, arguments, environ) != 0) {
      pid = -1;
    }
  }
  ::posix_spawnattr_destroy(&attributes);
  ::posix_spawn_file_actions_destroy(&actions);
  return pid;
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

}  // namespace

int Launch_Open(const std::wstring& target) {
  // An argument cannot carry a NUL; cutting the target there would open
  // something else.
  if (target.find(L'\0') != std::wstring::npos) return kGenericError;
  const pid_t pid = StartOpener(OsText_Encode(target));
  if (pid < 0) return kNoAssociation;

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

}  // namespace platform
