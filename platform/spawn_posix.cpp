#include "platform/spawn_posix.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>

#include <cerrno>

extern char** environ;

namespace platform {

namespace {

std::vector<char*> Pointers(std::vector<std::string>& words) {
  std::vector<char*> pointers;
  pointers.reserve(words.size() + 1);
  for (std::string& word : words) pointers.push_back(word.data());
  pointers.push_back(nullptr);
  return pointers;
}

bool AddStream(posix_spawn_file_actions_t& actions, int fd, int target) {
  if (fd < 0) return ::posix_spawn_file_actions_addopen(&actions, target, "/dev/null", O_WRONLY, 0) == 0;
  return ::posix_spawn_file_actions_adddup2(&actions, fd, target) == 0;
}

}  // namespace

pid_t Spawn(const SpawnRequest& request) {
  if (request.words.empty()) return -ENOENT;
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  if (::posix_spawn_file_actions_init(&actions) != 0) return -ENOMEM;
  if (::posix_spawnattr_init(&attributes) != 0) {
    ::posix_spawn_file_actions_destroy(&actions);
    return -ENOMEM;
  }
  sigset_t none;
  sigset_t defaults;
  ::sigemptyset(&none);
  ::sigfillset(&defaults);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  if (request.own_group) flags |= POSIX_SPAWN_SETPGROUP;
  const bool ready = ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0) == 0 &&
                     AddStream(actions, request.out_fd, 1) && AddStream(actions, request.err_fd, 2) &&
                     ::posix_spawnattr_setflags(&attributes, flags) == 0 &&
                     ::posix_spawnattr_setsigmask(&attributes, &none) == 0 &&
                     ::posix_spawnattr_setsigdefault(&attributes, &defaults) == 0 &&
                     ::posix_spawnattr_setpgroup(&attributes, 0) == 0;

  pid_t pid = -ENOMEM;
  if (ready) {
    std::vector<std::string> words = request.words;
    std::vector<char*> argv = Pointers(words);
    std::vector<std::string> environment;
    std::vector<char*> envp;
    if (request.environment != nullptr) {
      environment = *request.environment;
      envp = Pointers(environment);
    }
    char* const* env = request.environment != nullptr ? envp.data() : environ;
    const int error = request.search_path
                          ? ::posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), env)
                          : ::posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), env);
    if (error != 0) pid = -error;
  }
  ::posix_spawnattr_destroy(&attributes);
  ::posix_spawn_file_actions_destroy(&actions);
  return pid;
}

}  // namespace platform
