// Open and Delete on the selected row, the Recycle Bin note and its setting.
#pragma once

#include <windows.h>

// With query true: whether the note is to be shown ("show_dlg" is 1, the
// user's own value before the machine's). With query false: turns the note
// off, writing 0 where the setting is read from (the user's own value when
// there is one, else the machine's where it may, else the user's); true
// once written.
bool ShowDlgSetting(bool query);

// Shows the note modally; 1 when its box was ticked, 0 when not, -1 when the
// dialog could not be made or shown.
int ShowRecycleNote(HINSTANCE instance, HWND owner);

INT_PTR CALLBACK NoteDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
