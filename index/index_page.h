#pragma once
// The index page answered to every request that names no existing file: the
// folder's parent, its sub-folders, then its HTML pages, as one line of
// tab-separated markup with the build comment in its head.
#include "base/types.h"

// The index page for the local path `fold` of a request that names no file:
// the folder `fold` names, or the folder part of a path that is no folder.
// A folder that cannot be read gives empty lists. Never fails.
wstring Make_index(const wstring& fold);

// The page text Make_index returns.
wstring HT_Make_index_content(const wstring& fold);
