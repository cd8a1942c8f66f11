// The shell's context-menu handler for folders: adds "Varnel" to a folder's
// menu and, when it is chosen, opens the navigator on that folder.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "Module.h"
#include "Tolv_h.h"

class CQuilby : public IQuilby, public IContextMenu, public IShellExtInit {
public:
    // `outer` is the controlling unknown when aggregated, else null.
    explicit CQuilby(IUnknown* outer);
    virtual ~CQuilby();

    // The object's own unknown: the one the class factory hands out.
    IUnknown* Inner() { return &inner_; }

    // IUnknown, delegated to the controlling unknown.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return outer_->QueryInterface(iid, out); }
    STDMETHODIMP_(ULONG) AddRef() override { return outer_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return outer_->Release(); }

    // IDispatch, from the registered type library.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) override;

    // IContextMenu.
    STDMETHODIMP QueryContextMenu(HMENU menu, UINT index, UINT firstId, UINT lastId, UINT flags) override;
    STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* info) override;
    STDMETHODIMP GetCommandString(UINT_PTR id, UINT type, UINT* reserved, LPSTR name, UINT size) override;

    // IShellExtInit.
    STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY progId) override;

private:
    // The non-delegating unknown that answers for the object itself.
    struct InnerUnknown : IUnknown {
        STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
        STDMETHODIMP_(ULONG) AddRef() override;
        STDMETHODIMP_(ULONG) Release() override;
        CQuilby* Self() { return self; }
        CQuilby* self;
    };
    HRESULT LoadTypeInfo();

    // Holds the module for exactly the object's life: declared first, it is
    // destroyed last. A navigator it opened holds the module on its own.
    ModuleHold moduleHold_;
    LONG references_;
    std::wstring path_;  // the first selected folder, as the shell names it
    InnerUnknown inner_;
    IUnknown* outer_;
    ITypeInfo* typeInfo_;
};
