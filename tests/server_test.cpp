// The shell extension as the shell and the registration tools see it: the
// built DLL registered in the Wine prefix, its COM rules, and a host that
// follows the shell's protocol end to end.
#include <gtest/gtest.h>
#include <oleacc.h>
#include <shlobj.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "Programs.h"
#include "TempTree.h"

namespace {

const char kClsid[] = "{5B0D6E6C-3F2A-4C1E-9B7D-1E2A3C4D5E62}";
const char kCommandClsid[] = "{5B0D6E6C-3F2A-4C1E-9B7D-1E2A3C4D5E63}";
const char kLibid[] = "{5B0D6E6C-3F2A-4C1E-9B7D-1E2A3C4D5E60}";
const CLSID CLSID_Quilby = {0x5b0d6e6c, 0x3f2a, 0x4c1e, {0x9b, 0x7d, 0x1e, 0x2a, 0x3c, 0x4d, 0x5e, 0x62}};
const IID IID_IQuilby = {0x5b0d6e6c, 0x3f2a, 0x4c1e, {0x9b, 0x7d, 0x1e, 0x2a, 0x3c, 0x4d, 0x5e, 0x61}};


std::string BuiltDll() { return BuildDir() + "\\Tolv.dll"; }

bool KeyExists(HKEY root, const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// A string value of a key ("" for the default); "<none>" when absent.
std::string Value(HKEY root, const std::string& path, const char* name = nullptr) {
    char data[1024];
    DWORD size = sizeof data, type = 0;
    if (RegGetValueA(root, path.c_str(), name, RRF_RT_REG_SZ, &type, data, &size) != ERROR_SUCCESS) return "<none>";
    return data;
}

DWORD NoteSetting() {
    DWORD value = 99, size = sizeof value;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, "software\\Varnel", "show_dlg", RRF_RT_REG_DWORD, nullptr, &value,
                     &size) != ERROR_SUCCESS)
        return 99;
    return value;
}

// Runs a program, answering every message box it shows with OK; returns its
// exit code. `onBox` runs once when the first box is up.
template <class OnBox>
DWORD RunAnsweringBoxes(std::string command, int* boxes, std::string* boxText, OnBox onBox) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return 0xFFFFFFFF;
    *boxes = 0;
    while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
        HWND box = nullptr;
        while ((box = FindWindowExA(nullptr, box, "#32770", nullptr))) {
            DWORD owner = 0;
            GetWindowThreadProcessId(box, &owner);
            if (owner != process.dwProcessId || !IsWindowVisible(box)) continue;
            char text[256] = "";
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
            if (!text[0]) GetWindowTextA(GetDlgItem(box, 0xFFFF), text, sizeof text);
            if (*boxes == 0) {
                *boxText = text;
                onBox();
            }
            ++*boxes;
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            break;
        }
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return code;
}

DWORD Regsvr32(const std::string& dll, bool unregister, int* boxes = nullptr, std::string* text = nullptr,
               std::function<void()> onBox = [] {}) {
    int count = 0;
    std::string seen;
    std::string command = std::string("regsvr32.exe /s ") + (unregister ? "/u " : "") + "\"" + dll + "\"";
    DWORD code = RunAnsweringBoxes(command, boxes ? boxes : &count, text ? text : &seen, onBox);
    return code;
}

// A copy of the built DLL alone in a folder of its own, as a user installs it.
struct InstalledCopy {
    TempTree tree;
    std::string folder, dll;
    InstalledCopy() {
        tree.Dir("Nav");
        folder = tree.Path("Nav");
        dll = folder + "\\Tolv.dll";
        CopyFileA(BuiltDll().c_str(), dll.c_str(), FALSE);
    }
};

// The command unregistration left for the next logon; taken away again, so
// that the prefix never runs it.
std::string TakeScheduledRemoval() {
    const char* runOnce = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
    std::string command = Value(HKEY_LOCAL_MACHINE, runOnce, "dele");
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, runOnce, "dele");
    return command;
}

std::string CommandShell() {
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    return std::string(windows) + "\\System32\\cmd.exe /c ";
}

const char* const kRemovedKeys[] = {
    "Folder\\ShellEx\\ContextMenuHandlers\\Tolv",
    "Tolv.Quilby.1",
    "Tolv.Quilby.1\\CLSID",
    "Tolv.Quilby",
    "Tolv.Quilby\\CLSID",
    "Tolv.Quilby\\CurVer",
};

