// The shell's part of a delete: it moves the item to the Recycle Bin, whole,
// where the item can go there. Where it cannot, the shell is stopped before
// it removes anything (it would recurse by paths, through links made
// meanwhile) and the user is asked whether the item goes for good; that
// delete is then Tolv's own (HandleDelete).
#pragma once

#include <windows.h>

#include <functional>
#include <string>

enum class Recycling {
    taken,      // the shell took the item, or tried to: the disk tells which
    declined,   // nothing was done: the user said no, or a check failed
    permanent,  // the item cannot be recycled, and the user confirmed that it goes for good
};

// Hands the item at an ordinary path to the shell, its windows owned by
// `owner`. Every answer that lets the item go, and the moment the shell
// takes the item, are held to `stillSafe`. Call it on a thread of its own
// (RunAside). `error` receives the shell's failure, if it reports one.
Recycling RecycleItem(const std::wstring& path, HWND owner, const std::function<bool()>& stillSafe, DWORD* error);
