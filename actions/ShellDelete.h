// The shell's delete of one item: to the Recycle Bin where the item can go
// there, after the shell's own question where it cannot.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// Hands the item at an ordinary path to the shell, its boxes owned by
// `owner`, each answer held to `stillSafe` (see BoxGuard), which runs on the
// shell's thread. The shell runs on a thread of its own: its boxes then wait
// in a loop of that thread alone, inside which nothing else opens a box, so
// the shell acts right after the answer that was checked. The calling thread
// dispatches its messages meanwhile, as the shell's own loop would.
void ShellDelete(const std::wstring& path, HWND owner, const std::function<bool()>& stillSafe);