TEST(Registration, WritesTheTableAndUnregistrationTakesItBack) {
    InstalledCopy copy;
    ASSERT_TRUE(GetFileAttributesA(copy.dll.c_str()) != INVALID_FILE_ATTRIBUTES);
    HKEY key;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "software\\Varnel", &key), ERROR_SUCCESS);
    DWORD zero = 0;
    RegSetValueExA(key, "show_dlg", 0, REG_DWORD, reinterpret_cast<BYTE*>(&zero), sizeof zero);
    RegCloseKey(key);

    ASSERT_EQ(Regsvr32(copy.dll, false), 0u);
    std::string clsidKey = std::string("CLSID\\") + kClsid;
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, "Folder\\ShellEx\\ContextMenuHandlers\\Tolv"), kClsid);
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, "Tolv.Quilby.1"), "Quilby Class");
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, "Tolv.Quilby.1\\CLSID"), kClsid);
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, "Tolv.Quilby"), "Quilby Class");
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, "Tolv.Quilby\\CLSID"), kClsid);
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, "Tolv.Quilby\\CurVer"), "Tolv.Quilby.1");
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, clsidKey), "Quilby Class");
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, clsidKey + "\\ProgID"), "Tolv.Quilby.1");
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, clsidKey + "\\VersionIndependentProgID"), "Tolv.Quilby");
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, clsidKey + "\\Programmable"));
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, clsidKey + "\\Programmable"), "<none>");
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, clsidKey + "\\InprocServer32"), copy.dll);
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, clsidKey + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, clsidKey + "\\TypeLib"), kLibid);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, std::string("TypeLib\\") + kLibid + "\\1.0"));
    EXPECT_EQ(Value(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kCommandClsid + "\\InprocServer32"), copy.dll);
    EXPECT_EQ(NoteSetting(), 1u);  // back to 1, also after it was 0

    // Unregistration: the message first, while the classes are still there.
    int boxes = 0;
    std::string text;
    bool classPresentAtBox = false, settingGoneAtBox = false;
    DWORD code = Regsvr32(copy.dll, true, &boxes, &text, [&] {
        classPresentAtBox = KeyExists(HKEY_CLASSES_ROOT, clsidKey);
        settingGoneAtBox = !KeyExists(HKEY_LOCAL_MACHINE, "software\\Varnel");
    });
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(text, "All Quorvel files will be removed after reboot");
    EXPECT_TRUE(classPresentAtBox);
    EXPECT_TRUE(settingGoneAtBox);
    for (const char* removed : kRemovedKeys) EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, removed)) << removed;
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, clsidKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kCommandClsid));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::string("TypeLib\\") + kLibid + "\\1.0"));
    for (const char* kept : {"Folder", "Folder\\ShellEx", "Folder\\ShellEx\\ContextMenuHandlers", "CLSID"})
        EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kept)) << kept;

    // The folder holds only the module: the module goes at the next logon,
    // then the folder if nothing else is in it by then.
    EXPECT_EQ(TakeScheduledRemoval(),
              CommandShell() + "del /f /q  \"" + copy.dll + "\" & rd  \"" + copy.folder + "\"");
}

TEST(Registration, TheScheduledRemovalTakesOnlyTheModuleAndGoesWithANewRegistration) {
    InstalledCopy copy;
    copy.tree.File("Nav\\my-notes.txt", 12);  // the user's own file beside the module
    ASSERT_EQ(Regsvr32(copy.dll, false), 0u);
    int boxes = 0;
    std::string text;
    ASSERT_EQ(Regsvr32(copy.dll, true, &boxes, &text), 0u);
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce", "dele"),
              CommandShell() + "del /f /q  \"" + copy.dll + "\"");
    // Registered again from the same folder (an upgrade in place): nothing
    // may remove the new module at the next logon.
    ASSERT_EQ(Regsvr32(copy.dll, false), 0u);
    EXPECT_EQ(TakeScheduledRemoval(), "<none>");

    // A module at a drive's root takes nothing but itself, even alone there.
    TempTree drive;
    if (!drive.Host("ln -sfn \"$PWD\" \"$WINEPREFIX/dosdevices/t:\"")) GTEST_SKIP() << "no host to map a drive";
    std::string atRoot = "T:\\Tolv.dll";
    ASSERT_TRUE(CopyFileA(BuiltDll().c_str(), atRoot.c_str(), FALSE));
    ASSERT_EQ(Regsvr32(atRoot, false), 0u);
    ASSERT_EQ(Regsvr32(atRoot, true, &boxes, &text), 0u);
    EXPECT_EQ(TakeScheduledRemoval(), CommandShell() + "del /f /q  \"" + atRoot + "\"");
    drive.Host("rm -f \"$WINEPREFIX/dosdevices/t:\"");
}

