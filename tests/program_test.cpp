// Tolv.exe as a user or the shell starts it: with a folder, with none (the
// folder picker), or with what it cannot open. It says what is wrong in a
// box and ends with a non-zero code, or opens the navigator on the very
// folder it was given and ends when that closes.
#include <gtest/gtest.h>

#include <string>

#include "MainWindow.h"
#include "Programs.h"
#include "TempTree.h"

namespace {

struct Outcome {
    DWORD code = 99;
    std::string box;       // the text of the first box it showed
    bool picker = false;   // showed the folder picker, which was cancelled
    bool navigator = false;  // opened the navigator on the folder, which was closed
};

// A visible window of the process with the given class, or null.
HWND WindowOf(DWORD process, const wchar_t* className) {
    for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, className, nullptr));) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == process && IsWindowVisible(window)) return window;
    }
    return nullptr;
}

// Runs Tolv.exe with `arguments` (UTF-8) to its end: answers its boxes,
// cancels its picker, and closes a navigator it opens on `folder`. Started
// in `current` when given.
Outcome RunProgram(const std::string& arguments, const std::string& folder = "", const std::string& current = "") {
    Outcome run;
    std::wstring line = Wide("\"" + BuildDir() + "\\Tolv.exe\" " + arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring in = Wide(current);
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, in.empty() ? nullptr : in.c_str(),
                        &startup, &process))
        return run;
    std::wstring navigatorClass = MainWindow::ClassNameFor(Wide(folder).c_str());
    for (DWORD start = GetTickCount(); WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT;) {
        if (GetTickCount() - start > 60000) {
            TerminateProcess(process.hProcess, 98);
            break;
        }
        if (HWND box = WindowOf(process.dwProcessId, L"#32770")) {
            wchar_t title[64] = L"";
            GetWindowTextW(box, title, 64);
            if (wcscmp(title, L"Tolv") != 0) {
                run.picker = true;
                PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
            } else {
                wchar_t text[1024] = L"";
                GetDlgItemTextW(box, 0xFFFF, text, 1024);
                if (run.box.empty()) run.box = Utf8(text);
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            }
        }
        if (!folder.empty()) {
            if (HWND navigator = WindowOf(process.dwProcessId, navigatorClass.c_str())) {
                run.navigator = true;
                PostMessageW(navigator, WM_CLOSE, 0, 0);
            }
        }
    }
    GetExitCodeProcess(process.hProcess, &run.code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return run;
}

// Opened exactly as given: a name the platform's paths would change, one
// that looks like an environment string, a path past 260 characters, and
// names relative to the current folder or with slashes, which the
// platform's own resolving would trim to their look-alikes.
TEST(Program, OpensTheNavigatorOnTheVeryFolderItIsGivenAndEndsWithIt) {
    TempTree tree;
    for (const char* name : {"Főt", "Fot", "%TEMP%", "trail ", "trail", "dot.", "dot"}) tree.Dir(name);
    std::string deep = "%TEMP%";
    for (int i = 0; i < 3; ++i) tree.Dir(deep += "\\" + std::string(100, char('a' + i)));
    tree.Dir(deep + "\\end");
    tree.Dir(deep += "\\end.");
    ASSERT_GT(tree.Path(deep).size(), 300u);
    // Aware of each monitor's scale, as the shell that hosts the menu is.
    HMODULE program = LoadLibraryExA((BuildDir() + "\\Tolv.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC manifest = program ? FindResourceA(program, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)) : nullptr;
    ASSERT_NE(manifest, nullptr);
    std::string text(static_cast<const char*>(LockResource(LoadResource(program, manifest))),
                     SizeofResource(program, manifest));
    EXPECT_NE(text.find(">PerMonitorV2</dpiAwareness>"), std::string::npos) << text;
    FreeLibrary(program);
    for (const std::string& folder :
         {tree.Path("Főt"), tree.Path("%TEMP%"), tree.Path("trail "), "\\\\?\\" + tree.Path(deep)}) {
        Outcome run = RunProgram("\"" + folder + "\"", folder);
        EXPECT_TRUE(run.navigator) << folder;
        EXPECT_EQ(run.box, "") << folder;
        EXPECT_EQ(run.code, 0u) << folder;
    }
    std::string slashed = tree.Path("dot.");
    for (char& c : slashed)
        if (c == '\\') c = '/';
    struct {
        std::string argument, folder;
    } relative[] = {{"dot.", tree.Path("dot.")},
                    {".\\Fot\\..\\trail ", tree.Path("trail ")},
                    {slashed, tree.Path("dot.")}};
    for (const auto& r : relative) {
        Outcome run = RunProgram("\"" + r.argument + "\"", r.folder, tree.Root());
        EXPECT_TRUE(run.navigator) << r.argument;
        EXPECT_EQ(run.box, "") << r.argument;
        EXPECT_EQ(run.code, 0u) << r.argument;
    }
}

// Nothing to open: a box says why, the code is not 0, no navigator opens.
// The usage and a cancelled picker end with 0.
TEST(Program, SaysWhatItCannotOpenAndEndsWithoutANavigator) {
    TempTree tree;
    tree.File("note.txt", 10);
    tree.Dir("one");
    struct {
        std::string arguments, box;
        DWORD code;
    } cases[] = {
        {"/?", "Usage: Tolv.exe [FOLDER]", 0},
        {"\"" + tree.Path("gone") + "\"", "There is no folder \"" + tree.Path("gone") + "\".", 2},
        {"\"" + tree.Path("note.txt") + "\"", "\"" + tree.Path("note.txt") + "\" is a file, not a folder.", 2},
        {"/open \"" + tree.Path("one") + "\"", "Give one folder.", 2},
        {"/open", "Unknown argument \"/open\".", 2},
    };
    for (const auto& c : cases) {
        Outcome run = RunProgram(c.arguments, tree.Path("one"));
        EXPECT_EQ(run.box.substr(0, c.box.size()), c.box) << c.arguments;
        EXPECT_EQ(run.code, c.code) << c.arguments;
        EXPECT_FALSE(run.navigator) << c.arguments;
    }
    Outcome picked = RunProgram("");
    EXPECT_TRUE(picked.picker);
    EXPECT_EQ(picked.box, "");
    EXPECT_EQ(picked.code, 0u);
}

}  // namespace
