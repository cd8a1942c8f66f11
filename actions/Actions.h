// Open and Delete on the selected row, the Recycle Bin note and its setting.
#pragma once

#include <windows.h>

// With query true: whether the note is to be shown ("show_dlg" is 1, the
// user's own value before the machine's). With query false: turns the note
// off (writes 0, to the machine's value where it may, else to the user's);
// true once written.
bool ShowDlgSetting(bool query);

// Shows the note modally; 1 when its box was ticked, 0 when not, -1 when the
// dialog could not be made or shown.
int ShowRecycleNote(HINSTANCE instance, HWND owner);

INT_PTR CALLBACK NoteDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
