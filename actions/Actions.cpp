// Open and Delete on a row of the navigator. Both act on the row's own item
// or on nothing. The listing gave each row its item's id; the shell's calls
// take ordinary paths, which the platform normalises and looks up without
// regard to case, so an action goes ahead only once the exact path and the
// ordinary one both reach the item with that very id.
#include "Actions.h"

#include <string>
#include <utility>
#include <vector>

#include "Document.h"
#include "ItemHandle.h"
#include "Name.h"
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
    std::wstring folder(exact.Exact(), exact.LastNameAt());
    if (folder.size() > 1 && folder[folder.size() - 2] != L':') folder.pop_back();  // a drive's root keeps its "\"
    std::wstring name(exact.Exact() + exact.LastNameAt());
    ItemHandle parent(folder.c_str());
    std::wstring itemAt, folderAt;
    if (!item.FinalPath(&itemAt) || !parent.FinalPath(&folderAt)) return false;
    if (folderAt.empty() || folderAt.back() != L'\\') folderAt.push_back(L'\\');
    return itemAt == folderAt + name;
}

// The ordinary path of a node's item, when it provably names that item: the
// exact path and the ordinary one both reach the item the listing gave, of
// the node's kind. For a delete, the item must also be no link, nor reached
// through one: a delete never removes anything but the row's own item.
bool ProvenPath(const Document& doc, const FolderNode* node, bool forDelete, std::wstring* ordinary) {
    ItemPath exact;
    ItemIdentity listed = doc.Identity(node);
    // Without an id from the listing nothing proves which item a path reaches.
    if (listed.file == 0 || !doc.NodePath(node, &exact) || !exact.Ordinary(ordinary)) return false;
    if (forDelete && node->isLink) return false;
    ItemHandle byExact(exact.Exact()), byOrdinary(ordinary->c_str());
    ItemIdentity exactId, ordinaryId;
    if (!byExact.Identity(&exactId) || !byOrdinary.Identity(&ordinaryId) || !Same(exactId, listed) ||
        !Same(ordinaryId, listed) || byExact.IsFolder() != (node->isFolder != 0))
        return false;
    if (!forDelete) return true;
    return !byExact.IsLink() && ReachedDirectly(exact, byExact);
}

// True when the shell, deleting the folder, reaches exactly what the disk
// holds in it now. Where an item cannot go to the Recycle Bin the shell asks,
// then destroys it by recursing with ordinary paths, through links too; and
// which way it goes is only known once it has the item. So a folder is
// handed to it only when nothing at any depth is a link, every name is one
// that the platform takes as it stands, every folder can be listed, and
// every path fits in MAX_PATH units: a longer one is lost in the shell's
// recursion, which may then act on the items of its current folder, and no
// query tells beforehand whether the Recycle Bin will take the folder whole.
bool ShellReachesOnlyItsOwn(const ItemPath& folder, size_t ordinaryLength, const ItemIdentity& identity) {
    struct Level {
        ItemPath path;
        size_t ordinary;  // the length of the folder's ordinary path
        ItemIdentity identity;
    };
    FolderListing listing;
    std::vector<Level> pending{{folder, ordinaryLength, identity}};
    while (!pending.empty()) {
        Level at = std::move(pending.back());
        pending.pop_back();
        if (!listing.Open(at.path.Exact(), &at.identity)) return false;
        ListedEntry entry;
        while (listing.Next(&entry)) {
            std::wstring name(entry.name, entry.nameLength);
            if (name == L"." || name == L"..") continue;
            size_t ordinary = at.ordinary + 1 + name.size();
            if (IsLink(entry.attributes, entry.reparseTag) || IsNormalisedName(name.c_str(), name.size()) ||
                ordinary >= MAX_PATH)
                return false;
            if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
            ItemPath sub = at.path;
            if (!sub.Append(EncodeName(name).c_str())) return false;
            pending.push_back({std::move(sub), ordinary, {at.identity.volume, entry.fileId}});
        }
    }
    return true;
}

// The ordinary path under which the shell's delete takes exactly the node's
// item and, for a folder, reaches nothing but its items; false when there is
// none.
bool DeletablePath(const Document& doc, const FolderNode* node, std::wstring* path) {
    if (!ProvenPath(doc, node, true, path)) return false;
    ItemPath exact;
    return !node->isFolder ||
           (doc.NodePath(node, &exact) && ShellReachesOnlyItsOwn(exact, path->size(), doc.Identity(node)));
}

// The times of the item that the node's exact path reaches now.
bool TimesOf(const Document& doc, const FolderNode* node, ItemTimes* out) {
    ItemPath exact;
    return doc.NodePath(node, &exact) && ItemHandle(exact.Exact()).Times(out);
}

// True once the node's item is gone: its exact path reaches nothing, or an
// item other than the row's (a twin that the platform finds for the name).
bool ItemGone(const Document& doc, const FolderNode* node) {
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

}  // namespace

void Document::OpenSelected() {
    ActionScope scope(actionRunning_, owner);
    FolderNode* target = selected;
    if (!scope.Entered() || !target) return;
    std::wstring path;
    if (!ProvenPath(*this, target, false, &path)) return;
    OpenItem(path, target->isFolder != 0, owner ? owner->ViewWindow() : nullptr);
}

void Document::DeleteSelected() {
    ActionScope scope(actionRunning_, owner);
    if (!scope.Entered()) return;
    // The row is the one selected when the action starts, whatever happens
    // to the selection while the note is up.
    FolderNode* target = selected;
    HWND window = owner ? owner->ViewWindow() : nullptr;
    if (ShowDlgSetting(true)) {
        // Only a ticked box turns the note off; a note that could not be shown
        // changes nothing.
        if (ShowRecycleNote(owner ? owner->ViewInstance() : nullptr, window) == 1) ShowDlgSetting(false);
    }
    // The note's loop may have seen the navigator closed.
    if (!target || !ViewsOpen()) return;
    std::wstring path;
    ItemTimes times;
    if (!DeletablePath(*this, target, &path) || !TimesOf(*this, target, &times)) return;

    // Whatever the user answers in the shell's boxes, the shell goes on only
    // with what was checked here, checked again at the answer (on the
    // shell's thread, while this one waits: the node outlives the call).
    // The same id with other times is a new item under a reused id.
    ShellDelete(path, window, [&] {
        std::wstring again;
        ItemTimes now;
        return DeletablePath(*this, target, &again) && again == path && TimesOf(*this, target, &now) &&
               Same(now, times);
    });
    // Nothing of the navigator is touched once it has closed meanwhile. The
    // row goes only with its own item, whatever the shell reported.
    if (ViewsOpen() && ItemGone(*this, target)) RemoveNode(target);
}