TEST(Module, ExportsAndVersionRecord) {
    std::string dll = BuiltDll();
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(dll.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::string block(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(dll.c_str(), 0, size, &block[0]));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    auto text = [&](const char* name) {
        char* value = nullptr;
        UINT chars = 0;
        std::string path = std::string("\\StringFileInfo\\040904b0\\") + name;
        if (!VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &chars)) return std::string("<none>");
        return std::string(value);
    };
    EXPECT_EQ(text("FileVersion"), "1, 0, 0, 1");
    EXPECT_EQ(text("ProductVersion"), "1, 0, 0, 1");
    EXPECT_EQ(text("FileDescription"), "Tolv Module");
    EXPECT_EQ(text("ProductName"), "Tolv Module");
    EXPECT_EQ(text("InternalName"), "Tolv");
    EXPECT_EQ(text("OriginalFilename"), "Tolv.DLL");
    EXPECT_EQ(text("OLESelfRegister"), "");
    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 1200);

    HMODULE module = LoadLibraryExA(dll.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    char name[32] = "";
    EXPECT_GT(LoadStringA(module, 100, name, sizeof name), 0);
    EXPECT_STREQ(name, "Tolv");
    EXPECT_NE(FindResourceA(module, MAKEINTRESOURCEA(101), "REGISTRY"), nullptr);
    EXPECT_NE(FindResourceA(module, MAKEINTRESOURCEA(1), "TYPELIB"), nullptr);
    EXPECT_NE(FindResourceA(module, MAKEINTRESOURCEA(117), RT_GROUP_ICON), nullptr);
    EXPECT_NE(FindResourceA(module, MAKEINTRESOURCEA(116), RT_BITMAP), nullptr);
    FreeLibrary(module);
}

}  // namespace

