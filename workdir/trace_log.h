#pragma once
// The trace log: one file an hour, TEMP/"Vantre.tmp"/"_trace_"/"WC"/MMDD_HH.txt,
// in UTF-16LE. A new file starts with FF FE and a header record (time, user,
// temporary folder, current folder, program path); each trace appends one
// record: time, program file name, the message with its line breaks turned
// into tabs. The first trace of a process queues the logs of "_trace_" and
// "WC" not written for ten days or more, for removal at its normal exit.
// Nothing is written into a trace folder that is not the user's own.
#include "base/types.h"

// Appends one record for the message (up to its first NUL). True when it
// was written.
bool Vantre_Trace(const wstring& tStr_);

// Appends bytes that already hold encoded records to the current log file.
// True when they were written; false when the file could not be opened
// within ten seconds or written.
bool Vantre_Trace(const v_char& text);
