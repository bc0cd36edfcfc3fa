#pragma once
// The desktop's open-file and folder dialogs, shown by a dialog program:
// zenity, else kdialog.
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

enum class DialogKind { OpenFile, Folder };

// One entry of the open-file dialog's filter list: what the user reads, and
// its patterns in the Windows form, separated by ';' ("*.htm;*.html"), where
// "*.*" matches every file, whether its name holds a dot or not.
struct DialogFilter {
  std::wstring description;
  std::wstring patterns;
};

struct DialogRequest {
  DialogKind kind = DialogKind::OpenFile;
  std::wstring title;                 // empty leaves the dialog's own
  std::wstring start_folder;          // empty leaves the choice to the dialog
  std::vector<DialogFilter> filters;  // open-file dialog only; the first is in force
};

enum class DialogOutcome { Chosen, Cancelled, Failed };

// The error code of a dialog that could not be shown: no dialog program, no
// display, or a dialog program that failed.
inline constexpr std::uint32_t kDialogFailureCode = 0xFFFF;

struct DialogAnswer {
  DialogOutcome outcome = DialogOutcome::Cancelled;
  std::wstring path;             // the chosen absolute path, when Chosen
  std::uint32_t error_code = 0;  // kDialogFailureCode when Failed, else 0
};

// Shows the dialog and waits for the user. Chosen with the path when the
// program ended with 0 and printed an absolute path; Cancelled when it ended
// with 1 (or with 0 and no path); Failed otherwise: no display named in the
// environment, neither program could be started, it could not open the
// display, was killed, or answered with anything but an absolute path.
DialogAnswer Dialog_Show(const DialogRequest& request);

}  // namespace platform