namespace {

using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using CanUnloadFn = HRESULT(WINAPI*)();


// The built DLL registered for the whole suite, as regsvr32 leaves it.
class Com : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(Regsvr32(BuiltDll(), false), 0u);
        CoInitialize(nullptr);
        module_ = LoadLibraryA(BuiltDll().c_str());
    }
    static void TearDownTestSuite() {
        CoUninitialize();
        Regsvr32(BuiltDll(), true);
        TakeScheduledRemoval();  // the build's own DLL stays
    }
    static HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) {
        auto get = reinterpret_cast<GetClassObjectFn>(
            reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
        return get(clsid, iid, out);
    }
    static HRESULT CanUnload() {
        auto can = reinterpret_cast<CanUnloadFn>(reinterpret_cast<void*>(GetProcAddress(module_, "DllCanUnloadNow")));
        return can();
    }
    static IUnknown* Create(REFIID iid = IID_IUnknown) {
        IClassFactory* factory = nullptr;
        if (FAILED(GetClassObject(CLSID_Quilby, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) return nullptr;
        IUnknown* object = nullptr;
        factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(&object));
        factory->Release();
        return object;
    }
    static bool WaitUnloadable(DWORD ms) {
        DWORD start = GetTickCount();
        while (CanUnload() != S_OK) {
            if (GetTickCount() - start > ms) return false;
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
            Sleep(10);
        }
        return true;
    }
    static HMODULE module_;
};
HMODULE Com::module_;

TEST_F(Com, ClassObjectAndFactoryRules) {
    ASSERT_NE(module_, nullptr);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(GetClassObject(IID_IQuilby, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(GetClassObject(CLSID_Quilby, IID_IClassFactory, nullptr), E_POINTER);
    IClassFactory* factory = nullptr;
    ASSERT_EQ(GetClassObject(CLSID_Quilby, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IContextMenu, nullptr), E_POINTER);

    // Aggregation: only the inner unknown may be asked for, and the parts
    // then answer through the outer object.
    struct Outer : IUnknown {
        LONG addRefs = 0;
        IUnknown* inner = nullptr;
        STDMETHODIMP QueryInterface(REFIID iid, void** o) override {
            if (iid != IID_IUnknown) return inner->QueryInterface(iid, o);
            *o = this;
            AddRef();
            return S_OK;
        }
        STDMETHODIMP_(ULONG) AddRef() override { return ++addRefs; }
        STDMETHODIMP_(ULONG) Release() override { return --addRefs; }
    } outer;
    IUnknown* refused = nullptr;
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IContextMenu, reinterpret_cast<void**>(&refused)),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(refused, nullptr);
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
    IContextMenu* menu = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)), S_OK);
    EXPECT_EQ(outer.addRefs, 1);  // the part's reference went to the outer object
    IUnknown* viaPart = nullptr;
    menu->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaPart));
    EXPECT_EQ(viaPart, &outer);  // a part's IUnknown is the outer one
    menu->Release();
    viaPart->Release();
    EXPECT_EQ(CanUnload(), S_FALSE);  // the aggregated object lives
    EXPECT_EQ(outer.inner->Release(), 0u);

    // A client's reference to the factory holds the module, and so does
    // LockServer without one.
    EXPECT_EQ(CanUnload(), S_FALSE);
    factory->LockServer(TRUE);
    factory->Release();
    EXPECT_EQ(CanUnload(), S_FALSE);
    ASSERT_EQ(GetClassObject(CLSID_Quilby, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    factory->LockServer(FALSE);
    EXPECT_EQ(CanUnload(), S_FALSE);
    factory->Release();
    EXPECT_EQ(CanUnload(), S_OK);
}

TEST_F(Com, InterfacesAndTheTypeLibrary) {
    IUnknown* object = Create();
    ASSERT_NE(object, nullptr);
    for (const IID* iid : {&IID_IQuilby, &IID_IDispatch, &IID_IContextMenu, &IID_IShellExtInit}) {
        IUnknown* part = nullptr;
        EXPECT_EQ(object->QueryInterface(*iid, reinterpret_cast<void**>(&part)), S_OK);
        if (part) part->Release();
    }
    IUnknown* none = nullptr;
    EXPECT_EQ(object->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&none)), E_NOINTERFACE);

    IDispatch* dispatch = nullptr;
    ASSERT_EQ(object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
    UINT count = 0;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(dispatch->GetTypeInfoCount(nullptr), E_POINTER);
    ITypeInfo* info = nullptr;
    ASSERT_EQ(dispatch->GetTypeInfo(0, 0, &info), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, IID_IQuilby));
    EXPECT_EQ(attributes->cFuncs, 7);  // the seven slots of IDispatch, nothing of its own
    info->ReleaseTypeAttr(attributes);
    BSTR library = nullptr;
    ITypeLib* typeLib = nullptr;
    UINT index = 0;
    ASSERT_EQ(info->GetContainingTypeLib(&typeLib, &index), S_OK);
    typeLib->GetDocumentation(-1, &library, nullptr, nullptr, nullptr);
    EXPECT_EQ(std::wstring(library), L"TolvLib");
    SysFreeString(library);
    typeLib->Release();
    info->Release();
    OLECHAR name[] = L"Anything";
    LPOLESTR names[] = {name};
    DISPID id = 0;
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
    dispatch->Release();
    object->Release();
}

