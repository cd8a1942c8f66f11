// The shell's "open" verb on one item, named so that nothing reads another
// item into its name.
#pragma once

#include <windows.h>

#include <string>

// Opens the item at an ordinary path, already proven to be the row's item.
// The shell gets the item's ID list rather than a path string: a string
// may be taken apart or rewritten on the way (some shells expand
// environment strings such as "%OS%" in it). Where the path holds such
// text, the verb is taken from the item's class, which leaves it as it
// stands; without a class, nothing opens. The shell's windows belong to `owner`.
void OpenItem(const std::wstring& path, bool folder, HWND owner);
