#include "platform/dialog.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/os_text.h"
#include "platform/spawn_posix.h"

extern char** environ;

namespace platform {

namespace {

// No path is this long; a program that prints more is not answering.
constexpr std::size_t kAnswerLimit = 64 * 1024;

// What GTK and Qt print when the display named in the environment cannot be
// reached; zenity then ends with 1, the status of a cancel.
constexpr const char* kNoDisplayMarks[] = {"cannot open display", "could not connect to display"};

bool HoldsNul(const std::wstring& text) { return text.find(L'\0') != std::wstring::npos; }

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

bool NamesUtf8(const std::string& locale) {
  std::string lower;
  for (const char c : locale) lower.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
  return lower.find("utf-8") != std::string::npos || lower.find("utf8") != std::string::npos;
}

// The dialog program's environment. GTK converts what zenity prints to the
// locale's character set, so under a locale that is not UTF-8 every
// non-ASCII letter of the chosen path would come back as '?': the dialog
// then gets the UTF-8 form of the C locale.
std::vector<std::string> DialogEnvironment() {
  std::vector<std::string> env;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) env.emplace_back(*entry);
  std::string ctype = "C";
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    if (IsSet(name)) {
      ctype = std::getenv(name);
      break;
    }
  }
  if (NamesUtf8(ctype)) return env;
  std::erase_if(env, [](const std::string& entry) { return entry.rfind("LC_ALL=", 0) == 0; });
  env.emplace_back("LC_ALL=C.UTF-8");
  return env;
}

// Windows patterns ("*.htm;*.html") as the dialog program's list: "*.*"
// matches every file there, which is "*" here (a glob "*.*" would hide every
// name without a dot).
std::vector<std::wstring> PatternsOf(const DialogFilter& filter) {
  std::vector<std::wstring> patterns;
  std::wstring::size_type start = 0;
  while (start <= filter.patterns.size()) {
    std::wstring::size_type end = filter.patterns.find(L';', start);
    if (end == std::wstring::npos) end = filter.patterns.size();
    std::wstring pattern = filter.patterns.substr(start, end - start);
    const auto first = pattern.find_first_not_of(L' ');
    const auto last = pattern.find_last_not_of(L' ');
    pattern = first == std::wstring::npos ? std::wstring() : pattern.substr(first, last - first + 1);
    if (pattern == L"*.*") pattern = L"*";
    if (!pattern.empty()) patterns.push_back(pattern);
    start = end + 1;
  }
  if (patterns.empty()) patterns.push_back(L"*");
  return patterns;
}

std::wstring Joined(const std::vector<std::wstring>& words, const std::wstring& separator) {
  std::wstring text;
  for (const std::wstring& word : words) {
    if (!text.empty()) text += separator;
    text += word;
  }
  return text;
}

std::wstring FolderWithSeparator(const std::wstring& folder) {
  return !folder.empty() && folder.back() == L'/' ? folder : folder + L'/';
}

std::vector<std::wstring> ZenityArguments(const DialogRequest& request) {
  std::vector<std::wstring> words = {L"zenity", L"--file-selection"};
  if (request.kind == DialogKind::Folder) words.push_back(L"--directory");
  if (!request.title.empty()) words.push_back(L"--title=" + request.title);
  // The closing separator makes the dialog open the folder rather than
  // propose a file of that name in its parent.
  if (!request.start_folder.empty())
    words.push_back(L"--filename=" + FolderWithSeparator(request.start_folder));
  if (request.kind == DialogKind::OpenFile) {
    for (const DialogFilter& filter : request.filters) {
      words.push_back(L"--file-filter=" + filter.description + L" | " + Joined(PatternsOf(filter), L" "));
    }
  }
  return words;
}

std::vector<std::wstring> KdialogArguments(const DialogRequest& request) {
  std::vector<std::wstring> words = {L"kdialog"};
  if (!request.title.empty()) {
    words.push_back(L"--title");
    words.push_back(request.title);
  }
  // kdialog needs a starting place before its filter; "." is where it
  // starts by itself.
  const std::wstring start = request.start_folder.empty() ? L"." : FolderWithSeparator(request.start_folder);
  if (request.kind == DialogKind::Folder) {
    words.push_back(L"--getexistingdirectory");
    words.push_back(start);
    return words;
  }
  words.push_back(L"--getopenfilename");
  words.push_back(start);
  std::vector<std::wstring> filters;
  for (const DialogFilter& filter : request.filters) {
    filters.push_back(Joined(PatternsOf(filter), L" ") + L"|" + filter.description);
  }
  if (!filters.empty()) words.push_back(Joined(filters, L"\n"));
  return words;
}