TEST_F(Com, MenuItemVerbsAndCommandStrings) {
    IContextMenu* menu = reinterpret_cast<IContextMenu*>(Create(IID_IContextMenu));
    ASSERT_NE(menu, nullptr);
    HMENU popup = CreatePopupMenu();
    AppendMenuA(popup, MF_STRING, 1, "Open");
    EXPECT_EQ(menu->QueryContextMenu(popup, 1, 100, 200, CMF_DEFAULTONLY), S_OK);
    EXPECT_EQ(GetMenuItemCount(popup), 1);
    EXPECT_EQ(menu->QueryContextMenu(popup, 0, 100, 200, CMF_NORMAL), 1);
    char text[32] = "";
    GetMenuStringA(popup, 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "Varnel");
    EXPECT_EQ(GetMenuItemID(popup, 0), 100u);
    MENUITEMINFOA item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_CHECKMARKS;
    GetMenuItemInfoA(popup, 0, TRUE, &item);
    EXPECT_NE(item.hbmpUnchecked, nullptr);
    EXPECT_EQ(item.hbmpUnchecked, item.hbmpChecked);
    DestroyMenu(popup);

    char buffer[64];
    EXPECT_EQ(menu->GetCommandString(0, GCS_HELPTEXTA, nullptr, buffer, sizeof buffer), E_NOTIMPL);
    EXPECT_EQ(menu->GetCommandString(0, GCS_VERBA, nullptr, buffer, sizeof buffer), E_NOTIMPL);

    // Verbs that are not its own open nothing.
    CMINVOKECOMMANDINFO invoke{};
    invoke.cbSize = sizeof invoke;
    invoke.lpVerb = "open";
    EXPECT_EQ(menu->InvokeCommand(&invoke), S_OK);
    invoke.lpVerb = MAKEINTRESOURCEA(1);
    EXPECT_EQ(menu->InvokeCommand(&invoke), S_OK);
    menu->Release();
    EXPECT_TRUE(WaitUnloadable(500));  // no navigator holds the object
}

// A data object carrying a drop list of folders, as the shell gives for a
// selection; `format` other than CF_HDROP makes it offer nothing usable.
struct DropData : IDataObject {
    std::string files;  // zero-separated, ending with two zeros; UTF-8 when `wide`
    bool wide = false;  // the list in UTF-16, as the shell gives it
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IDataObject) {
            *out = this;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (files.empty() || format->cfFormat != CF_HDROP || !(format->tymed & TYMED_HGLOBAL)) return DV_E_FORMATETC;
        std::wstring units = Wide(files);
        size_t bytes = wide ? units.size() * sizeof(wchar_t) : files.size();
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + bytes + 4);
        auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
        drop->pFiles = sizeof(DROPFILES);
        drop->fWide = wide;
        memcpy(drop + 1, wide ? static_cast<const void*>(units.data()) : files.data(), bytes);
        GlobalUnlock(memory);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = memory;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP DUnadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
};

TEST_F(Com, SeveralFoldersOpenTheFirstAndASecondNavigatorDoesNot) {
    TempTree tree;
    tree.Dir("first");
    tree.Dir("second");
    tree.File("first\\a", 5);
    IShellExtInit* init = reinterpret_cast<IShellExtInit*>(Create(IID_IShellExtInit));
    ASSERT_NE(init, nullptr);
    DropData empty;
    EXPECT_EQ(init->Initialize(nullptr, nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(init->Initialize(nullptr, &empty, nullptr), E_INVALIDARG);
    DropData missing;
    missing.files = tree.Path("gone") + std::string(1, '\0');
    EXPECT_EQ(init->Initialize(nullptr, &missing, nullptr), E_INVALIDARG);
    // The shell's own name of a folder, whatever the platform would make of it.
    tree.Dir("dot.");
    DropData dotted;
    dotted.wide = true;
    dotted.files = tree.Path("dot.") + std::string(1, '\0');
    EXPECT_EQ(init->Initialize(nullptr, &dotted, nullptr), S_OK);
    DropData both;
    both.files = tree.Path("first") + std::string(1, '\0') + tree.Path("second") + std::string(1, '\0');
    EXPECT_EQ(init->Initialize(nullptr, &both, nullptr), S_OK);

    IContextMenu* menu = nullptr;
    init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu));
    CMINVOKECOMMANDINFO invoke{};
    invoke.cbSize = sizeof invoke;
    EXPECT_EQ(menu->InvokeCommand(&invoke), S_OK);
    HWND navigator = FindWindowA(tree.Path("first").c_str(), nullptr);
    EXPECT_NE(navigator, nullptr);
    EXPECT_EQ(FindWindowA(tree.Path("second").c_str(), nullptr), nullptr);
    menu->Release();
    init->Release();  // as the shell does: the navigator keeps the object
    EXPECT_EQ(CanUnload(), S_FALSE);

    // A second object for the same folder: no window, S_OK, and it is
    // released (its keep-alive thread does not wait for a close that never comes).
    IShellExtInit* other = reinterpret_cast<IShellExtInit*>(Create(IID_IShellExtInit));
    ASSERT_NE(other, nullptr);
    DropData same;
    same.files = tree.Path("first") + std::string(1, '\0');
    EXPECT_EQ(other->Initialize(nullptr, &same, nullptr), S_OK);
    IContextMenu* otherMenu = nullptr;
    other->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&otherMenu));
    EXPECT_EQ(otherMenu->InvokeCommand(&invoke), S_OK);
    otherMenu->Release();
    other->Release();

    // Close the navigator; the module stays for a second after, then may go.
    Sleep(800);  // let its scan end
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    DestroyWindow(navigator);
    DWORD closed = GetTickCount();
    EXPECT_EQ(CanUnload(), S_FALSE);
    ASSERT_TRUE(WaitUnloadable(5000));
    EXPECT_GE(GetTickCount() - closed, 950u);
}

