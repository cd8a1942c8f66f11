// Open and Delete from the navigator: the shell's open verb, the Recycle Bin,
// the note and its setting, and closing while the scan runs.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Actions.h"
#include "Lookalikes.h"
#include "Navigator.h"
#include "TempTree.h"

namespace {

const char kSettingKey[] = "software\\Varnel";

// Sets "show_dlg", or removes the key when value < 0.
void SetNoteSetting(int value) {
    if (value < 0) {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingKey);
        return;
    }
    HKEY key;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, kSettingKey, &key), ERROR_SUCCESS);
    DWORD dword = static_cast<DWORD>(value);
    RegSetValueExA(key, "show_dlg", 0, REG_DWORD, reinterpret_cast<BYTE*>(&dword), sizeof dword);
    RegCloseKey(key);
}

int NoteSetting() {
    HKEY key;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, kSettingKey, &key) != ERROR_SUCCESS) return -1;
    DWORD value = 0, size = sizeof value;
    LONG status = RegQueryValueExA(key, "show_dlg", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? static_cast<int>(value) : -1;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The names of the items in the Recycle Bin.
std::string RecycleBinNames() {
    std::string names;
    CoInitialize(nullptr);
    LPITEMIDLIST bin = nullptr;
    IShellFolder* desktop = nullptr;
    IShellFolder* folder = nullptr;
    IEnumIDList* items = nullptr;
    if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_BITBUCKET, &bin)) &&
        SUCCEEDED(SHGetDesktopFolder(&desktop)) &&
        SUCCEEDED(desktop->BindToObject(bin, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&folder))) &&
        folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, &items) == S_OK) {
        LPITEMIDLIST item;
        while (items->Next(1, &item, nullptr) == S_OK) {
            STRRET name;
            wchar_t text[MAX_PATH];
            if (SUCCEEDED(folder->GetDisplayNameOf(item, SHGDN_NORMAL, &name)) &&
                SUCCEEDED(StrRetToBufW(&name, item, text, MAX_PATH)))
                names += Utf8(text) + "\n";
            CoTaskMemFree(item);
        }
    }
    if (items) items->Release();
    if (folder) folder->Release();
    if (desktop) desktop->Release();
    if (bin) CoTaskMemFree(bin);
    return names;
}

// A folder with a subfolder of two files and two files of its own, scanned.
struct Actions : ::testing::Test {
    TempTree tree;
    std::string unique = std::to_string(GetTickCount()) + "-" + std::to_string(GetCurrentProcessId());
    void SetUp() override {
        SetNoteSetting(-1);
        tree.Dir("photos");
        tree.File("photos\\a-" + unique + ".jpg", 30000);
        tree.File("photos\\b.jpg", 20000);
        tree.File("big-" + unique + ".iso", 500000);
        tree.File("notes.txt", 100);
    }
    void TearDown() override { SetNoteSetting(-1); }
    FolderNode* Row(MainWindow& main, const char* name) {
        for (int i = 0; i < main.list.rowTotal; ++i) {
            FolderNode* node = main.list.FindRow(i);
            if (node && std::string(node->name) == name) return node;
        }
        return nullptr;
    }
    int RowOf(MainWindow& main, FolderNode* node) {
        for (int i = 0; i < main.list.rowTotal; ++i)
            if (main.list.FindRow(i) == node) return i;
        return -1;
    }
    void Select(MainWindow& main, FolderNode* node) {
        int row = RowOf(main, node);
        ASSERT_GE(row, 0);
        main.document.selected = nullptr;
        Press(main.list.hwnd, WM_LBUTTONDOWN, 60, row * main.list.rowHeight + 2);
        ASSERT_EQ(main.document.selected, node);
    }
};

