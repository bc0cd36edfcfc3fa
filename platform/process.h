#pragma once
// What the process asks its environment: arguments, environment variables,
// its own executable, the current folder, the user, special folders.
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The command-line arguments, decoded, the invocation name first; null until
// Process_RunWideMain has stored them.
const std::vector<std::wstring>* Process_Arguments();

// Decodes argv, stores it, makes SIGINT, SIGTERM and SIGHUP end the process
// by a normal exit (so exit handlers run), ignores SIGPIPE and SIGXFSZ (a
// write past the file-size limit fails instead of ending the server), and
// runs `wmain` with the decoded arguments. Returns what `wmain` returns.
int Process_RunWideMain(int argc, char** argv, int (*wmain)(int, wchar_t**));

// The value of an environment variable; nullopt when it is not set.
std::optional<std::wstring> Env_Get(const std::wstring& name);

// Full path of the running executable; empty when it cannot be read.
std::wstring Process_ExecutablePath();

// Current folder; empty when it cannot be read.
std::wstring Process_CurrentFolder();

// Login name of the effective user; empty when unknown.
std::wstring Process_UserName();

// The folder standing for a Windows special-folder id: 46 (documents shared
// by all users) is $XDG_CACHE_HOME, else $HOME/.cache; 36, 37, 38 are /usr,
// /usr/bin and /opt. Empty for any other id.
std::wstring Process_SpecialFolder(int csidl);

}  // namespace platform