// What a screen reader finds in a navigator once its scan has ended: the
// names of the list's rows, in order. Empty when the scan does not end.
std::vector<std::wstring> RowsOnceScanned(HWND navigator, const std::wstring& folder) {
    auto object = [](HWND pane) {
        IAccessible* found = nullptr;
        AccessibleObjectFromWindow(pane, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                   reinterpret_cast<void**>(&found));
        return found;
    };
    IAccessible* list = object(FindWindowExW(navigator, nullptr, (folder + L"child").c_str(), nullptr));
    IAccessible* header = object(FindWindowExW(navigator, nullptr, (folder + L"head").c_str(), nullptr));
    std::vector<std::wstring> rows;
    if (!list || !header) return rows;
    VARIANT self;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    bool scanned = false;
    for (DWORD start = GetTickCount(); !scanned && GetTickCount() - start < 20000;) {
        BSTR value = nullptr;
        scanned = SUCCEEDED(header->get_accValue(self, &value)) && value && wcscmp(value, L"Scanning") != 0;
        SysFreeString(value);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(10);
    }
    long count = 0;
    if (scanned && SUCCEEDED(list->get_accChildCount(&count)))
        for (long i = 1; i <= count; ++i) {
            VARIANT row = self;
            row.lVal = i;
            BSTR name = nullptr;
            if (SUCCEEDED(list->get_accName(row, &name)) && name) rows.push_back(name);
            SysFreeString(name);
        }
    list->Release();
    header->Release();
    return rows;
}

TEST_F(Com, AKeptObjectOpensExactlyEachFolderItIsGivenRightAfterTheLastClosed) {
    TempTree tree;
    tree.Dir("A");
    tree.Dir("B");
    tree.File("A\\a-small", 5);
    tree.File("A\\a-large", 500);
    tree.File("B\\b-only", 7);
    const std::vector<std::wstring> rowsOf[] = {{L"a-large", L"a-small"}, {L"b-only"}};
    IShellExtInit* init = reinterpret_cast<IShellExtInit*>(Create(IID_IShellExtInit));
    ASSERT_NE(init, nullptr);
    IContextMenu* menu = nullptr;
    init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu));
    CMINVOKECOMMANDINFO invoke{};
    invoke.cbSize = sizeof invoke;
    // The host keeps the object, as the shell may: initialised again and
    // invoked again, each time at once after the last navigator closed.
    for (int folder : {0, 1, 0, 0}) {
        std::string path = tree.Path(folder ? "B" : "A");
        DropData drop;
        drop.files = path + std::string(1, '\0');
        ASSERT_EQ(init->Initialize(nullptr, &drop, nullptr), S_OK);
        EXPECT_EQ(menu->InvokeCommand(&invoke), S_OK);
        HWND navigator = FindWindowW(Wide(path).c_str(), nullptr);
        ASSERT_NE(navigator, nullptr) << path;
        EXPECT_EQ(RowsOnceScanned(navigator, Wide(path)), rowsOf[folder]) << path;
        DestroyWindow(navigator);
    }
    // Given what is no folder (a file first, a folder gone), it opens
    // nothing, not even the folder it was given before.
    tree.Dir("gone");
    RemoveDirectoryW(Exact(tree.Path("gone")).c_str());
    for (const char* item : {"A\\a-small", "gone"}) {
        DropData drop;
        drop.files = tree.Path(item) + std::string(1, '\0') + tree.Path("B") + std::string(1, '\0');
        EXPECT_EQ(init->Initialize(nullptr, &drop, nullptr), E_INVALIDARG) << item;
        menu->InvokeCommand(&invoke);
        for (const char* folder : {item, "A"}) EXPECT_EQ(FindWindowW(Wide(tree.Path(folder)).c_str(), nullptr), nullptr) << item;
    }
    menu->Release();
    init->Release();
    ASSERT_TRUE(WaitUnloadable(10000));
}

