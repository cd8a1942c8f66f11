#include "Document.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace {

// The first exception a process throws sets up the unwinder, which takes
// memory of its own (seen in the 32-bit build): thrown first once memory has
// run out, it ends the process, the shell's. One thrown here, while there is
// memory to spare, leaves every later shortage a plain std::bad_alloc.
void ReadyUnwinder() {
    static const bool ready = [] {
        try {
            throw std::bad_alloc();
        } catch (const std::bad_alloc&) {
        }
        return true;
    }();
    (void)ready;
}

}  // namespace

Document::Document() : selected(nullptr), owner(nullptr) {
    ReadyUnwinder();
    InitNode(&root);
    finishedEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    rootListedEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    stopRequested.store(false);
    tearingDown.store(false);
}

Document::~Document() {
    // The tree may be freed only once no thread of the scan can touch it: stop
    // the walk and wait for the coordinator, which outlives the refresher and
    // every folder worker.
    RequestStop();
    WaitForScan(INFINITE);
    tearingDown.store(true);
    FreeSubtree(&root);
    if (coordinator_) CloseHandle(coordinator_);
    if (refresher_) CloseHandle(refresher_);
    if (finishedEvent) CloseHandle(finishedEvent);
    if (rootListedEvent_) CloseHandle(rootListedEvent_);
}

bool Document::WaitForScan(DWORD ms) {
    if (!coordinator_) return true;
    return WaitForSingleObject(coordinator_, ms) == WAIT_OBJECT_0;
}

bool Document::Load(DocumentViews* views) {
    owner = views;
    ListRoot();
    if (root.ChildCount() > 0) RepaintViews(false, false);
    return RootError() != ERROR_BAD_PATHNAME;
}

void Document::ListRoot() {
    if (beforeListing) beforeListing(&root);
    DWORD error = ERROR_BAD_PATHNAME;
    try {
        if (folder_.SetFolder(path.c_str())) {
            FolderListing listing;
            std::vector<FolderNode*> nodes;
            ListWatch watch{nullptr, &allocationsBeforeShortage};
            if (ListInto(listing, folder_.Exact(), nullptr, &root, nodes, watch) == ListOutcome::kShortOfMemory)
                RanShortOfMemory();
            volume_ = listing.Opened().volume;
            root.idLow = static_cast<uint32_t>(listing.Opened().file);
            root.idHigh = static_cast<uint32_t>(listing.Opened().file >> 32);
            error = listing.Error();
        }
    } catch (const std::bad_alloc&) {
        RanShortOfMemory();
        error = ERROR_NOT_ENOUGH_MEMORY;
    }
    RootDone(error);
}

void Document::RootDone(DWORD error) {
    rootError_.store(error, std::memory_order_release);
    rootListed_.store(true, std::memory_order_release);
    SetEvent(rootListedEvent_);
    if (owner) owner->RootListed();
}

bool Document::ViewsOpen() const { return !owner || owner->ViewsOpen(); }

void Document::RepaintViews(bool header, bool full) {
    if (!owner) return;
    owner->RepaintList();
    if (header) owner->RepaintHeader(full);
}

namespace {

int IndexInParent(const FolderNode* node) {
    const FolderNode* parent = node->parent;
    for (int32_t i = 0; i < parent->ChildCount(); ++i)
        if (parent->Child(i) == node) return i;
    return -1;
}

}  // namespace

void Document::MoveSelection(bool up) {
    FolderNode* node = selected;
    if (!node || !node->parent) return;
    int index = IndexInParent(node);
    if (index < 0) return;
    FolderNode* next = nullptr;
    if (up) {
        // The row just above: the previous sibling's last shown row when it
        // is expanded, so that Up undoes Down.
        if (index > 0)
            for (next = node->parent->Child(index - 1); next->isFolder && next->Expanded() && next->ChildCount() > 0;)
                next = next->Child(next->ChildCount() - 1);
        else if (node->parent != &root)
            next = node->parent;
    } else if (node->Expanded() && node->ChildCount() > 0) {
        next = node->Child(0);
    } else {
        // The next sibling, else the next sibling of the nearest ancestor that
        // has one (the root's children have no ancestor above them but the root).
        for (FolderNode* at = node; at->parent && !next; at = at->parent) {
            int i = at == node ? index : IndexInParent(at);
            if (i >= 0 && i + 1 < at->parent->ChildCount()) next = at->parent->Child(i + 1);
        }
    }
    if (!next) return;
    selected = next;
    RepaintViews(false, false);
    if (owner) owner->SelectionMoved();
}

int Document::ReleaseNode(FolderNode* node) {
    FolderNode* parent = node->parent;
    // Out of the totals while the node is still a child, so that the parent and
    // every ancestor re-sort with their new sizes.
    if (!tearingDown.load() && parent)
        SubtractFromAncestors(parent, node->isFolder ? node->Files() : 1, node->Size());
    int index = -1;
    if (parent) {
        NodeLock hold(parent);
        index = IndexInParent(node);
        if (index >= 0) {
            ChildArray* array = parent->children;
            memmove(&array->items[index], &array->items[index + 1],
                    sizeof(FolderNode*) * (array->length - index - 1));
            array->length--;
            if (node->isFolder) parent->folderCount.store(parent->Folders() - 1, std::memory_order_relaxed);
        }
    }
    FreeNode(node);
    return index;
}

