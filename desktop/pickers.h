#pragma once
// Asking the user for the folder to serve: the desktop's folder browser and
// open-file dialog, each started where the previous choice was made.
#include <cstdint>

#include "base/types.h"

// Shows the folder browser (`is_fold`) or the open-file dialog titled
// "Open" with the one filter "All Files (*.*)". Returns the chosen path, or
// empty when the user cancelled or no dialog could be shown. The next call
// starts where this one's choice lies; after an empty result it leaves the
// start to the dialog.
wstring ask_path(bool is_fold);

// The folder browser, starting at `init_fold_` or, for a path that is no
// folder, at its folder part. The chosen folder, or empty.
wstring Browse_Folder(void* hwnd, const wchar_t* init_fold_, const wchar_t* title);

// The folder browser's notifications. On the first (uMsg 1, the dialog is
// being set up; `hwnd` is that dialog) the folder at `lpData`, wide text,
// becomes the one it opens on, and the result is 1; any other gives 0.
std::int32_t SH_BrowseCallback(void* hwnd, std::uint32_t uMsg, std::intptr_t lParam, std::intptr_t lpData);

// The file-system path of a folder item the browser returned: its text up
// to the first NUL; empty for none.
wstring SH_GetPathFromIDList(const wchar_t* pidl);

// The open-file dialog. `default_name` only decides the starting folder:
// itself when it is a folder, else its folder part, and none when that does
// not exist. `filter_` lists description and pattern pairs, each ended by
// '|', the list by a further '|' ("Pages|*.htm||"); empty stands for
// "All Files (*.*)|*.*||". The chosen file's full path, or empty; when the
// dialog could not be shown its error code goes to the error stream in
// hexadecimal, with a line on naming the folder on the command line instead.
wstring FD_GetOpenFile(void* hwnd, const wstring& default_name, const wstring& filter_,
                       const wstring& title_);

// The window that owns the dialogs: none on this desktop.
void* GetConsoleHwnd();

// `path_` with a mapped network drive letter replaced by its network name;
// no path here begins with one, so every path comes back unchanged.
wstring W_get_remote_name(const wstring& path_);
