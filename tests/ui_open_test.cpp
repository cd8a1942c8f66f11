// Open from the navigator: the shell's open verb on the row's own item, from
// Enter, the action popup and names that a path string would misread.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

#include "Navigator.h"
#include "TempTree.h"

namespace {

void Select(MainWindow& main, Row node) {
    ASSERT_NE(node, nullptr);
    main.document.selected = nullptr;
    PressRow(main, node);
    ASSERT_EQ(main.document.selected, node);
}

// Registers a file type whose "open" verb runs the recorder.
struct RecordingFileType {
    std::string record;
    RecordingFileType() {
        char exe[MAX_PATH];
        GetModuleFileNameA(nullptr, exe, sizeof exe);
        std::string dir(exe);
        dir = dir.substr(0, dir.rfind('\\'));
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        record = std::string(temp) + "tolv-record-" + std::to_string(GetCurrentProcessId()) + ".txt";
        DeleteFileA(record.c_str());
        SetEnvironmentVariableA("TOLV_RECORD", record.c_str());
        std::string command = "\"" + dir + "\\recorder.exe\" \"%1\"";
        RegSetValueA(HKEY_CLASSES_ROOT, ".tolvrec", REG_SZ, "TolvRecord", 10);
        RegSetValueA(HKEY_CLASSES_ROOT, "TolvRecord\\shell\\open\\command", REG_SZ, command.c_str(),
                     static_cast<DWORD>(command.size()));
    }
    ~RecordingFileType() {
        RegDeleteKeyA(HKEY_CLASSES_ROOT, "TolvRecord\\shell\\open\\command");
        RegDeleteKeyA(HKEY_CLASSES_ROOT, "TolvRecord\\shell\\open");
        RegDeleteKeyA(HKEY_CLASSES_ROOT, "TolvRecord\\shell");
        RegDeleteKeyA(HKEY_CLASSES_ROOT, "TolvRecord");
        RegDeleteKeyA(HKEY_CLASSES_ROOT, ".tolvrec");
        DeleteFileA(record.c_str());
    }
    // The lines recorded so far, once `count` have arrived (or after a while).
    std::string Wait(int count) {
        std::string text;
        for (int i = 0; i < 200; ++i) {
            std::ifstream in(record);
            std::stringstream all;
            all << in.rdbuf();
            text = all.str();
            int lines = 0;
            for (char c : text) lines += c == '\n';
            if (lines >= count) break;
            PumpFor(50);
        }
        return text;
    }
};

TEST(Open, RunsTheShellsOpenVerbOnTheRowsOwnItemFromEnterAndThePopup) {
    RecordingFileType type;
    TempTree tree;
    tree.File("report.tolvrec", 40);
    // Names that a path string could turn into others: environment strings,
    // a command line's operators, and (made by the host) a backslash that
    // reads as "s" holding "t.tolvrec".
    const char* const odd[] = {"x%OS%y.tolvrec", "a&b^c.tolvrec"};
    for (const char* name : odd) tree.File(name, 41);
    tree.Dir("s");
    tree.File("s\\t.tolvrec", 5);
    bool slashed = tree.HostFile("s\\t.tolvrec", 3);
    Navigator nav(tree.Root(), {300, 200});
    ASSERT_TRUE(nav.Opened());
    ASSERT_TRUE(nav.WaitForScan());
    MainWindow& main = nav.Main();
    Row report = RowNamed(main, "report.tolvrec");
    ASSERT_NE(report, nullptr);
    Select(main, report);
    SendMessageA(main.hwnd, WM_KEYDOWN, VK_RETURN, 0);
    std::string first = type.Wait(1);
    EXPECT_NE(first.find(tree.Path("report.tolvrec")), std::string::npos) << first;

    // A right press selects the row and shows the popup under the pointer.
    int row = RowOf(main, report);
    main.document.selected = nullptr;
    Press(main.list.hwnd, WM_RBUTTONDOWN, 60, row * main.list.rowHeight + 2, MK_RBUTTON);
    EXPECT_EQ(main.document.selected, report);
    ASSERT_TRUE(IsWindowVisible(main.menu.hwnd));
    RECT popup = WindowRect(main.menu.hwnd);
    EXPECT_EQ(popup.left, 300 - 60);
    EXPECT_EQ(popup.top, 200 - 10);
    EXPECT_EQ(popup.right - popup.left, 120);
    // The arrows' strip does nothing; the Open button opens and hides it.
    Press(main.menu.hwnd, WM_LBUTTONDOWN, 30, 10);
    EXPECT_TRUE(IsWindowVisible(main.menu.hwnd));
    Press(main.menu.hwnd, WM_LBUTTONDOWN, 31, 10);
    EXPECT_FALSE(IsWindowVisible(main.menu.hwnd));
    std::string both = type.Wait(2);
    EXPECT_EQ(std::count(both.begin(), both.end(), '\n'), 2) << both;

    // Leaving the popup hides it and keeps the selection.
    Press(main.list.hwnd, WM_RBUTTONDOWN, 60, row * main.list.rowHeight + 2, MK_RBUTTON);
    ASSERT_TRUE(IsWindowVisible(main.menu.hwnd));
    SendMessageA(main.menu.hwnd, WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(main.menu.hwnd));
    EXPECT_EQ(main.document.selected, report);

    // Each odd name opens itself; the one no path names opens nothing.
    if (slashed) {
        Select(main, RowNamed(main, "s\\t.tolvrec"));
        SendMessageA(main.hwnd, WM_KEYDOWN, VK_RETURN, 0);
    }
    for (const char* name : odd) {
        Select(main, RowNamed(main, name));
        SendMessageA(main.hwnd, WM_KEYDOWN, VK_RETURN, 0);
    }
    type.Wait(4);
    PumpFor(1000);  // for a launch that should not come
    std::string all = type.Wait(0);
    EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 4) << all;
    for (const char* name : odd) EXPECT_NE(all.find(tree.Path(name) + "\n"), std::string::npos) << all;
    EXPECT_EQ(all.find(tree.Path("s")), std::string::npos) << all;
}

}  // namespace
