// Delete when the item cannot go to the Recycle Bin: the shell then asks, in
// a box of its own whose loop dispatches the navigator's messages, whether to
// destroy the item for good. These run in a process whose Recycle Bin is
// unusable from the start (CTest gives it XDG_DATA_HOME=/dev/null), and are
// left out of the others' run.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "DeleteProgressDialog.h"
#include "Navigator.h"
#include "TempTree.h"

namespace {

// Answers the shell's box from another thread, until the delete has
// returned: runs `whileUp` while it is up, then presses `button`. Reads and
// closes the navigator's report of what a delete left, should it come.
struct BoxAnswer {
    int button;
    std::function<void(HWND box)> whileUp;
    bool seen = false;
    bool cancelProgress = false;  // press Cancel in the progress dialog
    bool progressCancelled = false;
    std::string report{};
    std::atomic<bool> returned{false};
};

BOOL CALLBACK GatherText(HWND control, LPARAM param) {
    wchar_t text[512] = L"";
    GetWindowTextW(control, text, 512);
    *reinterpret_cast<std::string*>(param) += Utf8(text) + "\n";
    return TRUE;
}

std::string SystemText(DWORD error) {
    wchar_t text[512] = L"";
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, 512, nullptr);
    return Utf8(text);
}

DWORD WINAPI AnswerBox(LPVOID param) {
    auto* answer = static_cast<BoxAnswer*>(param);
    for (; !answer->returned; Sleep(25)) {
        for (HWND box = nullptr; (box = FindWindowExW(nullptr, box, L"#32770", nullptr));) {
            wchar_t title[64] = L"";
            GetWindowTextW(box, title, 64);
            if (!IsWindowVisible(box)) continue;
            std::string text;
            EnumChildWindows(box, GatherText, reinterpret_cast<LPARAM>(&text));
            if (text.find("could not be removed") != std::string::npos) {
                answer->report = text;
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            } else if (answer->cancelProgress && !answer->progressCancelled && !wcscmp(title, L"Varnel") &&
                       GetDlgItem(box, IDCANCEL)) {
                SendMessageW(box, WM_COMMAND, IDCANCEL, 0);
                answer->progressCancelled = true;
            } else if (!answer->seen && !wcsncmp(title, L"Confirm", 7)) {
                answer->seen = true;
                if (answer->whileUp) answer->whileUp(box);
                PostMessageW(box, WM_COMMAND, answer->button, 0);
            }
        }
    }
    return 0;
}

// Presses Delete on the selected row while the thread answers the box.
void DeleteAnswering(MainWindow& main, BoxAnswer& answer) {
    HANDLE thread = CreateThread(nullptr, 0, AnswerBox, &answer, 0, nullptr);
    SendMessageW(main.hwnd, WM_KEYDOWN, VK_DELETE, 0);
    answer.returned = true;
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
}

struct WithoutRecycleBin : ::testing::Test {
    TempTree tree;
    void SetUp() override {
        const char* data = getenv("XDG_DATA_HOME");
        if (!data || std::string(data) != "/dev/null") GTEST_SKIP() << "run by CTest, with no Recycle Bin";
        // No note: the shell's box is the one answered here.
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) RegDeleteKeyA(root, "software\\Varnel");
        tree.Dir("chosen");
        tree.File("chosen\\a.txt", 100);
        tree.Dir("chosen\\sub");
        tree.File("chosen\\sub\\inner.txt", 50);
        tree.File("chosen\\sub\\more.txt", 60);
    }
};

