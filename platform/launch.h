#pragma once
// Opening an address or document with the user's associated application,
// and starting a program the same detached way.
#include <string>
#include <vector>

namespace platform {

// Starts `xdg-open target` (found on PATH) with standard input from
// /dev/null and its output discarded, and never waits for the browser
// itself. Returns the result in the Windows shell's terms: 33 when launched
// (or still running after a short wait), 31 when no opener could be started
// or it exited 3, 2 when it exited 2, 1 for any other failure.
int Launch_Open(const std::wstring& target);

// Starts the program file at `program` (a path, never searched on PATH) with
// `arguments`, each reaching it as one argument untouched by any shell, in
// the same detached way and with the same short wait and exit mapping as
// Launch_Open. A program that cannot be started gives 2 (no such file), 5
// (not permitted), 11 (not a program this system can run), 8 (out of
// memory) or 1.
int Launch_Run(const std::wstring& program, const std::vector<std::wstring>& arguments);

// True when `path` names a regular file (after following links) that this
// process may run.
bool Launch_IsProgram(const std::wstring& path);

}  // namespace platform
