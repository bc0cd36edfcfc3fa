#pragma once
// Opening an address or document with the user's associated application.
#include <string>

namespace platform {

// Starts `xdg-open target` (found on PATH) with standard input from
// /dev/null and its output discarded, and never waits for the browser
// itself. Returns the result in the Windows shell's terms: 33 when launched
// (or still running after a short wait), 31 when no opener could be started
// or it exited 3, 2 when it exited 2, 1 for any other failure.
int Launch_Open(const std::wstring& target);

}  // namespace platform
