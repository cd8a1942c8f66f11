// The navigator as a screen reader sees it: the panes' objects taken through
// oleacc from their windows, and the events the panes raise.
#include <gtest/gtest.h>

#include <windows.h>
#include <ole2.h>
#include <oleacc.h>

#include <cwctype>
#include <memory>
#include <string>
#include <vector>

#include "Navigator.h"
#include "TempTree.h"

namespace {

// The window's thread is a single-threaded apartment, as the shell's is.
struct Apartment {
    Apartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~Apartment() { CoUninitialize(); }
};

VARIANT Child(long id) {
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

IAccessible* ObjectOf(HWND hwnd) {
    IAccessible* object = nullptr;
    EXPECT_EQ(AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                         reinterpret_cast<void**>(&object)),
              S_OK);
    return object;
}

std::wstring Text(IAccessible* object, HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*), long child) {
    BSTR text = nullptr;
    if (FAILED((object->*get)(Child(child), &text))) return L"<failed>";
    std::wstring out = text ? std::wstring(text, SysStringLen(text)) : L"<none>";
    SysFreeString(text);
    return out;
}
std::wstring Name(IAccessible* o, long child) { return Text(o, &IAccessible::get_accName, child); }
std::wstring Value(IAccessible* o, long child) { return Text(o, &IAccessible::get_accValue, child); }
std::wstring Action(IAccessible* o, long child) { return Text(o, &IAccessible::get_accDefaultAction, child); }

long Number(IAccessible* object, HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*), long child) {
    VARIANT out;
    VariantInit(&out);
    if (FAILED((object->*get)(Child(child), &out)) || out.vt != VT_I4) return -1;
    return out.lVal;
}
long Role(IAccessible* o, long child) { return Number(o, &IAccessible::get_accRole, child); }
long State(IAccessible* o, long child) { return Number(o, &IAccessible::get_accState, child); }

long Count(IAccessible* object) {
    long count = 0;
    return SUCCEEDED(object->get_accChildCount(&count)) ? count : -1;
}

// The child a call answers with (get_accFocus, accHitTest, accNavigate), 0 for none.
long Answer(HRESULT hr, const VARIANT& v) { return SUCCEEDED(hr) && v.vt == VT_I4 ? v.lVal : 0; }

struct Event {
    DWORD event;
    HWND hwnd;
    LONG object, child;
};
std::vector<Event> events;

void CALLBACK Record(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG object, LONG child, DWORD, DWORD) {
    events.push_back({event, hwnd, object, child});
}

// Pumps until the event has come (out-of-context hooks are called from the
// message loop) since `from`.
bool Await(size_t from, DWORD event, HWND hwnd, LONG child) {
    return PumpUntil([&] {
        for (size_t i = from; i < events.size(); ++i)
            if (events[i].event == event && events[i].hwnd == hwnd && events[i].object == OBJID_CLIENT &&
                events[i].child == child)
                return true;
        return false;
    }, 5000);
}

// A reader in another apartment, as one in another process is: its calls go
// through COM's proxy and the window thread's stub. It reads a row's name,
// then, once let go, calls again and lets its proxy go.
struct Reader {
    HWND hwnd;
    HANDLE read = CreateEventA(nullptr, TRUE, FALSE, nullptr), go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = nullptr;
    std::wstring name;
    HRESULT later = S_OK;

    explicit Reader(HWND window) : hwnd(window) { thread = CreateThread(nullptr, 0, Run, this, 0, nullptr); }
    ~Reader() {
        Finish();
        CloseHandle(thread);
        CloseHandle(read);
        CloseHandle(go);
    }
    bool Finish() {
        SetEvent(go);
        return PumpUntil([&] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }, 5000);
    }
    static DWORD WINAPI Run(LPVOID self) {
        auto* r = static_cast<Reader*>(self);
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        IAccessible* object = ObjectOf(r->hwnd);
        if (object) r->name = Name(object, 1);
        SetEvent(r->read);
        WaitForSingleObject(r->go, INFINITE);
        long count;
        if (object) r->later = object->get_accChildCount(&count);
        if (object) object->Release();
        CoUninitialize();
        return 0;
    }
};

constexpr long kRowState = STATE_SYSTEM_SELECTABLE | STATE_SYSTEM_FOCUSABLE;
constexpr long kChosen = STATE_SYSTEM_SELECTED | STATE_SYSTEM_FOCUSED;