TEST_F(WithoutRecycleBin, TheShellsBoxBelongsToTheNavigatorWhichOutlivesIt) {
    Navigator nav(tree.Path("chosen"));
    ASSERT_TRUE(nav.Opened());
    ASSERT_TRUE(nav.WaitForScan());
    MainWindow& main = nav.Main();
    Row sub = RowNamed(main, "sub");
    ASSERT_NE(sub, nullptr);
    Press(main.list.hwnd, WM_LBUTTONDOWN, 8, RowOf(main, sub) * main.list.rowHeight + 2);  // its expander
    ASSERT_EQ(main.list.rowTotal, 4);
    Row inner = RowNamed(main, "inner.txt");
    ASSERT_NE(inner, nullptr);
    main.document.selected = inner;

    // While the box is up: it is the navigator's, which takes no input; a
    // press on the close box and one that collapses the row's folder still
    // arrive (sent, as a program might). The close waits for the action.
    bool owned = false, disabled = false, open = false, signalled = true;
    BoxAnswer answer{IDYES, [&](HWND box) {
        owned = GetWindow(box, GW_OWNER) == main.hwnd;
        disabled = !IsWindowEnabled(main.hwnd);
        SendMessageW(main.list.hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, RowOf(main, sub) * main.list.rowHeight + 2));
        RECT header;
        GetClientRect(main.header.hwnd, &header);
        SendMessageW(main.header.hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(header.right - 10, 10));
        open = IsWindow(main.hwnd) != FALSE;
        signalled = WaitForSingleObject(nav.closeEvent, 0) == WAIT_OBJECT_0;
    }};
    DeleteAnswering(main, answer);
    ASSERT_TRUE(answer.seen);
    EXPECT_TRUE(owned);
    EXPECT_TRUE(disabled);
    EXPECT_TRUE(open);
    EXPECT_FALSE(signalled);
    // Answered: the item went for good and its hidden row with it; the rows
    // shown are the collapsed folder's, and the navigator fits them.
    EXPECT_EQ(FileBytes(tree.Path("chosen\\sub\\inner.txt")), "<missing>");
    EXPECT_EQ(main.list.rowTotal, 2);
    EXPECT_EQ(WindowRect(main.hwnd).bottom - WindowRect(main.hwnd).top, 55 + 2 * main.list.rowHeight);
    // Then the close takes effect.
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(main.hwnd); }, 5000));
    EXPECT_EQ(WaitForSingleObject(nav.closeEvent, 0), static_cast<DWORD>(WAIT_OBJECT_0));

    // Asked to close while the box is up, as the taskbar or Alt+F4 would ask:
    // the same. And the shell acts on the answer at once, even while a box
    // that the thread has opened since waits for its user (here another
    // navigator's, answered No: its item stays, and so does its row).
    tree.Dir("beside");
    tree.File("beside\\b.txt", 30);
    Navigator second(tree.Path("chosen\\sub")), beside(tree.Path("beside"));
    ASSERT_TRUE(second.Opened() && beside.Opened());
    ASSERT_TRUE(second.WaitForScan() && beside.WaitForScan());
    MainWindow& other = second.Main();
    other.document.selected = RowNamed(other, "more.txt");
    Row kept = RowNamed(beside.Main(), "b.txt");
    beside.Main().document.selected = kept;
    bool innerSeen = false, goneMeanwhile = false;
    BoxAnswer gone{IDYES, [&](HWND box) {
        SendMessageW(other.hwnd, WM_CLOSE, 0, 0);
        open = IsWindow(other.hwnd) != FALSE;
        signalled = WaitForSingleObject(second.closeEvent, 0) == WAIT_OBJECT_0;
        HWND peer = beside.Main().hwnd, inner = nullptr;
        PostMessageW(peer, WM_KEYDOWN, VK_DELETE, 0);
        for (int i = 0; i < 200 && !inner; ++i, Sleep(25))
            for (HWND at = nullptr; !inner && (at = FindWindowExW(nullptr, at, L"#32770", nullptr));)
                if (GetWindow(at, GW_OWNER) == peer && IsWindowVisible(at)) inner = at;
        innerSeen = inner != nullptr;
        PostMessageW(box, WM_COMMAND, IDYES, 0);
        for (int i = 0; i < 200 && !goneMeanwhile; ++i, Sleep(25))
            goneMeanwhile = FileBytes(tree.Path("chosen\\sub\\more.txt")) == "<missing>";
        for (int i = 0; i < 200 && IsWindow(box); ++i) Sleep(25);
        if (inner) PostMessageW(inner, WM_COMMAND, IDNO, 0);
    }};
    DeleteAnswering(other, gone);
    ASSERT_TRUE(gone.seen);
    EXPECT_TRUE(open);
    EXPECT_FALSE(signalled);
    EXPECT_TRUE(innerSeen);
    EXPECT_TRUE(goneMeanwhile);
    EXPECT_EQ(FileBytes(tree.Path("beside\\b.txt")), std::string(30, '\0'));
    EXPECT_EQ(RowNamed(beside.Main(), "b.txt"), kept);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(other.hwnd); }, 5000));
    EXPECT_EQ(WaitForSingleObject(second.closeEvent, 0), static_cast<DWORD>(WAIT_OBJECT_0));
}