int Document::ShownRows(const FolderNode* node) {
    for (const FolderNode* up = node->parent; up && up->parent; up = up->parent)
        if (!up->Expanded()) return 0;
    return 1 + (node->isFolder && node->Expanded() ? CountRows(node) : 0);
}

bool Document::IsUnder(const FolderNode* node, const FolderNode* folder) {
    for (; node; node = node->parent)
        if (node == folder) return true;
    return false;
}

int Document::RemoveNode(FolderNode* node) {
    if (!node || !node->parent) return 0;
    FolderNode* parent = node->parent;
    // Only rows that are shown: a node under a collapsed folder shows none.
    int rows = ShownRows(node);
    if (owner) owner->BeginTreeChange();
    bool wasSelected = selected == node;
    if (IsUnder(selected, node)) selected = nullptr;
    int index = ReleaseNode(node);
    // The keyboard keeps its place: the next sibling, else the previous one,
    // else the parent (never the root, which has no row).
    if (wasSelected)
        selected = index < 0                    ? nullptr
                   : index < parent->ChildCount() ? parent->Child(index)
                   : index > 0                  ? parent->Child(index - 1)
                   : parent->parent             ? parent
                                                : nullptr;
    if (owner) {
        owner->EndTreeChange();
        owner->RowsRemoved(rows);
    }
    RepaintViews(true, true);
    return rows;
}

int Document::RemoveWithin(FolderNode* folder, const std::function<bool(const FolderNode*)>& gone) {
    // What goes is found first; then it is taken out with nothing more to
    // allocate, so that a shortage of memory leaves the tree as it was.
    std::vector<FolderNode*> removed, folders{folder};
    std::vector<bool> showsChildren{ShownRows(folder) > 0 && folder->Expanded()};
    for (size_t i = 0; i < folders.size(); ++i) {
        NodeLock hold(folders[i]);
        for (int32_t c = 0; c < folders[i]->ChildCount(); ++c) {
            FolderNode* child = folders[i]->Child(c);
            if (gone(child)) {
                removed.push_back(child);
            } else if (child->isFolder) {
                folders.push_back(child);
                showsChildren.push_back(showsChildren[i] && child->Expanded());
            }
        }
    }
    if (removed.empty()) return 0;
    std::sort(removed.begin(), removed.end());
    std::vector<FolderNode*> touched;
    size_t depth = 0;
    for (const FolderNode* up = folder; up; up = up->parent) ++depth;
    touched.reserve(folders.size() + depth);

    if (owner) owner->BeginTreeChange();
    int rows = 0;
    for (size_t i = 0; i < folders.size(); ++i) {
        FolderNode* at = folders[i];
        NodeLock hold(at);
        ChildArray* array = at->children;
        if (!array) continue;
        int32_t kept = 0, keptFolders = 0;
        for (int32_t c = 0; c < array->length; ++c) {
            FolderNode* child = array->items[c];
            if (!std::binary_search(removed.begin(), removed.end(), child)) {
                array->items[kept++] = child;
                keptFolders += child->isFolder ? 1 : 0;
                continue;
            }
            if (showsChildren[i]) rows += 1 + (child->isFolder && child->Expanded() ? CountRows(child) : 0);
            if (IsUnder(selected, child)) selected = folder;
            // Out of every total above it; each folder re-sorts once, below.
            int32_t files = child->isFolder ? child->Files() : 1;
            double bytes = child->Size();
            for (FolderNode* up = at; up; up = up->parent) {
                up->fileCount.store(up->Files() - files, std::memory_order_relaxed);
                up->size.store(up->Size() - bytes, std::memory_order_relaxed);
                if (up->sorted.exchange(false, std::memory_order_relaxed)) touched.push_back(up);
            }
        }
        array->length = kept;
        at->folderCount.store(keptFolders, std::memory_order_relaxed);
    }
    for (FolderNode* node : removed) FreeNode(node);
    for (FolderNode* node : touched) SortChildren(node);
    if (owner) {
        owner->EndTreeChange();
        owner->RowsRemoved(rows);
    }
    RepaintViews(true, true);
    return rows;
}

bool Document::NodePath(const FolderNode* node, ItemPath* out) const {
    std::vector<const char*> names;
    for (const FolderNode* at = node; at && at->parent; at = at->parent) names.push_back(at->Name());
    ItemPath built = folder_;
    if (built.Length() == 0 && !built.SetFolder(path.c_str())) return false;
    for (auto name = names.rbegin(); name != names.rend(); ++name)
        if (!built.Append(*name)) return false;
    *out = built;
    return true;
}

bool Document::NodePath(wchar_t* out, size_t capacity) const {
    ItemPath built;
    if (!selected || !NodePath(selected, &built) || built.Length() + 1 > capacity) return false;
    memcpy(out, built.Exact(), (built.Length() + 1) * sizeof(wchar_t));
    return true;
}