TEST(Accessibility, RowsHeaderSelectionEventsAndDisconnection) {
    Apartment apartment;
    TempTree tree;
    tree.Dir("Фото");
    tree.File("Фото\\a.jpg", 3000);
    tree.File("Фото\\b.jpg", 1500);
    tree.Dir("docs");
    tree.File("docs\\one.txt", 500);
    tree.File("big.bin", 10000);
    tree.File("small.txt", 10);
    events.clear();
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_REORDER, EVENT_OBJECT_VALUECHANGE, nullptr, Record, 0, 0,
                                         WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook, nullptr);

    IAccessible *list = nullptr, *header = nullptr;
    std::unique_ptr<Reader> reader;
    {
        ScanHold hold;
        Navigator nav(tree.Root(), {200, 100}, hold.Hook());
        ASSERT_TRUE(nav.Opened());
        MainWindow& main = nav.Main();
        const std::wstring path = Wide(tree.Root());
        header = ObjectOf(main.header.hwnd);
        list = ObjectOf(main.list.hwnd);
        ASSERT_TRUE(header && list);

        // While the scan runs no row is taken.
        ASSERT_FALSE(main.document.root.Complete());
        EXPECT_EQ(Value(header, CHILDID_SELF), L"Scanning");
        EXPECT_EQ(list->accSelect(SELFLAG_TAKESELECTION, Child(1)), E_FAIL);
        hold.LetGo();
        ASSERT_TRUE(nav.WaitForScan());
        ASSERT_TRUE(Await(0, EVENT_OBJECT_VALUECHANGE, main.header.hwnd, CHILDID_SELF));
        ASSERT_TRUE(Await(0, EVENT_OBJECT_REORDER, main.list.hwnd, CHILDID_SELF));

        // The header: the folder, its totals, and the close box.
        EXPECT_EQ(Role(header, CHILDID_SELF), ROLE_SYSTEM_TITLEBAR);
        EXPECT_EQ(Name(header, CHILDID_SELF), path);
        EXPECT_EQ(Value(header, CHILDID_SELF), L"5 files, 15.01 Kb");
        EXPECT_EQ(Count(header), 1);
        EXPECT_EQ(Role(header, 1), ROLE_SYSTEM_PUSHBUTTON);
        EXPECT_EQ(Name(header, 1), L"Close");
        EXPECT_EQ(Action(header, 1), L"Press");
        long x, y, w, h;
        ASSERT_EQ(header->accLocation(&x, &y, &w, &h, Child(1)), S_OK);
        POINT box{x + w / 2, y + h / 2};
        ScreenToClient(main.header.hwnd, &box);
        EXPECT_TRUE(main.header.InCloseBox(box.x, box.y));
        EXPECT_FALSE(main.header.InCloseBox(box.x - w, box.y));
        EXPECT_FALSE(main.header.InCloseBox(box.x, box.y + h));

        // The list: its rows as on disk, folders first, then files, by size.
        EXPECT_EQ(Role(list, CHILDID_SELF), ROLE_SYSTEM_OUTLINE);
        EXPECT_EQ(Name(list, CHILDID_SELF), path);
        ASSERT_EQ(Count(list), 4);
        const struct {
            const char* name;
            const wchar_t* value;
            long state;
            const wchar_t* action;
        } rows[] = {
            {"Фото", L"4.5 Kb, 2 files", STATE_SYSTEM_COLLAPSED, L"Expand"},
            {"docs", L"500 b, 1 file", STATE_SYSTEM_COLLAPSED, L"Expand"},
            {"big.bin", L"10 Kb", 0, L"Open"},
            {"small.txt", L"10 b", 0, L"Open"},
        };
        for (long id = 1; id <= 4; ++id) {
            const auto& row = rows[id - 1];
            EXPECT_EQ(Name(list, id), Wide(row.name)) << id;
            EXPECT_EQ(Value(list, id), row.value) << id;
            EXPECT_EQ(Text(list, &IAccessible::get_accDescription, id), L"Level 1") << id;
            EXPECT_EQ(Role(list, id), ROLE_SYSTEM_OUTLINEITEM) << id;
            EXPECT_EQ(State(list, id), kRowState | row.state) << id;
            EXPECT_EQ(Action(list, id), row.action) << id;
            IDispatch* child = reinterpret_cast<IDispatch*>(1);
            EXPECT_EQ(list->get_accChild(Child(id), &child), S_FALSE);
            EXPECT_EQ(child, nullptr);
        }
        EXPECT_EQ(Name(list, 5), L"<failed>");
        // Its parent is the pane's window object, which names the window.
        HWND parent = nullptr;
        EXPECT_EQ(WindowFromAccessibleObject(list, &parent), S_OK);
        EXPECT_EQ(parent, main.list.hwnd);

        // Places: the second row is the pane's second strip, and found there.
        RECT pane = WindowRect(main.list.hwnd);
        const int rowHeight = main.list.rowHeight;
        ASSERT_EQ(list->accLocation(&x, &y, &w, &h, Child(2)), S_OK);
        EXPECT_EQ(x, pane.left);
        EXPECT_EQ(y, pane.top + rowHeight);
        EXPECT_EQ(w, pane.right - pane.left);
        EXPECT_EQ(h, rowHeight);
        VARIANT v;
        EXPECT_EQ(Answer(list->accHitTest(x + 50, y + h / 2, &v), v), 2);
        EXPECT_EQ(Answer(list->accNavigate(NAVDIR_FIRSTCHILD, Child(CHILDID_SELF), &v), v), 1);
        EXPECT_EQ(Answer(list->accNavigate(NAVDIR_NEXT, Child(2), &v), v), 3);
        EXPECT_EQ(Answer(list->accNavigate(NAVDIR_LASTCHILD, Child(CHILDID_SELF), &v), v), 4);
        EXPECT_EQ(list->accNavigate(NAVDIR_NEXT, Child(4), &v), S_FALSE);
        main.scrollBar.topRow = 1;  // as if scrolled down a row
        EXPECT_EQ(State(list, 1), kRowState | STATE_SYSTEM_COLLAPSED | STATE_SYSTEM_OFFSCREEN);
        ASSERT_EQ(list->accLocation(&x, &y, &w, &h, Child(2)), S_OK);
        EXPECT_EQ(y, pane.top);
        main.scrollBar.topRow = 0;

        // A reader elsewhere: the window's thread answers it while it pumps.
        reader.reset(new Reader(main.list.hwnd));
        ASSERT_TRUE(PumpUntil([&] { return WaitForSingleObject(reader->read, 0) == WAIT_OBJECT_0; }, 5000));
        EXPECT_EQ(reader->name, Wide("Фото"));

        // A press selects a row; Down moves on; both tell the client.
        size_t mark = events.size();
        Press(main.list.hwnd, WM_LBUTTONDOWN, 40, 2);
        EXPECT_TRUE(Await(mark, EVENT_OBJECT_FOCUS, main.list.hwnd, 1));
        EXPECT_TRUE(Await(mark, EVENT_OBJECT_SELECTION, main.list.hwnd, 1));
        EXPECT_EQ(State(list, 1), kRowState | kChosen | STATE_SYSTEM_COLLAPSED);
        mark = events.size();
        SendMessageA(main.hwnd, WM_KEYDOWN, VK_DOWN, 0);
        EXPECT_TRUE(Await(mark, EVENT_OBJECT_FOCUS, main.list.hwnd, 2));
        EXPECT_TRUE(Await(mark, EVENT_OBJECT_SELECTION, main.list.hwnd, 2));
        EXPECT_EQ(State(list, 1), kRowState | STATE_SYSTEM_COLLAPSED);
        EXPECT_EQ(State(list, 2), kRowState | kChosen | STATE_SYSTEM_COLLAPSED);
        EXPECT_EQ(Answer(list->get_accFocus(&v), v), 2);

        // A client selects a file, then expands the first folder: the action
        // runs later, on the window's thread, and keeps the selection. The
        // popup opened on another row goes: it would act on this one.
        Press(main.list.hwnd, WM_RBUTTONDOWN, 60, 2, MK_RBUTTON);
        ASSERT_TRUE(IsWindowVisible(main.menu.hwnd));
        ASSERT_EQ(list->accSelect(SELFLAG_TAKEFOCUS | SELFLAG_TAKESELECTION, Child(4)), S_OK);
        EXPECT_STREQ(main.document.selected.Name(), "small.txt");
        EXPECT_FALSE(IsWindowVisible(main.menu.hwnd));
        EXPECT_TRUE(Await(mark, EVENT_OBJECT_SELECTION, main.list.hwnd, 4));
        mark = events.size();
        ASSERT_EQ(list->accDoDefaultAction(Child(1)), S_OK);
        EXPECT_FALSE(main.list.FindRow(0).Expanded());
        ASSERT_TRUE(Await(mark, EVENT_OBJECT_REORDER, main.list.hwnd, CHILDID_SELF));
        EXPECT_TRUE(Await(mark, EVENT_OBJECT_STATECHANGE, main.list.hwnd, 1));  // "expanded"
        ASSERT_EQ(Count(list), 6);
        EXPECT_EQ(State(list, 1), kRowState | STATE_SYSTEM_EXPANDED);
        EXPECT_EQ(Action(list, 1), L"Collapse");
        EXPECT_EQ(Name(list, 2), L"a.jpg");
        EXPECT_EQ(Value(list, 3), L"1.5 Kb");
        EXPECT_EQ(Text(list, &IAccessible::get_accDescription, 3), L"Level 2");
        EXPECT_EQ(Answer(list->get_accSelection(&v), v), 6);

        // The close button, pressed by the client: the navigator goes.
        ASSERT_EQ(header->accDoDefaultAction(Child(1)), S_OK);
        EXPECT_TRUE(IsWindow(main.hwnd));
        ASSERT_TRUE(PumpUntil([&] { return WaitForSingleObject(nav.closeEvent, 0) == WAIT_OBJECT_0; }, 5000));
        EXPECT_FALSE(IsWindow(main.hwnd));
        EXPECT_EQ(list->get_accChildCount(&x), RPC_E_DISCONNECTED);
    }
    // The panes are freed: every call still fails cleanly, and COM's stubs
    // let go of the object while the reader still holds its proxy.
    EXPECT_EQ(Name(list, 1), L"<failed>");
    EXPECT_EQ(Count(header), -1);
    EXPECT_EQ(list->AddRef(), 2u);  // this test's reference and this one
    list->Release();
    ASSERT_TRUE(reader->Finish());
    EXPECT_TRUE(FAILED(reader->later));
    list->Release();
    header->Release();
    UnhookWinEvent(hook);
}