// Invokes the menu on a thread of its own, which then ends without taking a
// message: its windows go with it, unasked.
DWORD WINAPI InvokeAndEnd(LPVOID param) {
    CoInitialize(nullptr);
    auto* init = static_cast<IShellExtInit*>(param);
    IContextMenu* menu = nullptr;
    init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu));
    CMINVOKECOMMANDINFO invoke{};
    invoke.cbSize = sizeof invoke;
    menu->InvokeCommand(&invoke);
    menu->Release();
    CoUninitialize();
    return 0;
}

TEST_F(Com, ANavigatorWhoseThreadEndsLetsItsScanAndTheModuleGo) {
    TempTree tree;
    tree.Dir("Brief");
    tree.File("Brief\\x", 10);
    auto* init = reinterpret_cast<IShellExtInit*>(Create(IID_IShellExtInit));
    ASSERT_NE(init, nullptr);
    DropData drop;
    drop.files = tree.Path("Brief") + std::string(1, '\0');
    ASSERT_EQ(init->Initialize(nullptr, &drop, nullptr), S_OK);
    HANDLE thread = CreateThread(nullptr, 0, InvokeAndEnd, init, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    CloseHandle(thread);
    init->Release();
    // Its session ends: the scan is joined and the module may go.
    EXPECT_TRUE(WaitUnloadable(10000));
}

TEST_F(Com, AReaderHoldingTheAccessibleObjectsKeepsTheModuleUntilItLetsGo) {
    // A screen reader's hook in the shell's process holds the list's and the
    // header's objects while the navigator closes and the shell frees unused
    // libraries: the module stays, the calls fail as disconnected, and the
    // module goes once they are released.
    TempTree tree;
    tree.Dir("Held");
    tree.File("Held\\one", 20);
    DWORD code = 1;
    std::string output = Capture("\"" + BuildDir() + "\\shellhost.exe\" \"" + tree.Path("Held") +
                                     "\" --close --hold-readers --wait 5000",
                                 &code);
    EXPECT_EQ(code, 0u) << output;
    for (const char* line : {"navigator: closed", "held: 0x00000001, module loaded",
                             "calls after the close: 0x80010108 0x80010108", "readers: released",
                             "unload: 0x00000000 at first", "module: unloaded"})
        EXPECT_NE(output.find(line), std::string::npos) << line << "\n" << output;
}

TEST_F(Com, AHostFollowingTheShellsProtocolOpensAndClosesTheNavigator) {
    // A name outside the code page, beside its look-alike: the navigator
    // (its class named after the path it was given) opens on the very folder.
    TempTree tree;
    tree.Dir("Főt");
    tree.Dir("Fot");
    tree.File("Főt\\one.jpg", 2000);
    DWORD code = 1;
    std::string output =
        Capture("\"" + BuildDir() + "\\shellhost.exe\" \"" + tree.Path("Főt") + "\" --close --wait 800", &code);
    EXPECT_EQ(code, 0u) << output;
    for (const std::string& line :
         {std::string("handler: ") + kClsid, std::string("create: 0x00000000"),
          std::string("data object: from the shell folder"), std::string("initialize: 0x00000000"),
          std::string("menu: 0x00000001 \"Varnel\" id 1 bitmap yes"), std::string("invoke: 0x00000000"),
          std::string("navigator: open"), std::string("navigator: closed"),
          std::string("unload: 0x00000001 at first, S_OK after ")})
        EXPECT_NE(output.find(line), std::string::npos) << line << "\n" << output;
    unsigned long after = 0;
    size_t at = output.find("S_OK after ");
    if (at != std::string::npos) after = strtoul(output.c_str() + at + 11, nullptr, 10);
    EXPECT_GE(after, 950u);
    EXPECT_LT(after, 3000u);
}

}  // namespace
