// Open and Delete from the navigator: the shell's open verb, the Recycle Bin,
// the note and its setting, and closing while the scan runs.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <sddl.h>
#include <shlwapi.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "Actions.h"
#include "Lookalikes.h"
#include "Navigator.h"
#include "TempTree.h"

namespace {

const char kSettingKey[] = "software\\Varnel";

// Sets the machine's "show_dlg" (or the user's), or removes the machine's
// and the user's keys when value < 0.
void SetNoteSetting(int value, HKEY root = HKEY_LOCAL_MACHINE) {
    if (value < 0) {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingKey);
        RegDeleteKeyA(HKEY_CURRENT_USER, kSettingKey);
        return;
    }
    HKEY key;
    ASSERT_EQ(RegCreateKeyA(root, kSettingKey, &key), ERROR_SUCCESS);
    DWORD dword = static_cast<DWORD>(value);
    RegSetValueExA(key, "show_dlg", 0, REG_DWORD, reinterpret_cast<BYTE*>(&dword), sizeof dword);
    RegCloseKey(key);
}

int NoteSetting(HKEY root = HKEY_LOCAL_MACHINE) {
    HKEY key;
    if (RegOpenKeyExA(root, kSettingKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return -1;
    DWORD value = 0, size = sizeof value;
    LONG status = RegQueryValueExA(key, "show_dlg", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? static_cast<int>(value) : -1;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The machine's setting as a standard user finds it: anyone may read the key
// and no one write it. The key's own access list comes back after.
class ReadOnlySetting {
public:
    ReadOnlySetting() {
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingKey, 0, READ_CONTROL | WRITE_DAC, &key_) != ERROR_SUCCESS) return;
        DWORD size = 0;
        RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, nullptr, &size);
        saved_.resize(size);
        RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_.data(), &size);
        PSECURITY_DESCRIPTOR readOnly = nullptr;
        if (ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;KR;;;WD)", SDDL_REVISION_1, &readOnly, nullptr)) {
            applied_ = RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, readOnly) == ERROR_SUCCESS;
            LocalFree(readOnly);
        }
    }
    ~ReadOnlySetting() {
        if (applied_) RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_.data());
        if (key_) RegCloseKey(key_);
    }
    bool Applied() const { return applied_; }

private:
    HKEY key_ = nullptr;
    std::vector<BYTE> saved_;
    bool applied_ = false;
};

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
    ::Row Row(MainWindow& main, const std::string& name) { return RowNamed(main, name); }
    void Select(MainWindow& main, ::Row node) {
        ASSERT_GE(RowOf(main, node), 0);
        main.document.selected = nullptr;
        PressRow(main, node);
        ASSERT_EQ(main.document.selected, node);
    }
};

// The child id of the list's last focus event.
LONG focusedRow;
void CALLBACK RecordFocus(HWINEVENTHOOK, DWORD, HWND, LONG object, LONG child, DWORD, DWORD) {
    if (object == OBJID_CLIENT) focusedRow = child;
}

