#include "Dpi.h"

#include <initializer_list>

#include "Scale.h"

namespace {

template <class Function>
Function Find(const char* module, const char* name) {
    HMODULE handle = GetModuleHandleA(module);
    if (!handle) handle = LoadLibraryA(module);  // shcore: loaded by the shell already
    return handle ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(handle, name))) : nullptr;
}

bool IsStock(HFONT font) {
    for (int stock : {DEFAULT_GUI_FONT, SYSTEM_FONT})
        if (font == GetStockObject(stock)) return true;
    return false;
}

}  // namespace

int StockFontDpi() {
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : Scale::kBaseDpi;
}

int DpiForNewWindow(POINT screen) {
    using ThreadContext = HANDLE(WINAPI*)();
    using Awareness = int(WINAPI*)(HANDLE);
    using MonitorDpi = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    static const auto threadContext = Find<ThreadContext>("user32.dll", "GetThreadDpiAwarenessContext");
    static const auto awareness = Find<Awareness>("user32.dll", "GetAwarenessFromDpiAwarenessContext");
    if (!threadContext || !awareness) return StockFontDpi();
    switch (awareness(threadContext())) {
    case 0:  // DPI_AWARENESS_UNAWARE: the system stretches the window
        return Scale::kBaseDpi;
    case 2: {  // DPI_AWARENESS_PER_MONITOR_AWARE
        static const auto monitorDpi = Find<MonitorDpi>("shcore.dll", "GetDpiForMonitor");
        UINT x = 0, y = 0;
        if (monitorDpi && SUCCEEDED(monitorDpi(MonitorFromPoint(screen, MONITOR_DEFAULTTONEAREST), 0, &x, &y)) && y)
            return static_cast<int>(y);
        return StockFontDpi();
    }
    default:
        return StockFontDpi();
    }
}

int MenuCheckSize(int dpi) {
    using MetricsForDpi = int(WINAPI*)(int, UINT);
    static const auto metrics = Find<MetricsForDpi>("user32.dll", "GetSystemMetricsForDpi");
    return metrics ? metrics(SM_CXMENUCHECK, static_cast<UINT>(dpi)) : GetSystemMetrics(SM_CXMENUCHECK);
}

bool WorkAreaAt(POINT screen, RECT* work) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(MonitorFromPoint(screen, MONITOR_DEFAULTTONEAREST), &info)) return false;
    *work = info.rcWork;
    return true;
}

HFONT FaceAt(int stockObject, int dpi) {
    auto stock = static_cast<HFONT>(GetStockObject(stockObject));
    LOGFONTW face;
    if (!GetObjectW(stock, sizeof face, &face)) return stock;
    face.lfHeight = MulDiv(face.lfHeight, dpi, StockFontDpi());
    face.lfWidth = 0;  // the face's own proportions (some systems leave a stock font's width unscaled)
    HFONT font = CreateFontIndirectW(&face);
    return font ? font : stock;
}

HFONT StockFontAt(int stockObject, int dpi) {
    return dpi == StockFontDpi() ? static_cast<HFONT>(GetStockObject(stockObject)) : FaceAt(stockObject, dpi);
}

void ReleaseFont(HFONT font) {
    if (font && !IsStock(font)) DeleteObject(font);
}
