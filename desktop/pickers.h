#pragma once
#include "base/types.h"

// Asks the user for a folder (`folder` true) or a file; empty when cancelled.
wstring ask_path(bool folder);