// The reader's focus is the keyboard's, and a reader's collapse brings the
// selection it moves into view before it tells of it.
TEST(Accessibility, FocusFollowsTheKeyboardAndACollapseShowsTheSelection) {
    Apartment apartment;
    TempTree tree;
    tree.Dir("many");
    for (int i = 0; i < 90; ++i) tree.File("many\\f" + std::to_string(i), 100 + i);
    tree.File("solo.txt", 1);
    events.clear();
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_SELECTION, nullptr, Record, 0, 0,
                                         WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook, nullptr);
    Navigator nav(tree.Root(), {200, 100});
    ASSERT_TRUE(nav.Opened());
    ASSERT_TRUE(nav.WaitForScan());
    MainWindow& main = nav.Main();
    IAccessible* list = ObjectOf(main.list.hwnd);
    ASSERT_NE(list, nullptr);
    VARIANT v;

    // The list has the keys and no row is selected: the outline has the focus.
    SetFocus(main.list.hwnd);
    ASSERT_EQ(GetFocus(), main.list.hwnd);
    ASSERT_EQ(main.document.selected, nullptr);
    EXPECT_EQ(State(list, CHILDID_SELF), STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_FOCUSED);
    ASSERT_EQ(list->get_accFocus(&v), S_OK);
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, CHILDID_SELF);

    // Two actions asked before the window's loop runs (a reader on two
    // threads, say) are both carried out: the folder opens and shuts again.
    ASSERT_EQ(list->accDoDefaultAction(Child(1)), S_OK);
    ASSERT_EQ(list->accDoDefaultAction(Child(1)), S_OK);
    for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&message);
    EXPECT_EQ(main.list.rowTotal, 2);
    EXPECT_FALSE(main.list.FindRow(0).Expanded());

    // A row 80 rows down, selected by the reader, then its folder collapsed
    // by the reader: the folder takes the selection, in view.
    ASSERT_EQ(list->accDoDefaultAction(Child(1)), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return main.list.rowTotal == 92; }, 5000));
    ASSERT_EQ(list->accSelect(SELFLAG_TAKEFOCUS | SELFLAG_TAKESELECTION, Child(81)), S_OK);
    ASSERT_GT(main.scrollBar.topRow, 0);
    EXPECT_EQ(State(list, CHILDID_SELF), STATE_SYSTEM_FOCUSABLE);
    EXPECT_EQ(State(list, 81), kRowState | kChosen);
    size_t mark = events.size();
    ASSERT_EQ(list->accDoDefaultAction(Child(1)), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return main.list.rowTotal == 2; }, 5000));
    Row many = main.list.FindRow(0);
    EXPECT_EQ(main.document.selected, many);
    EXPECT_EQ(main.scrollBar.topRow, 0);
    EXPECT_TRUE(Await(mark, EVENT_OBJECT_FOCUS, main.list.hwnd, 1));
    EXPECT_EQ(State(list, 1), kRowState | kChosen | STATE_SYSTEM_COLLAPSED);
    EXPECT_EQ(Answer(list->get_accFocus(&v), v), 1);

    // The keys go elsewhere: the row stays selected, but has no focus.
    SetFocus(main.header.hwnd);
    ASSERT_EQ(GetFocus(), main.header.hwnd);
    EXPECT_EQ(State(list, 1), kRowState | STATE_SYSTEM_SELECTED | STATE_SYSTEM_COLLAPSED);
    EXPECT_EQ(State(list, CHILDID_SELF), STATE_SYSTEM_FOCUSABLE);
    EXPECT_EQ(list->get_accFocus(&v), S_FALSE);
    EXPECT_EQ(Answer(list->get_accSelection(&v), v), 1);
    // A reader selects another row meanwhile: readers hear of the selection
    // (its event comes after a focus event), but the focus stays where the
    // keys are. The keys come back: the row has the focus again.
    mark = events.size();
    ASSERT_EQ(list->accSelect(SELFLAG_TAKESELECTION, Child(2)), S_OK);
    ASSERT_TRUE(Await(mark, EVENT_OBJECT_SELECTION, main.list.hwnd, 2));
    for (size_t i = mark; i < events.size(); ++i)
        EXPECT_FALSE(events[i].event == EVENT_OBJECT_FOCUS && events[i].hwnd == main.list.hwnd) << events[i].child;
    mark = events.size();
    SetFocus(main.list.hwnd);
    EXPECT_TRUE(Await(mark, EVENT_OBJECT_FOCUS, main.list.hwnd, 2));
    // Taking the focus takes the keys.
    SetFocus(main.header.hwnd);
    ASSERT_EQ(list->accSelect(SELFLAG_TAKEFOCUS | SELFLAG_TAKESELECTION, Child(1)), S_OK);
    EXPECT_EQ(GetFocus(), main.list.hwnd);
    EXPECT_EQ(Answer(list->get_accFocus(&v), v), 1);
    // The last row goes, as a Delete takes it: the focus is the outline's,
    // and readers hear so.
    main.document.RemoveNode(main.list.FindRow(1));
    mark = events.size();
    main.document.RemoveSelected();
    ASSERT_EQ(main.document.selected, nullptr);
    EXPECT_TRUE(Await(mark, EVENT_OBJECT_FOCUS, main.list.hwnd, CHILDID_SELF));
    EXPECT_EQ(State(list, CHILDID_SELF), STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_FOCUSED);
    list->Release();
    UnhookWinEvent(hook);
}

