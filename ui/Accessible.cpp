#include "Accessible.h"

#include <cstring>

#include "SizeText.h"

namespace {

std::wstring Widen(const char* ascii) { return std::wstring(ascii, ascii + strlen(ascii)); }

void SetChild(VARIANT* out, long id) {
    out->vt = VT_I4;
    out->lVal = id;
}

}  // namespace

std::wstring FilesText(int32_t count) {
    char text[kSizeTextMax];
    FormatCount(count, text);
    return Widen(text) + (count == 1 ? L" file" : L" files");
}

std::wstring SizeText(double bytes) {
    char text[kSizeTextMax];
    FormatSize(bytes, text);
    return Widen(text);
}

Accessible::Accessible(HWND hwnd) : hwnd_(hwnd), thread_(GetWindowThreadProcessId(hwnd, nullptr)) {}

STDMETHODIMP Accessible::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || iid == __uuidof(IAccessible)) {
        *out = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) Accessible::AddRef() { return ++references_; }

STDMETHODIMP_(ULONG) Accessible::Release() {
    ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP Accessible::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

void Accessible::Disconnect() {
    if (!connected_.exchange(false)) return;
    // The stubs' references may be the last but the caller's.
    AddRef();
    CoDisconnectObject(static_cast<IAccessible*>(this), 0);
    Release();
}

Accessible::Holder::~Holder() {
    if (!object_) return;
    object_->Disconnect();
    object_->Release();
}

void Accessible::Holder::WindowGone() {
    gone_ = true;
    if (object_) object_->Disconnect();
}

LRESULT Accessible::Holder::Handle(WPARAM wParam) {
    LRESULT handle = LresultFromObject(__uuidof(IAccessible), wParam, object_);
    // Without COM on this thread the object cannot be handed over: the
    // client gets the system's standard one rather than nothing.
    return FAILED(static_cast<HRESULT>(handle)) ? 0 : handle;
}

HRESULT Accessible::Usable() const {
    if (!connected_.load()) return RPC_E_DISCONNECTED;
    // Nothing the object reads is guarded for other threads; through COM
    // every call arrives here, and only a client that passes an apartment's
    // pointer to another thread by hand comes from elsewhere.
    if (GetCurrentThreadId() != thread_) return RPC_E_WRONG_THREAD;
    return S_OK;
}

bool Accessible::ChildOf(const VARIANT& child, long* id) {
    if (child.vt != VT_I4 || child.lVal < 0 || child.lVal > ChildCount()) return false;
    *id = child.lVal;
    return true;
}

HRESULT Accessible::Text(const VARIANT& child, std::wstring Facts::*field, BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    HRESULT usable = Usable();
    if (FAILED(usable)) return usable;
    long id;
    Facts facts;
    if (!ChildOf(child, &id) || !Describe(id, &facts)) return E_INVALIDARG;
    if (!field || (facts.*field).empty()) return S_FALSE;  // no such text
    const std::wstring& text = facts.*field;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP Accessible::get_accParent(IDispatch** parent) {
    if (!parent) return E_POINTER;
    *parent = nullptr;
    HRESULT usable = Usable();
    if (FAILED(usable)) return usable;
    return AccessibleObjectFromWindow(hwnd_, static_cast<DWORD>(OBJID_WINDOW), __uuidof(IDispatch),
                                      reinterpret_cast<void**>(parent));
}

STDMETHODIMP Accessible::get_accChildCount(long* count) {
    if (!count) return E_POINTER;
    *count = 0;
    HRESULT usable = Usable();
    if (FAILED(usable)) return usable;
    *count = ChildCount();
    return S_OK;
}

STDMETHODIMP Accessible::get_accChild(VARIANT child, IDispatch** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    HRESULT usable = Usable();
    if (FAILED(usable)) return usable;
    long id;
    Facts facts;
    if (!ChildOf(child, &id) || id == CHILDID_SELF || !Describe(id, &facts)) return E_INVALIDARG;
    return S_FALSE;  // a simple element: the client asks this object about it
}

STDMETHODIMP Accessible::get_accName(VARIANT child, BSTR* out) { return Text(child, &Facts::name, out); }
STDMETHODIMP Accessible::get_accValue(VARIANT child, BSTR* out) { return Text(child, &Facts::value, out); }
STDMETHODIMP Accessible::get_accDescription(VARIANT child, BSTR* out) {
    return Text(child, &Facts::description, out);
}
STDMETHODIMP Accessible::get_accDefaultAction(VARIANT child, BSTR* out) {
    return Text(child, &Facts::action, out);
}

HRESULT Accessible::Number(const VARIANT& child, long Facts::*field, VARIANT* out) {
    if (!out) return E_POINTER;
    VariantInit(out);
    HRESULT usable = Usable();
    if (FAILED(usable)) return usable;
    long id;
    Facts facts;
    if (!ChildOf(child, &id) || !Describe(id, &facts)) return E_INVALIDARG;
    SetChild(out, facts.*field);
    return S_OK;
}

STDMETHODIMP Accessible::get_accRole(VARIANT child, VARIANT* out) { return Number(child, &Facts::role, out); }
STDMETHODIMP Accessible::get_accState(VARIANT child, VARIANT* out) { return Number(child, &Facts::state, out); }

STDMETHODIMP Accessible::get_accHelp(VARIANT child, BSTR* out) { return Text(child, nullptr, out); }
STDMETHODIMP Accessible::get_accKeyboardShortcut(VARIANT child, BSTR* out) { return Text(child, nullptr, out); }

STDMETHODIMP Accessible::get_accHelpTopic(BSTR* file, VARIANT, long* topic) {
    if (file) *file = nullptr;
    if (topic) *topic = -1;
    HRESULT usable = Usable();
    return FAILED(usable) ? usable : DISP_E_MEMBERNOTFOUND;
}

STDMETHODIMP Accessible::get_accFocus(VARIANT* out) {
    if (!out) return E_POINTER;
    VariantInit(out);
    HRESULT usable = Usable();
    if (FAILED(usable)) return usable;
    long id = FocusedChild();
    if (id < 0) return S_FALSE;
    SetChild(out, id);
    return S_OK;
}

STDMETHODIMP Accessible::get_accSelection(VARIANT* out) {
    if (!out) return E_POINTER;
    VariantInit(out);
    HRESULT usable = Usable();
    if (FAILED(usable)) return usable;
    long id = SelectedChild();
    if (id <= 0) return S_FALSE;
    SetChild(out, id);
    return S_OK;
}

STDMETHODIMP Accessible::accSelect(long flags, VARIANT child) {
    HRESULT usable = Usable();
    if (FAILED(usable)) return usable;
    long id;
    if (!ChildOf(child, &id)) return E_INVALIDARG;
    return Select(id, flags);
}

STDMETHODIMP Accessible::accLocation(long* left, long* top, long* width, long* height, VARIANT child) {
    if (!left || !top || !width || !height) return E_POINTER;
    *left = *top = *width = *height = 0;
    HRESULT usable = Usable();
    if (FAILED(usable)) return usable;
    long id;
    Facts facts;
    if (!ChildOf(child, &id) || !Describe(id, &facts)) return E_INVALIDARG;
    RECT place = facts.place;
    MapWindowPoints(hwnd_, nullptr, reinterpret_cast<POINT*>(&place), 2);
    *left = place.left;
    *top = place.top;
    *width = place.right - place.left;
    *height = place.bottom - place.top;
    return S_OK;
}

STDMETHODIMP Accessible::accNavigate(long direction, VARIANT start, VARIANT* out) {
    if (!out) return E_POINTER;
    VariantInit(out);
    HRESULT usable = Usable();
    if (FAILED(usable)) return usable;
    long from;
    if (!ChildOf(start, &from)) return E_INVALIDARG;
    const long count = ChildCount();
    long to = 0;
    switch (direction) {
    case NAVDIR_FIRSTCHILD:
    case NAVDIR_LASTCHILD:
        if (from != CHILDID_SELF) return E_INVALIDARG;  // a simple element has no children
        if (count > 0) to = direction == NAVDIR_FIRSTCHILD ? 1 : count;
        break;
    // The children stand in one column. The object's own siblings are the
    // window object's to tell.
    case NAVDIR_NEXT:
    case NAVDIR_DOWN:
        if (from != CHILDID_SELF && from < count) to = from + 1;
        break;
    case NAVDIR_PREVIOUS:
    case NAVDIR_UP:
        if (from > 1) to = from - 1;
        break;
    case NAVDIR_LEFT:
    case NAVDIR_RIGHT:
        break;
    default:
        return E_INVALIDARG;
    }
    if (to == 0) return S_FALSE;
    SetChild(out, to);
    return S_OK;
}

STDMETHODIMP Accessible::accHitTest(long left, long top, VARIANT* out) {
    if (!out) return E_POINTER;
    VariantInit(out);
    HRESULT usable = Usable();
    if (FAILED(usable)) return usable;
    POINT point{left, top};
    RECT client;
    if (!ScreenToClient(hwnd_, &point) || !GetClientRect(hwnd_, &client)) return E_FAIL;
    if (!PtInRect(&client, point)) return S_FALSE;
    SetChild(out, ChildAt(point));
    return S_OK;
}

STDMETHODIMP Accessible::accDoDefaultAction(VARIANT child) {
    HRESULT usable = Usable();
    if (FAILED(usable)) return usable;
    long id;
    if (!ChildOf(child, &id)) return E_INVALIDARG;
    return DoDefaultAction(id);
}
