// The common part of the navigator's accessible objects (Active
// Accessibility): the COM plumbing, the checks every call makes, and answers
// for what an object does not have. An object answers for one window and its
// simple children (child ids 1..ChildCount), never for objects of their own.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oleacc.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "ModuleHold.h"

// Posted to a pane's window by a default action, which must not act inside
// the client's call: the window's thread does it when it gets there.
constexpr UINT kDefaultActionMessage = WM_APP + 1;

class Accessible : public IAccessible {
public:
    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IDispatch: no type information; clients call through the vtable.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    // IAccessible
    STDMETHODIMP get_accParent(IDispatch** parent) override;
    STDMETHODIMP get_accChildCount(long* count) override;
    STDMETHODIMP get_accChild(VARIANT child, IDispatch** out) override;
    STDMETHODIMP get_accName(VARIANT child, BSTR* out) override;
    STDMETHODIMP get_accValue(VARIANT child, BSTR* out) override;
    STDMETHODIMP get_accDescription(VARIANT child, BSTR* out) override;
    STDMETHODIMP get_accRole(VARIANT child, VARIANT* out) override;
    STDMETHODIMP get_accState(VARIANT child, VARIANT* out) override;
    STDMETHODIMP get_accHelp(VARIANT child, BSTR* out) override;
    STDMETHODIMP get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override;
    STDMETHODIMP get_accKeyboardShortcut(VARIANT child, BSTR* out) override;
    STDMETHODIMP get_accFocus(VARIANT* out) override;
    STDMETHODIMP get_accSelection(VARIANT* out) override;
    STDMETHODIMP get_accDefaultAction(VARIANT child, BSTR* out) override;
    STDMETHODIMP accSelect(long flags, VARIANT child) override;
    STDMETHODIMP accLocation(long* left, long* top, long* width, long* height, VARIANT child) override;
    STDMETHODIMP accNavigate(long direction, VARIANT start, VARIANT* out) override;
    STDMETHODIMP accHitTest(long left, long top, VARIANT* out) override;
    STDMETHODIMP accDoDefaultAction(VARIANT child) override;
    STDMETHODIMP put_accName(VARIANT, BSTR) override { return DISP_E_MEMBERNOTFOUND; }
    STDMETHODIMP put_accValue(VARIANT, BSTR) override { return DISP_E_MEMBERNOTFOUND; }

    // Called on the window's thread as the window goes, before the pane that
    // the object reads is freed: every later call fails with
    // RPC_E_DISCONNECTED, and COM's stubs let go of the object, so a client
    // in another process holds nothing of it.
    void Disconnect();

    // A pane's object: made on the first request, disconnected as the
    // window goes, released with the pane.
    class Holder {
    public:
        Holder() = default;
        ~Holder();
        Holder(const Holder&) = delete;
        Holder& operator=(const Holder&) = delete;
        // The answer to WM_GETOBJECT for the client area, or 0 for the
        // window's default answer. `make` makes the object (or null).
        template <class Make>
        LRESULT Answer(WPARAM wParam, LPARAM lParam, Make make) {
            if (static_cast<DWORD>(lParam) != static_cast<DWORD>(OBJID_CLIENT) || gone_) return 0;
            if (!object_) object_ = make();
            return object_ ? Handle(wParam) : 0;
        }
        void WindowGone();

    private:
        LRESULT Handle(WPARAM wParam);
        Accessible* object_ = nullptr;
        bool gone_ = false;  // no new object once the window went
    };

protected:
    explicit Accessible(HWND hwnd);
    virtual ~Accessible() = default;

    // What one element is, read at once so that its parts agree.
    struct Facts {
        long role = 0;
        long state = 0;
        std::wstring name, value, description, action;  // empty: none
        RECT place{0, 0, 0, 0};  // in the window's client coordinates
    };
    // The derived object's answers. They run only while connected, on the
    // window's thread; `child` is 0 for the object itself or 1..ChildCount().
    virtual long ChildCount() = 0;
    // False when there is no such element (any more).
    virtual bool Describe(long child, Facts* out) = 0;
    // The element at a client point inside the window: a child id, or 0.
    virtual long ChildAt(POINT client) { return 0; }
    // The element that has the keyboard focus: a child, 0 for the object
    // itself, kNoChild when the focus is elsewhere.
    virtual long FocusedChild() { return kNoChild; }
    // The selected child; kNoChild (or 0) for none.
    virtual long SelectedChild() { return FocusedChild(); }
    static constexpr long kNoChild = -1;
    virtual HRESULT Select(long child, long flags) { return DISP_E_MEMBERNOTFOUND; }
    virtual HRESULT DoDefaultAction(long child) { return DISP_E_MEMBERNOTFOUND; }

    HWND hwnd_;

private:
    // S_OK when a call may go on: connected and on the window's thread, the
    // one thread a single-threaded apartment's object is called on.
    HRESULT Usable() const;
    // The child id of a call, checked; false for none or a wrong type.
    bool ChildOf(const VARIANT& child, long* id);
    // One of the element's texts; `field` null for a text no element has.
    HRESULT Text(const VARIANT& child, std::wstring Facts::*field, BSTR* out);
    // The element's role or state, as an integer variant.
    HRESULT Number(const VARIANT& child, long Facts::*field, VARIANT* out);

    // A client may hold the object after its pane has gone: the module's
    // code stays for its calls and its last Release.
    ModuleHold moduleHold_;
    std::atomic<ULONG> references_{1};
    std::atomic<bool> connected_{true};
    DWORD thread_;
};

// "1 file", "9600 files": the file counts that the objects read out.
std::wstring FilesText(int32_t count);
// A size as the navigator shows it ("210.078 Mb").
std::wstring SizeText(double bytes);