// The header's summary line as the user sees it: its pixels.
std::vector<COLORREF> SummaryLine(HWND header) {
    std::vector<COLORREF> pixels;
    HDC dc = GetDC(header);
    for (int y = 27; y < 45; ++y)
        for (int x = 0; x < 400; ++x) pixels.push_back(GetPixel(dc, x, y));
    ReleaseDC(header, dc);
    return pixels;
}

TEST(Accessibility, AFolderThatCannotBeListedSaysWhyInTheHeader) {
    Apartment apartment;
    TempTree tree;
    tree.Dir("empty");
    // Gone between the shell's menu and the listing, as a share's folder may
    // go; the system's words for it are what any caller gets.
    std::string gone = tree.Path("gone");
    HANDLE probe = CreateFileW(Exact(gone).c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_EQ(probe, INVALID_HANDLE_VALUE);
    DWORD error = GetLastError();
    wchar_t words[512] = L"";
    ASSERT_GT(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, words,
                             512, nullptr),
              0u);
    std::wstring reason = words;
    while (!reason.empty() && iswspace(reason.back())) reason.pop_back();

    std::vector<COLORREF> emptyLine;
    {
        Navigator empty(tree.Path("empty"));
        ASSERT_TRUE(empty.Opened() && empty.WaitForScan());
        PumpFor(200);
        emptyLine = SummaryLine(empty.Main().header.hwnd);
    }
    Navigator nav(gone);
    ASSERT_TRUE(nav.Opened());
    ASSERT_TRUE(nav.WaitForScan());
    PumpFor(200);
    MainWindow& main = nav.Main();
    IAccessible* header = ObjectOf(main.header.hwnd);
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(Value(header, CHILDID_SELF), L"Cannot list this folder: " + reason);
    header->Release();
    // Not an empty folder's totals, and closed as ever.
    EXPECT_EQ(Height(main.hwnd), 55);
    EXPECT_NE(SummaryLine(main.header.hwnd), emptyLine);
    EXPECT_TRUE(nav.Close());
}

}  // namespace