TEST_F(Actions, DeleteSendsTheItemToTheRecycleBinAndLowersTheTotals) {
    Navigator nav(tree.Root());
    ASSERT_TRUE(nav.Opened());
    ASSERT_TRUE(nav.WaitForScan());
    MainWindow& main = nav.Main();
    Document& doc = main.document;
    int height = WindowRect(main.hwnd).bottom - WindowRect(main.hwnd).top;
    std::string iso = "big-" + unique + ".iso";
    FolderNode* node = Row(main, iso.c_str());
    ASSERT_NE(node, nullptr);
    Select(main, node);
    FolderNode* next = main.list.FindRow(RowOf(main, node) + 1);
    double total = doc.root.Size();
    int files = doc.root.Files();

    SendMessageA(main.hwnd, WM_KEYDOWN, VK_DELETE, 0);
    EXPECT_FALSE(Exists(tree.Path(iso)));
    EXPECT_NE(RecycleBinNames().find(iso), std::string::npos);
    EXPECT_EQ(Row(main, iso.c_str()), nullptr);
    EXPECT_EQ(doc.root.Size(), total - 500000);
    EXPECT_EQ(doc.root.Files(), files - 1);
    EXPECT_EQ(doc.selected, next);
    EXPECT_EQ(main.list.rowTotal, 2);
    EXPECT_EQ(WindowRect(main.hwnd).bottom - WindowRect(main.hwnd).top, height - main.list.rowHeight);

    // An expanded folder takes its visible rows with it; its ancestors' totals
    // drop by its own.
    FolderNode* photos = Row(main, "photos");
    ASSERT_NE(photos, nullptr);
    Press(main.list.hwnd, WM_LBUTTONDOWN, 8, RowOf(main, photos) * main.list.rowHeight + 2);
    ASSERT_EQ(main.list.rowTotal, 4);
    Select(main, photos);
    total = doc.root.Size();
    SendMessageA(main.hwnd, WM_KEYDOWN, VK_DELETE, 0);
    EXPECT_FALSE(Exists(tree.Path("photos")));
    EXPECT_EQ(main.list.rowTotal, 1);
    EXPECT_EQ(doc.root.Size(), total - 50000);
    EXPECT_EQ(doc.root.Files(), 1);
    EXPECT_EQ(main.scrollBar.range, 0);
    // The header shows the new totals after its full repaint.
    EXPECT_TRUE(HasColour(main.header.hwnd, RECT{95, 27, 200, 45}, RGB(125, 125, 125)));
}

// Every file below a folder with its length and a digest of its bytes, as the
// disk holds it; links are listed, not followed.
void Snapshot(const std::string& folder, const std::string& relative, std::map<std::string, std::string>* files) {
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((Exact(folder) + L"\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = Utf8(entry.cFileName);
        if (name == "." || name == "..") continue;
        std::string path = folder + "\\" + name, rel = relative.empty() ? name : relative + "\\" + name;
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            std::string bytes = FileBytes(path);
            uint64_t digest = 14695981039346656037ull;
            for (char c : bytes) digest = (digest ^ static_cast<uint8_t>(c)) * 1099511628211ull;
            (*files)[rel] = std::to_string(bytes.size()) + " bytes, " + std::to_string(digest);
        }
        else if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            Snapshot(path, rel, files);
        else
            (*files)[rel] = "<link>";
    } while (FindNextFileW(find, &entry));
    FindClose(find);
}

FolderNode* NodeAt(FolderNode* node, const std::string& relative) {
    for (size_t start = 0; node && start < relative.size();) {
        size_t end = relative.find('\\', start);
        if (end == std::string::npos) end = relative.size();
        std::string part = relative.substr(start, end - start);
        FolderNode* next = nullptr;
        for (int32_t i = 0; i < node->ChildCount() && !next; ++i)
            if (part == node->Child(i)->name) next = node->Child(i);
        node = next;
        start = end + 1;
    }
    return node;
}

TEST_F(Actions, DeleteTakesTheRowsOwnItemOrNothing) {
    std::vector<Lookalike> items;
    if (!MakeLookalikes(tree, unique, &items)) GTEST_SKIP() << "no host file system to make the names on";
    // Links whose targets lie outside the chosen folder.
    ASSERT_TRUE(tree.Host("mkdir target && printf tttt > target/f && ln -s ../target chosen/dirlink && "
                          "ln -s ../target/f chosen/filelink",
                          true));
    std::string deepLeaf;
    for (const Lookalike& item : items)
        if (item.path.find("\\deep-") != std::string::npos) deepLeaf = item.path;
    for (int i = 0; i < 10; ++i) deepLeaf += "\\level-" + std::to_string(i) + "-of-a-rather-deep-path";
    deepLeaf += "\\leaf.bin";
    ASSERT_GT(tree.Path(deepLeaf).size(), 300u);

    Navigator nav(tree.Path("chosen"));
    ASSERT_TRUE(nav.Opened());
    ASSERT_TRUE(nav.WaitForScan());
    MainWindow& main = nav.Main();
    Document& doc = main.document;

    // What a delete may remove: the row's own item. Items that only a
    // normalised path reaches, links, and paths past the shell's limit stay.
    struct Case {
        std::string path;
        bool removed;
    };
    std::vector<Case> cases = {{deepLeaf, false}, {"chosen\\dirlink", false}, {"chosen\\filelink", false}};
    for (const Lookalike& item : items) {
        std::string name = item.path.substr(7);
        // Wine lists a host's "?" as itself: a wildcard to the shell.
        bool normalised = name.back() == ' ' || name.back() == '.' || name == "aux.txt" || name.find("we?rd") == 0;
        cases.push_back({item.path, !normalised});
    }

    for (const Case& c : cases) {
        FolderNode* node = NodeAt(&doc.root, c.path.substr(7));
        ASSERT_NE(node, nullptr) << c.path;
        std::map<std::string, std::string> before, after;
        Snapshot(tree.Root(), "", &before);
        double total = doc.root.Size(), bytes = node->Size();
        doc.selected = node;
        SendMessageA(main.hwnd, WM_KEYDOWN, VK_DELETE, 0);
        Snapshot(tree.Root(), "", &after);
        auto inside = [&c](const std::string& file) {
            return file == c.path || file.compare(0, c.path.size() + 1, c.path + "\\") == 0;
        };
        bool gone = true;
        for (const auto& file : after) gone = gone && !inside(file.first);
        EXPECT_EQ(gone, c.removed) << c.path;
        // Whatever else the disk holds is byte for byte as it was.
        for (auto it = before.begin(); it != before.end();) it = gone && inside(it->first) ? before.erase(it) : std::next(it);
        EXPECT_EQ(after, before) << c.path;
        EXPECT_EQ(NodeAt(&doc.root, c.path.substr(7)) == nullptr, gone) << c.path;
        EXPECT_EQ(doc.root.Size(), gone ? total - bytes : total) << c.path;
        if (!gone) {
            EXPECT_EQ(doc.selected, node) << c.path;
        }
    }
    std::string bin = RecycleBinNames();
    EXPECT_NE(bin.find("Māori-" + unique + ".txt"), std::string::npos) << bin;
    EXPECT_NE(bin.find("Фото-" + unique), std::string::npos) << bin;
    EXPECT_EQ(FileBytes(tree.Path("target\\f")), "tttt");
}

}  // namespace