TEST_F(Actions, DeleteSendsTheItemToTheRecycleBinAndLowersTheTotals) {
    Navigator nav(tree.Root());
    ASSERT_TRUE(nav.Opened());
    ASSERT_TRUE(nav.WaitForScan());
    MainWindow& main = nav.Main();
    Document& doc = main.document;
    int height = WindowRect(main.hwnd).bottom - WindowRect(main.hwnd).top;
    std::string iso = "big-" + unique + ".iso";
    ::Row node = Row(main, iso);
    ASSERT_NE(node, nullptr);
    Select(main, node);
    // The next file takes the deleted one's place in its folder's run: it is
    // known by its name.
    const std::string next = main.list.FindRow(RowOf(main, node) + 1).Name();
    double total = doc.root.Size();
    int files = doc.root.Files();

    SendMessageA(main.hwnd, WM_KEYDOWN, VK_DELETE, 0);
    EXPECT_FALSE(Exists(tree.Path(iso)));
    EXPECT_NE(RecycleBinNames().find(iso), std::string::npos);
    EXPECT_EQ(Row(main, iso), nullptr);
    EXPECT_EQ(doc.root.Size(), total - 500000);
    EXPECT_EQ(doc.root.Files(), files - 1);
    EXPECT_EQ(doc.selected.Name(), next);
    EXPECT_EQ(main.list.rowTotal, 2);
    EXPECT_EQ(WindowRect(main.hwnd).bottom - WindowRect(main.hwnd).top, height - main.list.rowHeight);

    // A folder's last row: the row above it takes the selection, and a
    // screen reader hears of it.
    ::Row photos = Row(main, "photos");
    ASSERT_NE(photos, nullptr);
    Press(main.list.hwnd, WM_LBUTTONDOWN, 8, RowOf(main, photos) * main.list.rowHeight + 2);
    ASSERT_EQ(main.list.rowTotal, 4);
    ::Row first = Row(main, "a-" + unique + ".jpg");
    Select(main, Row(main, "b.jpg"));
    focusedRow = 0;
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_FOCUS, nullptr, RecordFocus, 0, 0,
                                         WINEVENT_OUTOFCONTEXT);
    SendMessageA(main.hwnd, WM_KEYDOWN, VK_DELETE, 0);
    EXPECT_FALSE(Exists(tree.Path("photos\\b.jpg")));
    EXPECT_EQ(doc.selected, first);
    EXPECT_TRUE(PumpUntil([&] { return focusedRow == RowOf(main, first) + 1; }, 5000));
    UnhookWinEvent(hook);

    // An expanded folder takes its visible rows with it; its ancestors' totals
    // drop by its own.
    ASSERT_EQ(main.list.rowTotal, 3);
    Select(main, photos);
    total = doc.root.Size();
    SendMessageA(main.hwnd, WM_KEYDOWN, VK_DELETE, 0);
    EXPECT_FALSE(Exists(tree.Path("photos")));
    EXPECT_EQ(main.list.rowTotal, 1);
    EXPECT_EQ(doc.root.Size(), total - 30000);
    EXPECT_EQ(doc.root.Files(), 1);
    EXPECT_EQ(main.scrollBar.range, 0);
    // The header shows the new totals after its full repaint.
    EXPECT_TRUE(HasColour(main.header.hwnd, RECT{95, 27, 200, 45}, RGB(125, 125, 125)));
}

// The host's account of a tree, one line an item (TempTree::HostSnapshot).
std::set<std::string> Lines(const std::string& text) {
    std::set<std::string> lines;
    for (size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        if (end > at) lines.insert(text.substr(at, end - at));
    }
    return lines;
}

// The host path a snapshot line names: "<digest> <path>", or
// "link <path> -> <target>".
std::string PathOf(const std::string& line) {
    if (line.compare(0, 5, "link ") == 0) return line.substr(5, line.find(" -> ") - 5);
    return line.substr(line.find(' ') + 1);
}

// The node of a row below the root by its names, and for twins by its size:
// a twin folder that could not be listed shows none.
Row NodeAt(FolderNode* folder, const std::vector<std::string>& names, double bytes = -1) {
    Row node = folder;
    for (size_t n = 0; node.IsFolder() && n < names.size(); ++n) {
        Row sized, empty;
        ForEachChild(node.Folder(), [&](Row child) {
            if (names[n] != child.Name()) return;
            bool last = n + 1 == names.size();
            if (!last || bytes < 0 || child.Size() == bytes) sized = sized ? sized : child;
            if (child.Size() == 0) empty = empty ? empty : child;
        });
        node = sized ? sized : empty;
    }
    return node;
}

// Whether an item (by its id and name) still has a row in a folder's
// subtree: a file's row may name another file once its run has closed up.
bool Holds(const FolderNode* folder, uint64_t id, const std::string& name) {
    bool held = false;
    ForEachChild(folder, [&](Row child) {
        held = held || (child.FileId() == id && name == child.Name()) ||
               (child.IsFolder() && Holds(child.Folder(), id, name));
    });
    return held;
}

