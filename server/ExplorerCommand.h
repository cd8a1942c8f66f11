// The command that Windows 11 shows in a folder's first-level menu: the same
// "Varnel" as the classic handler, asked for through IExplorerCommand. It
// opens the navigator out of the shell's process, in Tolv.exe beside the
// module, so that nothing it does can hold or end the shell.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include "ModuleHold.h"

// {5B0D6E6C-3F2A-4C1E-9B7D-1E2A3C4D5E63}
static const CLSID CLSID_VarnelCommand = {0x5b0d6e6c, 0x3f2a, 0x4c1e, {0x9b, 0x7d, 0x1e, 0x2a, 0x3c, 0x4d, 0x5e, 0x63}};

class CExplorerCommand : public IExplorerCommand, public IObjectWithSite {
public:
    CExplorerCommand() = default;
    virtual ~CExplorerCommand();

    // IUnknown.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IExplorerCommand.
    STDMETHODIMP GetTitle(IShellItemArray* items, LPWSTR* name) override;
    STDMETHODIMP GetIcon(IShellItemArray* items, LPWSTR* icon) override;
    STDMETHODIMP GetToolTip(IShellItemArray* items, LPWSTR* tip) override;
    STDMETHODIMP GetCanonicalName(GUID* name) override;
    STDMETHODIMP GetState(IShellItemArray* items, BOOL okToBeSlow, EXPCMDSTATE* state) override;
    STDMETHODIMP Invoke(IShellItemArray* items, IBindCtx* context) override;
    STDMETHODIMP GetFlags(EXPCMDFLAGS* flags) override;
    STDMETHODIMP EnumSubCommands(IEnumExplorerCommand** commands) override;

    // IObjectWithSite.
    STDMETHODIMP SetSite(IUnknown* site) override;
    STDMETHODIMP GetSite(REFIID iid, void** site) override;

private:
    // Holds the module for exactly the object's life: declared first, it is
    // destroyed last.
    ModuleHold moduleHold_;
    LONG references_ = 1;
    IUnknown* site_ = nullptr;
};