namespace {

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

TEST_F(Actions, OpenRunsTheShellsOpenVerbFromEnterAndThePopup) {
    RecordingFileType type;
    tree.File("report.tolvrec", 40);
    Navigator nav(tree.Root(), {300, 200});
    ASSERT_TRUE(nav.Opened());
    ASSERT_TRUE(nav.WaitForScan());
    MainWindow& main = nav.Main();
    FolderNode* report = Row(main, "report.tolvrec");
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
}

TEST_F(Actions, PopupDeleteZoneDeletes) {
    Navigator nav(tree.Root(), {300, 200});
    ASSERT_TRUE(nav.Opened());
    ASSERT_TRUE(nav.WaitForScan());
    MainWindow& main = nav.Main();
    FolderNode* notes = Row(main, "notes.txt");
    ASSERT_NE(notes, nullptr);
    Press(main.list.hwnd, WM_RBUTTONDOWN, 60, RowOf(main, notes) * main.list.rowHeight + 2, MK_RBUTTON);
    ASSERT_TRUE(IsWindowVisible(main.menu.hwnd));
    Press(main.menu.hwnd, WM_LBUTTONDOWN, 60, 35);
    EXPECT_FALSE(IsWindowVisible(main.menu.hwnd));
    EXPECT_FALSE(Exists(tree.Path("notes.txt")));
    EXPECT_EQ(Row(main, "notes.txt"), nullptr);
}

// Answers the note from another thread: ticks the box `ticks` times, then
// closes it with `close` (IDOK or IDCANCEL).
struct NoteAnswer {
    int ticks;
    int close;
    int waits = 200;  // of 25 ms each
    bool seen = false;
    std::string text;
    std::function<void(HWND)> whileShown;  // run on the note before it is answered
};

DWORD WINAPI AnswerNote(LPVOID param) {
    auto* answer = static_cast<NoteAnswer*>(param);
    HWND note = nullptr;
    // Found once its controls exist and it is shown, after WM_INITDIALOG.
    for (int i = 0; i < answer->waits; ++i, Sleep(25)) {
        note = FindWindowA("#32770", "NOTE");
        if (note && IsWindowVisible(note) && GetDlgItem(note, 500)) break;
        note = nullptr;
    }
    if (!note) return 0;
    answer->seen = true;
    char text[300] = "";
    GetDlgItemTextA(note, 501, text, sizeof text);
    answer->text = text;
    if (answer->whileShown) answer->whileShown(note);
    for (int i = 0; i < answer->ticks; ++i) SendMessageA(GetDlgItem(note, 500), BM_CLICK, 0, 0);
    if (answer->close == IDOK)
        SendMessageA(GetDlgItem(note, IDOK), BM_CLICK, 0, 0);
    else
        PostMessageA(note, WM_COMMAND, IDCANCEL, 0);  // what Escape sends
    return 0;
}

bool DeleteAnswering(MainWindow& main, NoteAnswer& answer) {
    HANDLE thread = CreateThread(nullptr, 0, AnswerNote, &answer, 0, nullptr);
    SendMessageA(main.hwnd, WM_KEYDOWN, VK_DELETE, 0);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    return answer.seen;
}

TEST_F(Actions, ADeleteStartedWhileTheNoteIsUpDoesNothing) {
    SetNoteSetting(1);
    Navigator nav(tree.Root(), {300, 200});
    ASSERT_TRUE(nav.Opened());
    ASSERT_TRUE(nav.WaitForScan());
    MainWindow& main = nav.Main();
    std::string iso = "big-" + unique + ".iso";
    FolderNode* node = Row(main, iso.c_str());
    ASSERT_NE(node, nullptr);
    FolderNode* next = main.list.FindRow(RowOf(main, node) + 1);
    ASSERT_NE(next, nullptr);
    Press(main.list.hwnd, WM_RBUTTONDOWN, 60, RowOf(main, node) * main.list.rowHeight + 2, MK_RBUTTON);
    ASSERT_TRUE(IsWindowVisible(main.menu.hwnd));

    // While the note is up: the popup is gone, and its Delete or the Delete
    // key (messages the note's own loop dispatches) start nothing.
    bool popupShown = true;
    int notes = 0;
    NoteAnswer answer{0, IDOK, 200, false, {}, [&](HWND) {
        popupShown = IsWindowVisible(main.menu.hwnd);
        Press(main.menu.hwnd, WM_LBUTTONDOWN, 60, 35);
        SendMessageA(main.hwnd, WM_KEYDOWN, VK_DELETE, 0);
        for (HWND box = nullptr; (box = FindWindowExA(nullptr, box, "#32770", "NOTE"));) ++notes;
    }};
    HANDLE thread = CreateThread(nullptr, 0, AnswerNote, &answer, 0, nullptr);
    Press(main.menu.hwnd, WM_LBUTTONDOWN, 60, 35);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    ASSERT_TRUE(answer.seen);
    EXPECT_FALSE(popupShown);
    EXPECT_EQ(notes, 1);
    EXPECT_FALSE(Exists(tree.Path(iso)));
    EXPECT_TRUE(Exists(tree.Path(next->name)));
    EXPECT_EQ(main.document.selected, next);
    EXPECT_EQ(main.list.rowTotal, 2);
}

TEST_F(Actions, TheNoteComesBeforeADeleteUntilItsBoxIsTicked) {
    SetNoteSetting(1);
    Navigator nav(tree.Root());
    ASSERT_TRUE(nav.Opened());
    ASSERT_TRUE(nav.WaitForScan());
    MainWindow& main = nav.Main();

    // Ticked and unticked again, closed with Escape: the delete goes on, the
    // setting stays.
    Select(main, Row(main, "notes.txt"));
    NoteAnswer untick{2, IDCANCEL, 200, false, {}, {}};
    EXPECT_TRUE(DeleteAnswering(main, untick));
    EXPECT_EQ(untick.text.substr(0, 35), "This is will be removed in Recycle ");
    EXPECT_FALSE(Exists(tree.Path("notes.txt")));
    EXPECT_EQ(NoteSetting(), 1);

    // Ticked and closed with OK: the setting turns the note off.
    std::string iso = "big-" + unique + ".iso";
    Select(main, Row(main, iso.c_str()));
    NoteAnswer tick{1, IDOK, 200, false, {}, {}};
    EXPECT_TRUE(DeleteAnswering(main, tick));
    EXPECT_FALSE(Exists(tree.Path(iso)));
    EXPECT_EQ(NoteSetting(), 0);

    // The next delete shows no note.
    Select(main, Row(main, "photos"));
    NoteAnswer none{0, IDOK, 20, false, {}, {}};  // the delete has ended before the answer gives up
    HANDLE thread = CreateThread(nullptr, 0, AnswerNote, &none, 0, nullptr);
    SendMessageA(main.hwnd, WM_KEYDOWN, VK_DELETE, 0);
    EXPECT_FALSE(Exists(tree.Path("photos")));
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    EXPECT_FALSE(none.seen);
}

TEST(Closing, DuringTheScanRepeatedlyLeavesNoThreads) {
    TempTree tree;
    for (int f = 0; f < 30; ++f) {
        std::string folder = "f" + std::to_string(f);
        tree.Dir(folder);
        for (int i = 0; i < 60; ++i) tree.File(folder + "\\x" + std::to_string(i), 10);
    }
    int before = ThreadCount();
    for (int round = 0; round < 20; ++round) {
        Navigator nav(tree.Root());
        ASSERT_TRUE(nav.Opened()) << round;
        PumpFor(static_cast<DWORD>(round * 13 % 120));
        EXPECT_TRUE(nav.Close()) << round;  // the close event, after the stop
    }
    int after = ThreadCount();
    for (int i = 0; i < 50 && after > before; ++i) {
        Sleep(20);
        after = ThreadCount();
    }
    EXPECT_LE(after, before);
}

}  // namespace