TEST_F(WithoutRecycleBin, APermanentDeleteTakesOnlyWhatIsInsideTheRow) {
    // A permanent delete goes folder by folder through handles: a link in
    // it, a name that is more than one name, a path past 260 units or the
    // process's current folder never take it outside the row. What stays is
    // reported, and the row keeps just that.
    if (!tree.Host("mkdir -p target/deep cwd && printf tttt > target/f && printf dddd > target/deep/g && "
                   "printf cccc > cwd/canary && mkdir chosen/holder && printf hh > chosen/holder/h && "
                   "ln -s ../../target chosen/holder/out && ln -s ../../target/f chosen/holder/flink && "
                   "printf rr > target/ro && chmod 444 target/ro && ln target/ro chosen/holder/ro && "
                   "ln chosen/sub/more.txt target/more && mkdir chosen/odd && printf oo > 'chosen/odd/x\\..\\..\\f'",
                   true))
        GTEST_SKIP() << "no host to make the link";
    std::string deep = "chosen\\deep";
    tree.Dir(deep);
    while (tree.Path(deep).size() < 300) {
        deep += "\\a-rather-long-folder-name-" + std::to_string(deep.size());
        tree.Dir(deep);
    }
    tree.File(deep + "\\leaf", 5);
    tree.Dir("chosen\\late");
    tree.File("chosen\\late\\l.txt", 7);
    tree.Dir("chosen\\busy");
    tree.File("chosen\\busy\\held.txt", 9);
    tree.File("chosen\\busy\\free.txt", 11);
    wchar_t home[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, home);
    SetCurrentDirectoryW(Wide(tree.Path("cwd")).c_str());
    Navigator nav(tree.Path("chosen"));
    ASSERT_TRUE(nav.Opened());
    ASSERT_TRUE(nav.WaitForScan());
    MainWindow& main = nav.Main();
    Document& doc = main.document;
    // Outside: files, a read-only one hard-linked into the row, and another
    // file's second name.
    const char* look = "cat target/f target/deep/g cwd/canary target/ro; stat -c %a target/ro; ls target/more";
    std::string outside = tree.HostOutput(look);
    ASSERT_EQ(outside, "ttttddddccccrr444\ntarget/more\n");
    HANDLE held = CreateFileW(Exact(tree.Path("chosen\\busy\\held.txt")).c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    struct Case {
        const char* row;
        const char* stays;  // what the disk keeps of it, or nothing
        double left;        // the bytes its row keeps
        const char* count;  // what the report counts, or nothing
        DWORD why;          // the report's first reason, where one is certain
    };
    for (const Case& c : {Case{"holder", "holder/flink", 6, "3 items", 0}, Case{"odd", "x\\..\\..\\f", 2, "1 item", 0},
                          Case{"busy", "held.txt", 9, "1 item", ERROR_SHARING_VIOLATION},
                          Case{"deep", nullptr, 0, nullptr, 0}}) {
        Row folder = RowNamed(main, c.row);
        ASSERT_NE(folder, nullptr) << c.row;
        double total = doc.root.Size(), bytes = folder.Size();
        doc.selected = folder;
        BoxAnswer yes{IDYES, {}};
        DeleteAnswering(main, yes);
        EXPECT_TRUE(yes.seen) << c.row;
        EXPECT_EQ(tree.HostOutput(look), outside) << c.row;
        std::string listed = tree.HostOutput(std::string("find chosen/") + c.row + " -mindepth 1 ! -type d");
        EXPECT_EQ(listed.find(c.stays ? c.stays : "\n") != std::string::npos, c.stays != nullptr) << c.row << listed;
        EXPECT_EQ(RowNamed(main, c.row), c.stays ? folder : nullptr) << c.row;
        if (c.stays) {
            EXPECT_EQ(folder.Size(), c.left) << c.row;
        }
        EXPECT_EQ(doc.root.Size(), total - bytes + (c.stays ? c.left : 0)) << c.row;
        if (!c.count) {
            EXPECT_EQ(yes.report, "") << c.row;
            continue;
        }
        EXPECT_NE(yes.report.find(std::string(c.count) + " could not be removed"), std::string::npos) << yes.report;
        if (c.why) {
            EXPECT_NE(yes.report.find(SystemText(c.why)), std::string::npos) << yes.report;
        }
    }
    CloseHandle(held);

    // Nor is one that gains a link while the box is up: the answer is
    // checked again, and then does nothing.
    Row late = RowNamed(main, "late");
    ASSERT_NE(late, nullptr);
    main.document.selected = late;
    std::string disk;
    BoxAnswer linked{IDYES, [&](HWND) {
        tree.Host("ln -s ../../target chosen/late/out", true);
        disk = tree.HostSnapshot();
    }};
    DeleteAnswering(main, linked);
    EXPECT_TRUE(linked.seen);
    EXPECT_EQ(tree.HostSnapshot(), disk);
    EXPECT_NE(disk.find("late/out"), std::string::npos);
    EXPECT_EQ(RowNamed(main, "late"), late);
    // Nor is a file put in the place of the row's while the box is up, even
    // where it takes the freed id (as Linux's file systems give it at once).
    Row file = RowNamed(main, "a.txt");
    ASSERT_NE(file, nullptr);
    main.document.selected = file;
    BoxAnswer replaced{IDYES, [&](HWND) {
        tree.Host("rm chosen/a.txt && cp chosen/sub/more.txt chosen/a.txt");
        disk = tree.HostSnapshot();
    }};
    DeleteAnswering(main, replaced);
    EXPECT_TRUE(replaced.seen);
    EXPECT_EQ(tree.HostSnapshot(), disk);
    EXPECT_EQ(FileBytes(tree.Path("chosen\\a.txt")), std::string(60, '\0'));
    // Nor does a file whose folder is swapped for a link to a folder that
    // holds another name of it lose that other name.
    Row sub = RowNamed(main, "sub");
    ASSERT_NE(sub, nullptr);
    Press(main.list.hwnd, WM_LBUTTONDOWN, 8, RowOf(main, sub) * main.list.rowHeight + 2);  // its expander
    Row more;
    ForEachChild(sub.Folder(), [&](Row child) {
        if (!strcmp(child.Name(), "more.txt")) more = child;
    });
    ASSERT_NE(more, nullptr);
    main.document.selected = more;
    BoxAnswer swapped{IDYES, [&](HWND) { tree.Host("mv chosen/sub moved && ln -s ../target chosen/sub", true); }};
    DeleteAnswering(main, swapped);
    EXPECT_TRUE(swapped.seen);
    EXPECT_EQ(tree.HostOutput(look), outside);
    EXPECT_EQ(tree.HostOutput("ls moved/more.txt"), "moved/more.txt\n");
    SetCurrentDirectoryW(home);
}

TEST_F(WithoutRecycleBin, LinksMadeWhileADeleteRunsAreNeverFollowed) {
    // Once the first file has gone, another program puts a link to an
    // outside folder into every subfolder still there, and swaps one
    // subfolder for a link: the outside folders keep all their files, and
    // so does the one swapped out of the row.
    if (!tree.Host("mkdir -p target && for i in $(seq 100 129); do mkdir -p victim/s$i && "
                   "(cd victim/s$i && seq 1000 1199 | xargs touch); done && (cd target && seq 1 50 | xargs touch)",
                   true))
        GTEST_SKIP() << "no host to make the links";
    // The subfolder swapped is one the delete has not reached yet, whatever
    // order it takes them in.
    ASSERT_TRUE(tree.Host("{ (while [ $(find victim -type f | wc -l) -ge 6000 ]; do sleep 0.01; done; "
                          "for d in victim/s*; do [ $(ls $d | wc -l) = 200 ] && mv $d swapped && "
                          "ln -s ../target $d && break; done; "
                          "for d in victim/s*; do [ -L $d ] || ln -s ../../target $d/zz; done; touch planted) "
                          ">/dev/null 2>&1 </dev/null & }",
                          true));
    Navigator whole(tree.Root());
    ASSERT_TRUE(whole.Opened());
    ASSERT_TRUE(whole.WaitForScan());
    Row victim = RowNamed(whole.Main(), "victim");
    ASSERT_NE(victim, nullptr);
    whole.Main().document.selected = victim;
    BoxAnswer yes{IDYES, {}};
    DeleteAnswering(whole.Main(), yes);
    EXPECT_TRUE(yes.seen);
    ASSERT_EQ(tree.HostOutput("ls planted"), "planted\n");
    EXPECT_EQ(tree.HostOutput("find target swapped -type f | wc -l"), "250\n");
    // The links stay, and are reported; the row keeps what the disk keeps.
    std::string left = tree.HostOutput("find victim ! -type d | wc -l");
    EXPECT_NE(left, "0\n");
    EXPECT_NE(yes.report.find("could not be removed"), std::string::npos) << yes.report;
    EXPECT_EQ(RowNamed(whole.Main(), "victim"), victim);
    EXPECT_EQ(std::to_string(victim.Files()) + "\n", tree.HostOutput("find victim -type f | wc -l"));
}

TEST_F(WithoutRecycleBin, CancelInTheProgressDialogStopsTheDelete) {
    // Shown at once here, so that Cancel comes early in a long delete.
    if (!tree.Host("for i in $(seq 100 119); do mkdir -p big/d$i && (cd big/d$i && seq 1000 1099 | xargs touch); done"))
        GTEST_SKIP() << "no host to make the files";
    Navigator nav(tree.Root());
    ASSERT_TRUE(nav.Opened());
    ASSERT_TRUE(nav.WaitForScan());
    Row big = RowNamed(nav.Main(), "big");
    ASSERT_NE(big, nullptr);
    ASSERT_EQ(big.Files(), 2000);
    nav.Main().document.selected = big;
    DeleteProgressDialog::delayMs = 0;
    BoxAnswer yes{IDYES, {}};
    yes.cancelProgress = true;
    DeleteAnswering(nav.Main(), yes);
    DeleteProgressDialog::delayMs = 1000;
    EXPECT_TRUE(yes.seen);
    EXPECT_TRUE(yes.progressCancelled);
    // Stopped part way, and no failure to report; the row keeps what stays.
    std::string left = tree.HostOutput("find big -type f | wc -l");
    EXPECT_NE(left, "0\n");
    EXPECT_NE(left, "2000\n");
    EXPECT_EQ(yes.report, "");
    EXPECT_EQ(RowNamed(nav.Main(), "big"), big);
    EXPECT_EQ(std::to_string(big.Files()) + "\n", left);
}

}  // namespace
