#pragma once
// The program's working folders under the temporary folder: TEMP/"Vantre.tmp"
// /TITLE/YYYYMMDD for generated pages and TEMP/"Vantre.tmp"/NAME for the
// trace log, TITLE being the program's original file name without its
// extension. A level below the temporary folder that is not the user's own
// (see Folder_IsPrivate) counts as one that cannot be created.
#include "base/types.h"

// The program title from the running file's name and its original file
// name: the original name when it is not empty and differs from the running
// name other than in letter case, else the running name; its title (the name
// up to its last dot); the current date "%Y%m%d" when both names are empty.
wstring Program_Title(const wstring& running_name, const wstring& original_name);

// TEMP/"Vantre.tmp"/TITLE/, with a trailing separator. Creates nothing.
wstring Get_Vantre_tmp_Path();

// The program folder, with a trailing separator: Get_Vantre_tmp_Path()
// after creating it; when that fails, the fallback folder (not created):
// the shared documents folder, "Temp", "Temp", "Vantre.tmp", then the title
// of the running file itself.
wstring Get_Vantre_tmp();

// The day folder Get_Vantre_tmp()/YYYYMMDD/ (today, local time), created
// with every missing level; the program folder itself when the day level
// cannot be made.
wstring Get_Vantre_tmp_date();

// TEMP/"Vantre.tmp"/`name`, without a trailing separator, after trying to
// create it; the path is returned whether or not that worked.
wstring Get_Vantre_tmp_name(const wstring& name);
// The same, telling in `is_private` whether it exists and every level of it
// below the temporary folder is the user's own.
wstring Get_Vantre_tmp_name(const wstring& name, bool& is_private);

// The running program's original file name (from its version record, else
// its file name), read once per process.
wstring Get_Self_Original();

// The "OriginalFilename" of the version record of the file `exe_path`, or
// the empty text.
wstring Get_OriginalFilename(const wstring& exe_path);
