#pragma once
#include <cstdint>

#include "base/types.h"

// The program: serves the folder named by the first argument or, with none,
// the folder of a file the user picks.
int wmain(int argc, wchar_t** argv);

// Serves the folder `str` names (or the folder of the file it names). Does
// not return while serving; false when the server could not start.
bool start_web_server(const wstring& str);

// The port for a tick count: its low 13 bits plus 50000 (50000 to 58191).
std::uint16_t Port_from_tick(std::uint32_t tick);