TEST_F(Actions, DeleteTakesTheRowsOwnItemOrNothing) {
    std::vector<Lookalike> items;
    if (!MakeLookalikes(tree, unique, &items)) GTEST_SKIP() << "no host file system to make the names on";
    // Links whose targets lie outside the chosen folder.
    ASSERT_TRUE(tree.Host("mkdir target && printf tttt > target/f && ln -s ../target chosen/dirlink && "
                          "ln -s ../target/f chosen/filelink",
                          true));
    tree.File("chosen\\report.txt", 71);
    std::vector<std::string> deepLeaf = {"deep-" + unique};
    for (int i = 0; i < 10; ++i) deepLeaf.push_back("level-" + std::to_string(i) + "-of-a-rather-deep-path");
    deepLeaf.push_back("leaf.bin");

    Navigator nav(tree.Path("chosen"));
    ASSERT_TRUE(nav.Opened());
    ASSERT_TRUE(nav.WaitForScan());
    MainWindow& main = nav.Main();
    Document& doc = main.document;

    // What a delete may remove: the row's own item; a folder whole, however
    // deep its paths run (the Recycle Bin takes it in one move). Items that
    // only a normalised path or one past the shell's limit reaches, and
    // links, stay; of twins listed as one name, each row takes its own item
    // or nothing.
    enum Expect { kKept, kRemoved, kOwnOrNothing };
    struct Case {
        std::vector<std::string> names;
        double bytes;  // tells twins apart
        std::string host;
        Expect expect;
    };
    std::string deepHost = "chosen";
    for (const std::string& name : deepLeaf) deepHost += "/" + name;
    std::vector<Case> cases = {{deepLeaf, -1, deepHost, kKept},
                               {{"dirlink"}, -1, "chosen/dirlink", kKept},
                               {{"filelink"}, -1, "chosen/filelink", kKept}};
    for (const Lookalike& item : items) {
        const std::string& name = item.name;
        // Wine lists a host's "?" as itself: a wildcard to the shell.
        bool normalised = name.back() == ' ' || name.back() == '.' || name == "aux.txt" || name.find("we?rd") == 0;
        Expect expect = item.reach == Lookalike::kTwin                      ? kOwnOrNothing
                        : normalised || item.reach == Lookalike::kUnreachable ? kKept
                                                                              : kRemoved;
        double bytes = item.folder && item.reach != Lookalike::kTwin ? -1 : static_cast<double>(item.bytes);
        cases.push_back({{name}, bytes, item.host, expect});
    }

    for (const Case& c : cases) {
        ::Row node = NodeAt(&doc.root, c.names, c.bytes);
        ASSERT_NE(node, nullptr) << c.host;
        const uint64_t id = node.FileId();
        const std::string name = node.Name();
        std::set<std::string> before = Lines(tree.HostSnapshot());
        double total = doc.root.Size(), bytes = node.Size();
        doc.selected = node;
        SendMessageA(main.hwnd, WM_KEYDOWN, VK_DELETE, 0);
        std::set<std::string> after = Lines(tree.HostSnapshot());
        // Whatever else the disk holds is byte for byte as it was.
        bool gone = false;
        for (const std::string& line : before) {
            if (after.count(line)) continue;
            std::string path = PathOf(line);
            bool own = path == "./" + c.host || path.compare(0, c.host.size() + 3, "./" + c.host + "/") == 0;
            gone = gone || own;
            EXPECT_TRUE(own) << c.host << ": " << line;
        }
        for (const std::string& line : after) EXPECT_TRUE(before.count(line)) << c.host << ": " << line;
        if (c.expect != kOwnOrNothing) {
            EXPECT_EQ(gone, c.expect == kRemoved) << c.host;
        }
        EXPECT_EQ(!Holds(&doc.root, id, name), gone) << c.host;
        EXPECT_EQ(doc.root.Size(), gone ? total - bytes : total) << c.host;
        if (!gone) {
            EXPECT_EQ(doc.selected, node) << c.host;
        }
    }
    std::string bin = RecycleBinNames();
    EXPECT_NE(bin.find("Māori-" + unique + ".txt"), std::string::npos) << bin;
    EXPECT_NE(bin.find("Фото-" + unique), std::string::npos) << bin;
    EXPECT_EQ(FileBytes(tree.Path("target\\f")), "tttt");

    // Another program puts a new file where the row's item was: the row's
    // item has gone elsewhere, and nothing is deleted.
    ::Row report = NodeAt(&doc.root, {"report.txt"});
    ASSERT_NE(report, nullptr);
    ASSERT_TRUE(MoveFileW(Exact(tree.Path("chosen\\report.txt")).c_str(), Exact(tree.Path("chosen\\moved.txt")).c_str()));
    tree.File("chosen\\report.txt", 72);
    std::string before = tree.HostSnapshot();
    double total = doc.root.Size();
    doc.selected = report;
    SendMessageA(main.hwnd, WM_KEYDOWN, VK_DELETE, 0);
    EXPECT_EQ(tree.HostSnapshot(), before);
    EXPECT_TRUE(Holds(&doc.root, report.FileId(), report.Name()));
    EXPECT_EQ(doc.root.Size(), total);
}

}  // namespace

