// The command of Windows 11's first-level menu, as the shell creates it and
// hands it the items of a right-click: registered beside the classic handler,
// shown for exactly one file-system folder, and opening the navigator on the
// very folder in a program of its own.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

#include "Programs.h"
#include "TempTree.h"

namespace {

const CLSID kCommandClass = {0x5b0d6e6c, 0x3f2a, 0x4c1e, {0x9b, 0x7d, 0x1e, 0x2a, 0x3c, 0x4d, 0x5e, 0x63}};
const GUID kCanonicalName = {0x5b0d6e6c, 0x3f2a, 0x4c1e, {0x9b, 0x7d, 0x1e, 0x2a, 0x3c, 0x4d, 0x5e, 0x64}};
const char kCommandKey[] = "CLSID\\{5B0D6E6C-3F2A-4C1E-9B7D-1E2A3C4D5E63}";

std::string Value(const std::string& path, const char* name = nullptr) {
    char data[1024];
    DWORD size = sizeof data;
    if (RegGetValueA(HKEY_CLASSES_ROOT, path.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return "<none>";
    return data;
}

std::string BuiltDll() { return BuildDir() + "\\Tolv.dll"; }

// The built module registered for the suite, and taken back quietly after.
class Command : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CoInitialize(nullptr);
        module_ = LoadLibraryA(BuiltDll().c_str());
        auto registerServer = reinterpret_cast<HRESULT(WINAPI*)()>(
            reinterpret_cast<void*>(GetProcAddress(module_, "DllRegisterServer")));
        registered_ = registerServer && registerServer() == S_OK;
    }
    static void TearDownTestSuite() {
        auto install = reinterpret_cast<HRESULT(WINAPI*)(BOOL, LPCWSTR)>(
            reinterpret_cast<void*>(GetProcAddress(module_, "DllInstall")));
        if (install) install(FALSE, L"quiet");
        CoUninitialize();
    }
    void SetUp() override { ASSERT_TRUE(registered_); }
    static HRESULT CanUnload() {
        auto can = reinterpret_cast<HRESULT(WINAPI*)()>(
            reinterpret_cast<void*>(GetProcAddress(module_, "DllCanUnloadNow")));
        return can();
    }
    // What the shell host prints for ITEM (and a second item) on the command's way.
    // A drive's root ends in a separator, which the quote after it would escape.
    static std::string Host(const std::string& item, const std::string& options, DWORD* code) {
        std::string quoted = item.back() == '\\' ? item + "\\" : item;
        return Capture("\"" + BuildDir() + "\\shellhost.exe\" \"" + quoted + "\" --command " + options, code);
    }
    static HMODULE module_;
    static bool registered_;
};
HMODULE Command::module_;
bool Command::registered_;

// A site that counts what the command holds of it.
struct Site : IUnknown {
    LONG references = 1;
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        *out = iid == IID_IUnknown ? this : nullptr;
        if (!*out) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override { return --references; }
};

std::wstring Taken(LPWSTR text) {
    std::wstring copy = text ? text : L"<null>";
    CoTaskMemFree(text);
    return copy;
}

TEST_F(Command, IsRegisteredBesideTheMenuHandlerAndAnswersAsTheShellAsks) {
    EXPECT_EQ(Value(std::string(kCommandKey) + "\\InprocServer32"), BuiltDll());
    EXPECT_EQ(Value(std::string(kCommandKey) + "\\InprocServer32", "ThreadingModel"), "Apartment");

    Site outer;
    IUnknown* refused = nullptr;
    EXPECT_EQ(CoCreateInstance(kCommandClass, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&refused)),
              CLASS_E_NOAGGREGATION);
    IExplorerCommand* command = nullptr;
    ASSERT_EQ(CoCreateInstance(kCommandClass, nullptr, CLSCTX_INPROC_SERVER, IID_IExplorerCommand,
                               reinterpret_cast<void**>(&command)),
              S_OK);
    LPWSTR text = nullptr;
    EXPECT_EQ(command->GetTitle(nullptr, &text), S_OK);
    EXPECT_EQ(Taken(text), L"Varnel");
    EXPECT_EQ(command->GetIcon(nullptr, &text), S_OK);
    EXPECT_EQ(Taken(text), Wide(BuiltDll()) + L",-117");
    EXPECT_EQ(command->GetToolTip(nullptr, &text), S_OK);
    EXPECT_FALSE(Taken(text).empty());
    GUID name{};
    EXPECT_EQ(command->GetCanonicalName(&name), S_OK);
    EXPECT_TRUE(IsEqualGUID(name, kCanonicalName));
    EXPCMDFLAGS flags = 99;
    EXPECT_EQ(command->GetFlags(&flags), S_OK);
    EXPECT_EQ(flags, static_cast<EXPCMDFLAGS>(ECF_DEFAULT));
    IEnumExplorerCommand* subcommands = reinterpret_cast<IEnumExplorerCommand*>(1);
    EXPECT_EQ(command->EnumSubCommands(&subcommands), E_NOTIMPL);
    EXPECT_EQ(subcommands, nullptr);
    EXPCMDSTATE state = ECS_ENABLED;
    EXPECT_EQ(command->GetState(nullptr, TRUE, &state), S_OK);
    EXPECT_EQ(state, static_cast<EXPCMDSTATE>(ECS_HIDDEN));

