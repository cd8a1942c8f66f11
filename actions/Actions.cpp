// Open and Delete on a row of the navigator. Both act on the row's own item
// or on nothing. The listing gave each row its item's id; the shell's calls
// take ordinary paths, which the platform normalises and looks up without
// regard to case, so an action goes ahead only once the exact path and the
// ordinary one both reach the item with that very id.
#include "Actions.h"

#include <cstdint>
#include <new>
#include <set>
#include <string>
#include <utility>

#include "Aside.h"
#include "DeleteProgressDialog.h"
#include "Document.h"
#include "HandleDelete.h"
#include "ItemHandle.h"
#include "OpenItem.h"
#include "ShellDelete.h"

namespace {

bool Same(const ItemIdentity& a, const ItemIdentity& b) { return a.volume == b.volume && a.file == b.file; }
bool Same(const ItemTimes& a, const ItemTimes& b) {
    return !CompareFileTime(&a.created, &b.created) && !CompareFileTime(&a.written, &b.written);
}

// True when the item at the exact path is the entry its folder lists under
// that name, not something reached through a link: under Wine a host's link
// to a file lists as the file itself, and the shell's Recycle Bin would take
// the link's target.
bool ReachedDirectly(const ItemPath& exact, const ItemHandle& item) {
    std::wstring name(exact.Exact() + exact.LastNameAt());
    ItemHandle parent(exact.Folder().c_str());
    std::wstring itemAt, folderAt;
    if (!item.FinalPath(&itemAt) || !parent.FinalPath(&folderAt)) return false;
    if (folderAt.empty() || folderAt.back() != L'\\') folderAt.push_back(L'\\');
    return itemAt == folderAt + name;
}

// The ordinary path of a node's item, when it provably names that item: the
// exact path and the ordinary one both reach the item the listing gave, of
// the node's kind. For a delete, the item must also be no link, nor reached
// through one: a delete never removes anything but the row's own item.
bool ProvenPath(const Document& doc, Row node, bool forDelete, std::wstring* ordinary) {
    ItemPath exact;
    ItemIdentity listed = doc.Identity(node);
    // Without an id from the listing nothing proves which item a path reaches.
    if (listed.file == 0 || !doc.NodePath(node, &exact) || !exact.Ordinary(ordinary)) return false;
    if (forDelete && node.IsLink()) return false;
    ItemHandle byExact(exact.Exact()), byOrdinary(ordinary->c_str());
    ItemIdentity exactId, ordinaryId;
    if (!byExact.Identity(&exactId) || !byOrdinary.Identity(&ordinaryId) || !Same(exactId, listed) ||
        !Same(ordinaryId, listed) || byExact.IsFolder() != node.IsFolder())
        return false;
    if (!forDelete) return true;
    return !byExact.IsLink() && ReachedDirectly(exact, byExact);
}

// The times of the item that the node's exact path reaches now.
bool TimesOf(const Document& doc, Row node, ItemTimes* out) {
    ItemPath exact;
    return doc.NodePath(node, &exact) && ItemHandle(exact.Exact()).Times(out);
}

// True once the node's item is gone: its exact path reaches nothing, or an
// item other than the row's (a twin that the platform finds for the name).
bool ItemGone(const Document& doc, Row node) {
    ItemPath exact;
    if (!doc.NodePath(node, &exact)) return false;
    ItemHandle item(exact.Exact());
    ItemIdentity now;
    if (!item.Identity(&now)) return item.Missing();
    return !Same(now, doc.Identity(node));
}

// One action at a time per navigator: the note and the shell's windows
// dispatch messages, and a second action started from one of them would
// act on whatever was selected by then. The views hear when an action
// starts and ends, so that they hold still (and outlive it) meanwhile.
class ActionScope {
public:
    ActionScope(bool& running, DocumentViews* views) : running_(running), views_(views), entered_(!running) {
        if (!entered_) return;
        running_ = true;
        if (views_) views_->BeginAction();
    }
    ~ActionScope() {
        if (!entered_) return;
        running_ = false;
        if (views_) views_->EndAction();
    }
    bool Entered() const { return entered_; }

private:
    bool& running_;
    DocumentViews* views_;
    bool entered_;
};

// Says how many items a delete left, and the first reason, in the system's words.
void ReportLeft(HWND owner, uint64_t count, DWORD error) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring reason = text ? text : L"Error " + std::to_wstring(error) + L".";
    if (text) LocalFree(text);
    std::wstring message = count == 1 ? L"1 item could not be removed:"
                                      : std::to_wstring(count) + L" items could not be removed. The first:";
    message += L"\n\n" + reason;
    MessageBoxW(owner, message.c_str(), L"Varnel", MB_OK | MB_ICONWARNING);
}

}  // namespace

