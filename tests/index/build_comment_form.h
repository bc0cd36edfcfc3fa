#pragma once
// Test support: the form of the build comment as written, with its variable
// fields (time stamps, program path) as capture groups 1 to 4.
#include <string>

// Source stamp, build date and time, program path, time of the page.
inline const wchar_t* kBuildCommentForm =
    L"<!--\t\r\n"
    L"Pagolinecraft\t1\\.02\t(\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d)\thtmout\\.cpp\r\n"
    L"EXE {10}\t {4}\t(\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d)\t([^\r\n]*)\r\n"
    L"Time {9}\t {4}\t(\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d)\r\n"
    L"foldweb\\.test \t {4}\tdev@foldweb\\.example\\.org\r\n"
    L"\t-->";
