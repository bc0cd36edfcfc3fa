#include "platform/launch.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/os_text.h"

extern char** environ;

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

enum class ProgramLookup { OnPath, AsGiven };

// Starts `program` (searched on PATH, or taken as a path) with `arguments` after its name, /dev/null for its
// standard streams, in a process group of its own (an interrupt typed at the server's terminal does not reach
// the browser), with default signal handling and an empty signal mask: the server's blocked and ignored
// signals would otherwise pass on to it. Returns the child's id, or minus the system's error number when it
// could not be started.
pid_t StartDetached(const std::string& program, const std::vector<std::string>& arguments,
                    ProgramLookup lookup) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  if (::posix_spawn_file_actions_init(&actions) != 0) return -ENOMEM;
  if (::posix_spawnattr_init(&attributes) != 0) {
    ::posix_spawn_file_actions_destroy(&actions);
    return -ENOMEM;
  }
  bool ready = ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0) == 0 &&
               ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0) == 0 &&
               ::posix_spawn_file_actions_adddup2(&actions, 1, 2) == 0;

  sigset_t none;
  sigset_t defaults;
  ::sigemptyset(&none);
  ::sigemptyset(&defaults);
  for (const int signal_number : {SIGPIPE, SIGXFSZ, SIGINT, SIGTERM, SIGHUP, SIGCHLD}) {
    ::sigaddset(&defaults, signal_number);
  }
  ready = ready &&
          ::posix_spawnattr_setflags(
              &attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP) == 0 &&
          ::posix_spawnattr_setsigmask(&attributes, &none) == 0 &&
          ::posix_spawnattr_setsigdefault(&attributes, &defaults) == 0 &&
          ::posix_spawnattr_setpgroup(&attributes, 0) == 0;

  pid_t pid = -ENOMEM;
  if (ready) {
    std::vector<std::string> words;
    words.reserve(arguments.size() + 1);
    words.push_back(program);
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const int error = lookup == ProgramLookup::OnPath
                          ? ::posix_spawnp(&pid, program.c_str(), &actions, &attributes, argv.data(), environ)
                          : ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    if (error != 0) pid = -error;
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
  const pid_t pid = StartDetached("xdg-open", {OsText_Encode(target)}, ProgramLookup::OnPath);
  if (pid < 0) return kNoAssociation;
  return AwaitStart(pid);
}

int Launch_Run(const std::wstring& program, const std::vector<std::wstring>& arguments) {
  if (program.empty() || HoldsNul(program)) return kFileNotFound;
  std::vector<std::string> encoded;
  for (const std::wstring& argument : arguments) {
    if (HoldsNul(argument)) return kGenericError;
    encoded.push_back(OsText_Encode(argument));
  }
  const pid_t pid = StartDetached(OsText_Encode(program), encoded, ProgramLookup::AsGiven);
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
