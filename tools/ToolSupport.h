// Small helpers shared by the command-line tools.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <string>

// Writes a .bmp file: the header for `info` (whose biSizeImage counts the
// pixel data), the palette, the pixel data.
inline bool SaveBitmapFile(const char* file, BITMAPINFOHEADER info, const RGBQUAD* palette, size_t colours,
                           const void* data) {
    info.biSize = sizeof info;
    info.biPlanes = 1;
    info.biClrUsed = static_cast<DWORD>(colours);
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;
    header.bfOffBits = static_cast<DWORD>(sizeof header + sizeof info + colours * sizeof(RGBQUAD));
    header.bfSize = header.bfOffBits + info.biSizeImage;
    FILE* out = fopen(file, "wb");
    if (!out) return false;
    fwrite(&header, sizeof header, 1, out);
    fwrite(&info, sizeof info, 1, out);
    if (colours) fwrite(palette, sizeof(RGBQUAD), colours, out);
    fwrite(data, 1, info.biSizeImage, out);
    return fclose(out) == 0;
}

// Writes bottom-up 24-bit pixels (rows padded to 4 bytes) as a .bmp file.
inline bool SaveBitmap24(const char* file, int width, int height, const void* bits) {
    BITMAPINFOHEADER info{};
    info.biWidth = width;
    info.biHeight = height;
    info.biBitCount = 24;
    info.biSizeImage = ((static_cast<DWORD>(width) * 3 + 3) & ~3u) * static_cast<DWORD>(height);
    return SaveBitmapFile(file, info, nullptr, 0, bits);
}

// A bottom-up 24-bit bitmap whose pixels the caller can read and write.
inline HBITMAP CreateBitmap24(HDC dc, int width, int height, void** bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    return CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

// Saves what the screen shows of a window as a .bmp file.
inline bool SaveWindowScreenshot(HWND window, const std::wstring& file) {
    RECT area;
    GetWindowRect(window, &area);
    int width = area.right - area.left, height = area.bottom - area.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateBitmap24(screen, width, height, &bits);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    GdiFlush();
    // The tools' paths come from this project's scripts: plain ASCII.
    bool ok = SaveBitmap24(std::string(file.begin(), file.end()).c_str(), width, height, bits);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}

// Dispatches this thread's messages for `ms` milliseconds.
inline void PumpMessagesFor(DWORD ms) {
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } while (GetTickCount() - start < ms);
}

// The full path of a folder given on the command line, without a trailing
// separator unless it is a drive root. A full path is taken as it stands, as
// the shell names folders: made full by the platform, a name would lose a
// trailing dot or space.
inline bool FolderArgument(const wchar_t* argument, std::wstring* path) {
    bool given = wcsncmp(argument, L"\\\\", 2) == 0 ||
                (iswalpha(argument[0]) && argument[1] == L':' && argument[2] == L'\\');
    if (given) {
        *path = argument;
        if (path->size() > 3 && path->back() == L'\\') path->pop_back();
        return true;
    }
    DWORD need = GetFullPathNameW(argument, 0, nullptr, nullptr);
    std::wstring full(need, L'\0');
    DWORD len = need ? GetFullPathNameW(argument, need, &full[0], nullptr) : 0;
    if (len == 0 || len >= need) {
        fprintf(stderr, "not a path: %ls\n", argument);
        return false;
    }
    full.resize(len);
    if (len > 3 && full[len - 1] == L'\\') full.pop_back();
    *path = full;
    return true;
}
