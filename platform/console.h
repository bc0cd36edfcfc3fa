#pragma once
// The console: standard output and the error stream, as UTF-8.
#include <string>

namespace platform {

enum class ConsoleStream { Out, Err };

// Writes the text and a line end in one write. Characters that would act on
// a terminal (C0 controls but tab, DEL, C1 controls) and bytes carried from
// non-UTF-8 names are shown escaped as \xNN, never raw.
void Console_WriteLine(ConsoleStream stream, const std::wstring& text);

// Writes the text as it is, without a line end: the progress display
// redraws its line with a carriage return.
void Console_Write(ConsoleStream stream, const std::wstring& text);

}  // namespace platform
