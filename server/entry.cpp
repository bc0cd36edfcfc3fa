#include "server/entry.h"

#include <clocale>
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

int wmain(int argc, wchar_t** argv) {
  std::setlocale(LC_ALL, "");
  if (argc > 1) {
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
wstring Absolute_path(const wstring& str) {
  if (!str.empty() && str[0] == platform::kPathSeparator) return str;
  const wstring cwd = GetCWD();
  if (cwd.empty()) return str;
  if (str == L"." || str == L"./") return cwd;
  return Path_AddLastSP(cwd, platform::kPathSeparator) + str;
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
