// The Recycle Bin note shown before a delete, and its setting.
#include "Actions.h"

namespace {

const char kSettingKey[] = "software\\Varnel";
const char kSettingValue[] = "show_dlg";
constexpr size_t kTemplateBytes = 2048;
constexpr int kCheckBoxId = 500;
constexpr int kNoteTextId = 501;

// What the note's dialog ends with, however it is closed.
constexpr INT_PTR kClosed = 1;
constexpr INT_PTR kClosedTicked = 2;

// Writes one dialog item or the dialog's strings into a template, UTF-16.
WORD* WriteText(WORD* at, const char* text) {
    int written = MultiByteToWideChar(CP_ACP, 0, text, -1, reinterpret_cast<wchar_t*>(at), 256);
    return at + (written > 0 ? written : 1);
}

WORD* AlignDword(WORD* at) {
    auto address = reinterpret_cast<ULONG_PTR>(at);
    return reinterpret_cast<WORD*>((address + 3) & ~ULONG_PTR{3});
}

WORD* WriteItem(WORD* at, DWORD style, short x, short y, short cx, short cy, WORD id, WORD classOrdinal,
                const char* text) {
    at = AlignDword(at);
    auto* item = reinterpret_cast<DLGITEMTEMPLATE*>(at);
    item->style = style;
    item->dwExtendedStyle = 0;
    item->x = x;
    item->y = y;
    item->cx = cx;
    item->cy = cy;
    item->id = id;
    at = reinterpret_cast<WORD*>(item + 1);
    *at++ = 0xFFFF;
    *at++ = classOrdinal;
    at = WriteText(at, text);
    *at++ = 0;  // no creation data
    return at;
}

// The 64-bit view, shared by both builds (ignored where there is no other).
bool ReadSetting(HKEY root, DWORD* value) {
    HKEY key;
    if (RegOpenKeyExA(root, kSettingKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) return false;
    DWORD size = sizeof *value, type = 0;
    LONG status = RegQueryValueExA(key, kSettingValue, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_DWORD;
}

bool WriteOff(HKEY root) {
    HKEY key;
    // The machine's key only where registration made it; the user's made as needed.
    LONG opened = root == HKEY_LOCAL_MACHINE
                      ? RegOpenKeyExA(root, kSettingKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key)
                      : RegCreateKeyExA(root, kSettingKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr,
                                        &key, nullptr);
    if (opened != ERROR_SUCCESS) return false;
    DWORD off = 0;
    LONG status = RegSetValueExA(key, kSettingValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&off), sizeof off);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

}  // namespace

// The setting is the machine's, and only an administrator may write it: a
// user's own tick is kept under the same path of the user's hive, which is
// read first. Reading asks for read access alone, which every user has.
bool ShowDlgSetting(bool query) {
    DWORD value = 0;
    if (query)
        return ReadSetting(HKEY_CURRENT_USER, &value) ? value == 1
                                                      : ReadSetting(HKEY_LOCAL_MACHINE, &value) && value == 1;
    // The tick goes where the setting is read from.
    if (ReadSetting(HKEY_CURRENT_USER, &value)) return WriteOff(HKEY_CURRENT_USER);
    return WriteOff(HKEY_LOCAL_MACHINE) || WriteOff(HKEY_CURRENT_USER);
}

INT_PTR CALLBACK NoteDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
    case IDOK:
    case IDCANCEL:
        // The tick travels in the dialog's result: another navigator's note
        // may be open at the same time, in the same thread.
        EndDialog(dialog, IsDlgButtonChecked(dialog, kCheckBoxId) == BST_CHECKED ? kClosedTicked : kClosed);
        return TRUE;
    case kCheckBoxId: {
        HWND box = GetDlgItem(dialog, kCheckBoxId);
        bool ticked = SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
        SendMessageA(box, BM_SETCHECK, ticked ? BST_UNCHECKED : BST_CHECKED, 0);
        return FALSE;
    }
    default:
        return FALSE;
    }
}

int ShowRecycleNote(HINSTANCE instance, HWND owner) {
    HGLOBAL block = GlobalAlloc(GMEM_ZEROINIT, kTemplateBytes);
    if (!block) return -1;
    auto* dialog = static_cast<DLGTEMPLATE*>(GlobalLock(block));
    dialog->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    dialog->dwExtendedStyle = 0;
    dialog->cdit = 3;
    dialog->x = 50;
    dialog->y = 50;
    dialog->cx = 210;
    dialog->cy = 75;
    auto* at = reinterpret_cast<WORD*>(dialog + 1);
    *at++ = 0;  // no menu
    *at++ = 0;  // the predefined dialog class
    at = WriteText(at, "NOTE");
    at = WriteItem(at, WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 85, 35, 40, 15, IDOK, 0x0080, "OK");
    at = WriteItem(at, WS_CHILD | WS_VISIBLE | SS_LEFT, 10, 10, 200, 20, kNoteTextId, 0x0082,
                   "This is will be removed in Recycle Bin , so if you want really do clear disk space - do "
                   "empty Recycle Bin in Desktop");
    WriteItem(at, WS_CHILD | WS_VISIBLE | BS_CHECKBOX, 25, 55, 140, 15, kCheckBoxId, 0x0080,
              "Don't show this message again");
    GlobalUnlock(block);
    INT_PTR closed = DialogBoxIndirectParamA(instance, static_cast<DLGTEMPLATE*>(GlobalLock(block)), owner,
                                             NoteDlgProc, 0);
    GlobalUnlock(block);
    GlobalFree(block);
    return closed == kClosedTicked ? 1 : closed == kClosed ? 0 : -1;
}

