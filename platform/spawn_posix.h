#pragma once
// Starting a child program, for the opener and the dialogs alike: used only
// inside platform/.
#include <sys/types.h>

#include <string>
#include <vector>

namespace platform {

struct SpawnRequest {
  std::vector<std::string> words;  // the program, then its arguments
  bool search_path = true;         // look the program up on PATH, else take it as a path
  int out_fd = -1;                 // its standard output; -1 for /dev/null
  int err_fd = -1;                 // its error output; -1 for /dev/null
  bool own_group = false;          // a process group of its own
  const std::vector<std::string>* environment = nullptr;  // null: this process's
};

// Starts the program with /dev/null as its input, an empty signal mask and
// every signal at its default: the server blocks its ending signals and
// ignores SIGPIPE and SIGXFSZ, and a child inheriting that could not be
// interrupted. Returns the child's id, or minus the system's error number.
pid_t Spawn(const SpawnRequest& request);

}  // namespace platform
