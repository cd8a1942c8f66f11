#include "Quilby.h"

#include <shellapi.h>

#include <cstring>

#include "Dpi.h"
#include "Images.h"
#include "Module.h"
#include "Session.h"

namespace {

constexpr int kMenuBitmap = 116;

// The menu item's image, in the check mark's place at the check mark's size
// there. Menus do not own the bitmaps attached to them, so one per menu
// built would never be freed: each size is loaded once for the module (the
// shell may build menus on several threads).
HBITMAP MenuBitmap(int size) {
    static SRWLOCK lock = SRWLOCK_INIT;
    static struct {
        int size;
        HBITMAP bitmap;
    } loaded[8];
    AcquireSRWLockExclusive(&lock);
    HBITMAP bitmap = nullptr;
    for (auto& slot : loaded) {
        if (slot.bitmap && slot.size != size) continue;
        if (!slot.bitmap) slot = {size, LoadBitmapForSize(g_module, kMenuBitmap, size)};
        bitmap = slot.bitmap;
        break;
    }
    ReleaseSRWLockExclusive(&lock);
    return bitmap;
}

}  // namespace

CQuilby::CQuilby(IUnknown* outer) : references_(0), outer_(outer ? outer : &inner_), typeInfo_(nullptr) {
    inner_.self = this;
}

CQuilby::~CQuilby() {
    if (typeInfo_) typeInfo_->Release();
}

STDMETHODIMP CQuilby::InnerUnknown::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    CQuilby* self = Self();
    if (iid == IID_IUnknown)
        *out = static_cast<IUnknown*>(this);
    else if (iid == IID_IQuilby || iid == IID_IDispatch)
        *out = static_cast<IQuilby*>(self);
    else if (iid == IID_IContextMenu)
        *out = static_cast<IContextMenu*>(self);
    else if (iid == IID_IShellExtInit)
        *out = static_cast<IShellExtInit*>(self);
    else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    static_cast<IUnknown*>(*out)->AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CQuilby::InnerUnknown::AddRef() { return InterlockedIncrement(&Self()->references_); }

STDMETHODIMP_(ULONG) CQuilby::InnerUnknown::Release() {
    CQuilby* self = Self();
    LONG left = InterlockedDecrement(&self->references_);
    if (left == 0) delete self;
    return left;
}

HRESULT CQuilby::LoadTypeInfo() {
    if (typeInfo_) return S_OK;
    ITypeLib* library = nullptr;
    HRESULT hr = LoadRegTypeLib(LIBID_TolvLib, 1, 0, LOCALE_NEUTRAL, &library);
    if (FAILED(hr)) return hr;
    hr = library->GetTypeInfoOfGuid(IID_IQuilby, &typeInfo_);
    library->Release();
    return hr;
}

STDMETHODIMP CQuilby::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

STDMETHODIMP CQuilby::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    HRESULT hr = LoadTypeInfo();
    if (FAILED(hr)) return hr;
    typeInfo_->AddRef();
    *info = typeInfo_;
    return S_OK;
}

STDMETHODIMP CQuilby::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    HRESULT hr = LoadTypeInfo();
    if (FAILED(hr)) return hr;
    return DispGetIDsOfNames(typeInfo_, names, count, ids);
}

STDMETHODIMP CQuilby::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                             EXCEPINFO* exception, UINT* argError) {
    HRESULT hr = LoadTypeInfo();
    if (FAILED(hr)) return hr;
    return DispInvoke(static_cast<IQuilby*>(this), typeInfo_, id, flags, params, result, exception, argError);
}

STDMETHODIMP CQuilby::Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY) {
    // A folder, or nothing: a failed Initialize leaves no folder of an
    // earlier one for the next invocation to open.
    path_.clear();
    if (!data) return E_INVALIDARG;
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium;
    if (FAILED(data->GetData(&format, &medium))) return E_INVALIDARG;
    auto drop = static_cast<HDROP>(GlobalLock(medium.hGlobal));
    if (!drop) {
        ReleaseStgMedium(&medium);
        return E_INVALIDARG;
    }
    HRESULT result = E_INVALIDARG;
    if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) > 0) {
        // The first selected item only; further ones are ignored. Its name is
        // taken as the shell holds it, whatever characters it has.
        UINT length = DragQueryFileW(drop, 0, nullptr, 0);
        std::wstring first(length, L'\0');
        if (length != 0 && DragQueryFileW(drop, 0, &first[0], length + 1) == length &&
            NavigatorSession::IsFolder(first)) {
            path_ = first;
            result = S_OK;
        }
    }
    GlobalUnlock(medium.hGlobal);
    ReleaseStgMedium(&medium);
    return result;
}

STDMETHODIMP CQuilby::QueryContextMenu(HMENU menu, UINT index, UINT firstId, UINT, UINT flags) {
    if (flags & CMF_DEFAULTONLY) return S_OK;
    InsertMenuA(menu, index, MF_BYPOSITION | MF_STRING, firstId, "Varnel");
    POINT at{0, 0};
    GetCursorPos(&at);  // where the menu opens, on that monitor's scale
    if (HBITMAP bitmap = MenuBitmap(MenuCheckSize(DpiForNewWindow(at))))
        SetMenuItemBitmaps(menu, index, MF_BYPOSITION, bitmap, bitmap);
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1);
}

STDMETHODIMP CQuilby::GetCommandString(UINT_PTR, UINT, UINT*, LPSTR, UINT) { return E_NOTIMPL; }

STDMETHODIMP CQuilby::InvokeCommand(CMINVOKECOMMANDINFO* info) {
    if (!info || info->lpVerb != nullptr) return S_OK;  // a verb string, or an offset other than 0
    if (path_.empty()) return E_FAIL;                   // no folder from the last Initialize
    // A navigator of its own for each invocation, on the folder of the last
    // Initialize: the shell may keep this object and use it again.
    NavigatorSession::Open(path_, g_module);
    return S_OK;
}