struct Pipe {
  int read_end = -1;
  int write_end = -1;
  bool Open() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return false;
    read_end = ends[0];
    write_end = ends[1];
    return true;
  }
  void CloseWriteEnd() {
    if (write_end >= 0) ::close(write_end);
    write_end = -1;
  }
  ~Pipe() {
    CloseWriteEnd();
    if (read_end >= 0) ::close(read_end);
  }
};

struct ProgramRun {
  bool started = false;
  int status = 0;
  std::string out;
  std::string err;
  bool out_overflow = false;
};

// Starts the dialog program with its output and error output into pipes.
// It stays in the server's process group, so an interrupt typed at the
// terminal ends both. Returns the child's id, or a negative number.
pid_t StartDialogProgram(std::vector<std::string> words, const Pipe& out, const Pipe& err) {
  const std::vector<std::string> environment = DialogEnvironment();
  SpawnRequest request;
  request.words = std::move(words);
  request.out_fd = out.write_end;
  request.err_fd = err.write_end;
  request.environment = &environment;
  return Spawn(request);
}

// Reads both pipes to their end; keeps at most kAnswerLimit bytes of each.
void Drain(Pipe& out, Pipe& err, ProgramRun& run) {
  struct Source {
    int fd;
    std::string* text;
    bool open;
  };
  Source sources[] = {{out.read_end, &run.out, true}, {err.read_end, &run.err, true}};
  char chunk[4096];
  while (sources[0].open || sources[1].open) {
    pollfd fds[2];
    nfds_t count = 0;
    Source* polled[2];
    for (Source& source : sources) {
      if (!source.open) continue;
      fds[count] = pollfd{source.fd, POLLIN, 0};
      polled[count++] = &source;
    }
    if (::poll(fds, count, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    for (nfds_t i = 0; i < count; ++i) {
      if (fds[i].revents == 0) continue;
      const ssize_t n = ::read(polled[i]->fd, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        polled[i]->open = false;
        continue;
      }
      const std::size_t room = kAnswerLimit - std::min(kAnswerLimit, polled[i]->text->size());
      const std::size_t kept = std::min(room, static_cast<std::size_t>(n));
      polled[i]->text->append(chunk, kept);
      if (kept < static_cast<std::size_t>(n) && polled[i]->text == &run.out) run.out_overflow = true;
    }
  }
}

ProgramRun RunDialogProgram(const std::vector<std::wstring>& words) {
  ProgramRun run;
  std::vector<std::string> encoded;
  for (const std::wstring& word : words) encoded.push_back(OsText_Encode(word));
  Pipe out;
  Pipe err;
  if (!out.Open() || !err.Open()) return run;
  const pid_t pid = StartDialogProgram(encoded, out, err);
  if (pid < 0) return run;
  run.started = true;
  // Only the child holds the writing ends now, so the pipes end with it.
  out.CloseWriteEnd();
  err.CloseWriteEnd();
  Drain(out, err, run);
  while (::waitpid(pid, &run.status, 0) < 0) {
    if (errno != EINTR) {
      run.status = -1;
      break;
    }
  }
  return run;
}

DialogAnswer Failed() { return DialogAnswer{DialogOutcome::Failed, std::wstring(), kDialogFailureCode}; }

DialogAnswer AnswerOf(const ProgramRun& run) {
  if (run.status == -1 || !WIFEXITED(run.status)) return Failed();
  const int code = WEXITSTATUS(run.status);
  if (code == 1) {
    for (const char* mark : kNoDisplayMarks) {
      if (run.err.find(mark) != std::string::npos) return Failed();
    }
    return DialogAnswer{};
  }
  if (code != 0 || run.out_overflow) return Failed();
  std::string out = run.out;
  if (!out.empty() && out.back() == '\n') out.pop_back();
  if (out.empty()) return DialogAnswer{};
  // Anything but an absolute path (zenity prints "(null)" for a name it
  // cannot convert) would serve some other folder.
  if (out.front() != '/') return Failed();
  return DialogAnswer{DialogOutcome::Chosen, OsText_Decode(out), 0};
}

}  // namespace

DialogAnswer Dialog_Show(const DialogRequest& request) {
  if (!IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY")) return Failed();
  if (HoldsNul(request.title) || HoldsNul(request.start_folder)) return Failed();
  for (const DialogFilter& filter : request.filters) {
    if (HoldsNul(filter.description) || HoldsNul(filter.patterns)) return Failed();
  }
  for (const auto& arguments : {ZenityArguments(request), KdialogArguments(request)}) {
    const ProgramRun run = RunDialogProgram(arguments);
    if (run.started) return AnswerOf(run);
  }
  return Failed();
}

}  // namespace platform
