#pragma once
// The temporary folder the working folders live in, and the creation of a
// folder with every missing level above it.
#include "base/types.h"

// The temporary folder: $TMP, else $TMPDIR, else $TEMP (the first that is
// not empty, unchanged), else a per-user folder "/tmp/USER" (or, without a
// /tmp folder, USER in the current folder; USER from $USER, else $USERNAME,
// else "___"), which is created. Asked anew on every call.
wstring GetTmpPath();

// GetTmpPath, also giving in `own_below` the folder below which every level
// the system uses must be its own (see Folder_IsPrivate): the temporary
// folder itself, or for the per-user folder the folder it was made in, since
// someone else may have made that one first.
wstring GetTmpPath(wstring& own_below);

// Creates `folderName` with every missing level (each with mode 0700). True
// when the folder exists afterwards; false at the first level that cannot be
// made, the levels made before it staying. '\' and '/' both separate; the
// server and share levels of a "\\server\share" path are never made.
bool Folder_Create(const wstring& folderName);

// Folder_Create for a folder the system keeps its files in: `top` is made
// as Folder_Create does, and then each level of `folder` below it is made
// (mode 0700) or, when it exists, accepted only when it is the user's own
// (see Folder_IsPrivate); nothing is made inside a level that is not. True
// when every level is there and private; false when `folder` does not lie
// below `top`.
bool Folder_CreatePrivate(const wstring& top, const wstring& folder);

// True when every level of `folder` below `top` is a folder itself (no
// symbolic link), owned by the effective user and writable by no one else,
// so that no other local user can read, swap or fill what is kept there.
// False when a level fails, or when `folder` does not lie below `top`; true
// when `folder` is `top` itself. `top` is not looked at.
bool Folder_IsPrivate(const wstring& top, const wstring& folder);