    // Invoked without its state asked: no array, or two folders, opens none.
    EXPECT_EQ(command->Invoke(nullptr, nullptr), E_INVALIDARG);
    {
        TempTree tree;
        tree.Dir("one");
        tree.Dir("two");
        PIDLIST_ABSOLUTE lists[2] = {};
        ASSERT_EQ(SHParseDisplayName(Wide(tree.Path("one")).c_str(), nullptr, &lists[0], 0, nullptr), S_OK);
        ASSERT_EQ(SHParseDisplayName(Wide(tree.Path("two")).c_str(), nullptr, &lists[1], 0, nullptr), S_OK);
        IShellItemArray* two = nullptr;
        ASSERT_EQ(SHCreateShellItemArrayFromIDLists(2, const_cast<PCIDLIST_ABSOLUTE_ARRAY>(lists), &two), S_OK);
        DWORD count = 0;
        EXPECT_EQ(two->GetCount(&count), S_OK);
        EXPECT_EQ(count, 2u);
        EXPECT_EQ(command->Invoke(two, nullptr), E_INVALIDARG);
        two->Release();
        CoTaskMemFree(lists[0]);
        CoTaskMemFree(lists[1]);
    }

    // The site is held until the shell sets none; then nothing holds it.
    IObjectWithSite* withSite = nullptr;
    ASSERT_EQ(command->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void**>(&withSite)), S_OK);
    EXPECT_EQ(withSite->SetSite(&outer), S_OK);
    IUnknown* got = nullptr;
    EXPECT_EQ(withSite->GetSite(IID_IUnknown, reinterpret_cast<void**>(&got)), S_OK);
    EXPECT_EQ(got, &outer);
    got->Release();
    EXPECT_EQ(withSite->SetSite(nullptr), S_OK);
    EXPECT_EQ(outer.references, 1);
    withSite->Release();
    EXPECT_EQ(CanUnload(), S_FALSE);  // the command lives
    command->Release();
    EXPECT_EQ(CanUnload(), S_OK);
}

// Shown for one file-system folder, a drive's root too; hidden for a file,
// a virtual folder and two folders.
TEST_F(Command, TheShellsItemsShowItForExactlyOneFolder) {
    TempTree tree;
    tree.Dir("one");
    tree.Dir("two");
    tree.File("note.txt", 10);
    struct {
        std::string item, options, state;
    } cases[] = {{"C:\\", "--state-only", "enabled"},
                 {tree.Path("note.txt"), "", "hidden"},
                 {"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}", "", "hidden"},  // the computer, a virtual folder
                 {tree.Path("one"), "--state-only --with \"" + tree.Path("two") + "\"", "hidden"}};
    for (const auto& c : cases) {
        DWORD code = 1;
        std::string output = Host(c.item, c.options, &code);
        EXPECT_EQ(code, 0u) << output;
        EXPECT_NE(output.find("title: 0x00000000 \"Varnel\""), std::string::npos) << output;
        EXPECT_NE(output.find("state: 0x00000000 " + c.state), std::string::npos) << c.item << "\n" << output;
        EXPECT_EQ(output.find("invoke:"), std::string::npos) << output;
    }
}

// Each folder beside a look-alike that the platform's paths would take for
// it: the navigator opens on the very folder the shell listed, out of the
// shell's process, and its program ends with it.
TEST_F(Command, InvokeOpensTheNavigatorOnTheVeryFolderInAProgramOfItsOwn) {
    TempTree tree;
    for (const char* name : {"Főt", "Fot", "dot.", "dot", "space ", "space"}) tree.Dir(name);
    for (const char* name : {"Főt", "dot.", "space "}) {
        DWORD code = 1;
        std::string output = Host(tree.Path(name), "--close", &code);
        EXPECT_EQ(code, 0u) << output;
        for (const char* line : {"items: from the shell's parse", "state: 0x00000000 enabled", "invoke: 0x00000000",
                                 "navigator: open apart", "program: exited 0"})
            EXPECT_NE(output.find(line), std::string::npos) << name << ": " << line << "\n" << output;
    }
    // A drive's root, whose path ends in a separator, which the program's
    // command line must not read as escaping the quote after it.
    TempTree drive;
    drive.File("on-the-drive", 10);
    if (!drive.Host("ln -sfn \"$PWD\" \"$WINEPREFIX/dosdevices/u:\"")) GTEST_SKIP() << "no host to map a drive";
    DWORD code = 1;
    std::string output = Host("U:\\", "--close", &code);
    drive.Host("rm -f \"$WINEPREFIX/dosdevices/u:\"");
    EXPECT_EQ(code, 0u) << output;
    for (const char* line : {"state: 0x00000000 enabled", "navigator: open apart", "program: exited 0"})
        EXPECT_NE(output.find(line), std::string::npos) << line << "\n" << output;
}

}  // namespace