void Document::OpenSelected() {
    ActionScope scope(actionRunning_, owner);
    const Row target = selected;
    if (!scope.Entered() || !target) return;
    std::wstring path;
    if (!ProvenPath(*this, target, false, &path)) return;
    OpenItem(path, target.IsFolder(), owner ? owner->ViewWindow() : nullptr);
}

void Document::DeleteSelected() {
    ActionScope scope(actionRunning_, owner);
    if (!scope.Entered()) return;
    // The row is the one selected when the action starts, whatever happens
    // to the selection while the note is up. Nothing else removes rows
    // meanwhile (one action at a time), so that the row keeps naming its
    // item; should that ever change, the row is left alone.
    const Row target = selected;
    const unsigned removals = removals_;
    HWND window = owner ? owner->ViewWindow() : nullptr;
    if (ShowDlgSetting(true)) {
        // Only a ticked box turns the note off; a note that could not be shown
        // changes nothing.
        if (ShowRecycleNote(owner ? owner->ViewInstance() : nullptr, window) == 1) ShowDlgSetting(false);
    }
    // The note's loop may have seen the navigator closed.
    if (!target || !ViewsOpen() || removals_ != removals) return;
    std::wstring path;
    ItemTimes times;
    ItemPath exact;
    // The shell only ever takes the item whole, by this path: where it would
    // destroy the item instead, it is stopped first (RecycleItem), and the
    // delete goes by handles, inside the item alone.
    if (!ProvenPath(*this, target, true, &path) || !TimesOf(*this, target, &times) || !NodePath(target, &exact))
        return;

    // Whatever the user answers, the delete goes on only with what was
    // checked here, checked again at the answer (on the delete's thread,
    // while this one waits: the node outlives the call). The same id with
    // other times is a new item under a reused id.
    auto stillSafe = [&] {
        std::wstring again;
        ItemTimes now;
        return ProvenPath(*this, target, true, &again) && again == path && TimesOf(*this, target, &now) &&
               Same(now, times);
    };
    ItemIdentity identity = Identity(target), parent = Identity(target.Parent());
    bool folder = target.IsFolder();
    uint64_t expected = folder ? static_cast<uint64_t>(target.Files()) + 1 : 1;
    DeleteReport report;
    DWORD shellError = ERROR_SUCCESS;
    bool declined = true;
    RunAside([&] {
        Recycling way = RecycleItem(path, window, stillSafe, &shellError);
        declined = way == Recycling::declined;
        if (way != Recycling::permanent) return;
        DeleteProgressDialog progress(window, expected);
        report = DeleteByHandles(exact, identity, parent, folder, &progress);
    });
    // Nothing of the navigator is touched once it has closed meanwhile. The
    // row goes only with its own item, whatever the shell reported; where
    // the item stayed, what went from inside it leaves the tree with its
    // totals, so that the row shows what remains.
    if (!ViewsOpen() || removals_ != removals) return;
    bool gone = ItemGone(*this, target);
    if (gone) {
        RemoveNode(target);
    } else if (folder && !report.listed.empty()) {
        try {
            std::set<uint64_t> listed(report.listed.begin(), report.listed.end());
            std::set<std::pair<uint64_t, std::string>> kept(report.kept.begin(), report.kept.end());
            RemoveWithin(target.Folder(), [&](Row row) {
                return listed.count(row.Parent()->FileId()) && !kept.count({row.FileId(), row.Name()});
            });
        } catch (const std::bad_alloc&) {
            // The tree stays as it was (RemoveWithin changes nothing until it
            // has all it needs); the report says why the row did not follow.
            report.failed++;
            if (report.firstError == ERROR_SUCCESS) report.firstError = ERROR_NOT_ENOUGH_MEMORY;
        }
    }
    if (report.failed > 0)
        ReportLeft(window, report.failed, report.firstError);
    else if (!gone && !declined && !report.cancelled && shellError != ERROR_SUCCESS)
        ReportLeft(window, 1, shellError);
}
