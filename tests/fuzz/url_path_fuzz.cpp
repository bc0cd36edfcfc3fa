// The mapping of a raw URL to a local path, and the check that refuses paths
// leaving the served folder. Invariant: whenever the check lets a path
// through, resolving its "." and ".." components the way the system does
// (at '/', and also with the text cut at its first NUL, as the index page
// takes it) keeps it inside the served folder.
#include "server/request_loop.h"

#include "fuzz_support.h"

namespace {

// Served folders as start-up leaves them: no trailing separator, so the
// root folder is the empty text.
const wchar_t* const kFolders[] = {L"/srv/site", L"", L"/srv/a b+50%25", L"/srv/x..y"};

// Walks what follows the folder component by component; a ".." that would
// climb above the folder itself, or a first component that is not separated
// from the folder's last one, is a way out.
void Check_inside(const wstring& fold, const wstring& path, const wstring& raw) {
  fuzz::Check(path.compare(0, fold.size(), fold) == 0, "local path does not start with the folder", raw);
  const wstring tail = path.substr(fold.size());
  fuzz::Check(tail.empty() || tail[0] == L'/', "local path names a sibling of the folder", raw);
  std::size_t depth = 0;
  std::size_t at = 0;
  while (at <= tail.size()) {
    std::size_t end = tail.find(L'/', at);
    if (end == wstring::npos) end = tail.size();
    const wstring part = tail.substr(at, end - at);
    at = end + 1;
    if (part == L"..") {
      fuzz::Check(depth > 0, "a '..' climbs out of the folder", raw);
      --depth;
    } else if (!part.empty() && part != L".") {
      ++depth;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const wstring fold = kFolders[data[0] % (sizeof kFolders / sizeof kFolders[0])];
  // Any text, not only the targets the listener hands over (which begin
  // with '/'): the check must hold for every caller.
  const wstring raw = fuzz::Text(data + 1, size - 1);
  const wstring local = Url_to_local_path(fold, raw);
  if (Url_leaves_folder(fold, local)) return 0;
  Check_inside(fold, local, raw);
  Check_inside(fold, to_tstring(local), raw);
  return 0;
}
