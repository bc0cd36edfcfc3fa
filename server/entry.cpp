#include "server/entry.h"

#include <clocale>
#include <cstddef>
#include <cstdint>

#include "base/convert.h"
#include "base/file_stat.h"
#include "base/path.h"
#include "base/process_time.h"
#include "desktop/pickers.h"
#include "desktop/shell_exec.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/separator.h"
#include "server/request_loop.h"
#include "workdir/file_version.h"

namespace {

// What an exact first argument asks for instead of a folder. Anything else,
// "-h" and "--help/" included, still names a folder or a file.
enum class Command_option { Serve, Help, Version };

Command_option Option_of(const wstring& first) {
  if (first == L"--help") return Command_option::Help;
  if (first == L"--version") return Command_option::Version;
  return Command_option::Serve;
}

void Print_usage() {
  static const wchar_t* const kUsage[] = {
      L"Usage: foldweb [FOLDER | FILE]",
      L"       foldweb --help | --version",
      L"",
      L"Serves FOLDER, or the folder that holds FILE, on http://127.0.0.1:PORT/",
      L"and opens your browser on it; with no argument it asks for a file.",
      L"Files come back as they are; every other address gets an index page",
      L"that links the parent folder, the sub-folders and the HTML pages.",
      L"Only this computer can connect.",
      L"",
      L"Prints the served folder on the error stream, then the address and, for",
      L"every request, its URL and local path on standard output.",
      L"",
      L"Writes, under TEMP (the first of $TMP, $TMPDIR, $TEMP that is set,",
      L"else /tmp/$USER):",
      L"  TEMP/Vantre.tmp/foldweb/YYYYMMDD/PORT_NNNN.htm  every index page, kept",
      L"  TEMP/Vantre.tmp/_trace_/WC/MMDD_HH.txt          failed browser launches",
      L"",
      L"Runs until stopped: press Ctrl+C in its terminal, or send SIGTERM.",
      L"A folder named --help or --version is served as ./--help.",
      L"More in the manual: man foldweb",
  };
  for (const wchar_t* line : kUsage) platform::Console_WriteLine(platform::ConsoleStream::Out, line);
}

// The version comes from the program's own version record, so a renamed or
// installed copy reports the build it is. False when the record is missing.
bool Print_version() {
  const wstring program = Get_module_name(nullptr);
  FVersion record(program);
  wstring version = record.GetProductVersion();
  if (version.empty()) version = record.GetFileVersion();
  if (version.empty()) {
    platform::Console_WriteLine(platform::ConsoleStream::Err, L"foldweb: no version record in " + program);
    return false;
  }
  wstring name = record.GetProductName();
  if (name.empty()) name = L"foldweb";
  platform::Console_WriteLine(platform::ConsoleStream::Out, name + L" " + version);
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::setlocale(LC_ALL, "");
  if (argc > 1) {
    switch (Option_of(argv[1])) {
      case Command_option::Help:
        Print_usage();
        return 0;
      case Command_option::Version:
        return Print_version() ? 0 : 1;
      case Command_option::Serve:
        break;
    }
    // Only the first argument is ever served: the loop does not return.
    for (int i = 1; i < argc; ++i) {
      if (!start_web_server(argv[i])) return 1;
    }
    return 0;
  }
  const wstring chosen = ask_path(false);
  if (chosen.empty()) return 0;
  return start_web_server(chosen) ? 0 : 1;
}

namespace {

// A relative argument is taken against the current folder: the folder part
// of a bare name would otherwise be the root of the file system.
// A leading "./" only says "here" (it is how a folder named "--help" is
// reached) and is dropped, so the served folder reads as the user expects.
wstring Absolute_path(const wstring& str) {
  if (!str.empty() && str[0] == platform::kPathSeparator) return str;
  const wstring cwd = GetCWD();
  if (cwd.empty()) return str;
  if (str == L"." || str == L"./") return cwd;
  std::size_t start = 0;
  while (str.compare(start, 2, L"./") == 0 && start + 2 < str.size()) start += 2;
  return Path_AddLastSP(cwd, platform::kPathSeparator) + str.substr(start);
}

}  // namespace

std::uint16_t Port_from_tick(std::uint32_t tick) { return static_cast<std::uint16_t>((tick & 0x1FFF) + 50000); }

bool start_web_server(const wstring& str) {
  wstring folder = Path_DelLastSP(Absolute_path(str));
  if (!F_Stat::IsDirectory(folder.c_str())) folder = Path_GetDir(folder);
  platform::Console_WriteLine(platform::ConsoleStream::Err, folder);

  const std::uint16_t port = Port_from_tick(platform::Clock_TickCount());
  const wstring address = L"http://127.0.0.1:" + To_tstring(port, 10) + L"/";
  {
    // A refused launch is reported by the launcher; serving goes on.
    S_Exec exec;
    exec.SetFile(address.c_str());
    exec.Execute();
  }
  return web_server(folder, port);
}