namespace {

TEST_F(Actions, PopupDeleteZoneDeletes) {
    Navigator nav(tree.Root(), {300, 200});
    ASSERT_TRUE(nav.Opened());
    ASSERT_TRUE(nav.WaitForScan());
    MainWindow& main = nav.Main();
    ::Row notes = Row(main, "notes.txt");
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
    ::Row node = Row(main, iso);
    ASSERT_NE(node, nullptr);
    ::Row below = main.list.FindRow(RowOf(main, node) + 1);
    ASSERT_NE(below, nullptr);
    const std::string next = below.Name();
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
    EXPECT_TRUE(Exists(tree.Path(next)));
    EXPECT_EQ(main.document.selected.Name(), next);
    EXPECT_EQ(main.list.rowTotal, 2);
}

TEST_F(Actions, TheNoteComesBeforeADeleteUntilItsBoxIsTicked) {
    SetNoteSetting(1);
    tree.File("user.txt", 7);
    tree.File("own.txt", 9);  // above user.txt, which hands it the selection as it goes
    Navigator nav(tree.Root());
    ASSERT_TRUE(nav.Opened());
    ASSERT_TRUE(nav.WaitForScan());
    MainWindow& main = nav.Main();

    // With nothing selected the note still comes first; then nothing goes.
    std::string disk = tree.HostSnapshot();
    NoteAnswer nothing{0, IDOK, 200, false, {}, {}};
    EXPECT_TRUE(DeleteAnswering(main, nothing));
    EXPECT_EQ(tree.HostSnapshot(), disk);

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
    Select(main, Row(main, iso));
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

    // A standard user may only read the machine's setting: the note still
    // comes, and the box keeps that user's own tick, which silences it.
    SetNoteSetting(1);
    {
        ReadOnlySetting readOnly;
        ASSERT_TRUE(readOnly.Applied());
        Select(main, Row(main, "user.txt"));
        NoteAnswer user{1, IDOK, 200, false, {}, {}};
        EXPECT_TRUE(DeleteAnswering(main, user));
        EXPECT_FALSE(Exists(tree.Path("user.txt")));
        EXPECT_EQ(NoteSetting(), 1);
        EXPECT_EQ(NoteSetting(HKEY_CURRENT_USER), 0);
        ASSERT_EQ(main.document.selected, Row(main, "own.txt"));
        main.document.selected = nullptr;
        NoteAnswer silenced{0, IDOK, 20, false, {}, {}};
        EXPECT_FALSE(DeleteAnswering(main, silenced));
    }

    // The user's own value is the one read, so it is the one a tick turns
    // off, even where the machine's could be written.
    SetNoteSetting(1, HKEY_CURRENT_USER);
    Select(main, Row(main, "own.txt"));
    NoteAnswer own{1, IDOK, 200, false, {}, {}};
    EXPECT_TRUE(DeleteAnswering(main, own));
    EXPECT_FALSE(Exists(tree.Path("own.txt")));
    EXPECT_EQ(NoteSetting(HKEY_CURRENT_USER), 0);
    NoteAnswer quiet{0, IDOK, 20, false, {}, {}};
    EXPECT_FALSE(DeleteAnswering(main, quiet));
}

// Two navigators in one thread, the second's note opened while the first's
// is up: each note's tick is its own.
TEST_F(Actions, EachNoteKeepsItsOwnTick) {
    SetNoteSetting(1);
    TempTree other;
    other.File("other.txt", 5);
    Navigator first(tree.Root()), second(other.Root());
    ASSERT_TRUE(first.Opened() && second.Opened());
    ASSERT_TRUE(first.WaitForScan() && second.WaitForScan());
    Select(first.Main(), Row(first.Main(), "notes.txt"));
    Select(second.Main(), Row(second.Main(), "other.txt"));
    HWND secondWindow = second.Main().hwnd;
    bool secondSeen = false;
    NoteAnswer ticked{0, IDOK, 200, false, {}, [&](HWND note) {
        SendMessageA(GetDlgItem(note, 500), BM_CLICK, 0, 0);
        PostMessageA(secondWindow, WM_KEYDOWN, VK_DELETE, 0);
        for (int i = 0; i < 200 && !secondSeen; ++i, Sleep(25))
            for (HWND box = nullptr; (box = FindWindowExA(nullptr, box, "#32770", "NOTE"));)
                if (GetWindow(box, GW_OWNER) == secondWindow && IsWindowVisible(box) && GetDlgItem(box, IDOK)) {
                    secondSeen = true;
                    SendMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
                    break;
                }
        for (int i = 0; i < 200 && Exists(other.Path("other.txt")); ++i) Sleep(25);
    }};
    EXPECT_TRUE(DeleteAnswering(first.Main(), ticked));
    EXPECT_TRUE(secondSeen);
    EXPECT_FALSE(Exists(other.Path("other.txt")));
    EXPECT_FALSE(Exists(tree.Path("notes.txt")));
    EXPECT_EQ(NoteSetting(), 0);
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
