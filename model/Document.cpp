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

Document::Document() : owner(nullptr) {
    ReadyUnwinder();
    InitNode(&root);
    finishedEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    rootListedEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    stopRequested.store(false);
    tearingDown.store(false);
}

Document::~Document() {
    // The tree's regions may be freed only once no thread of the scan can
    // touch them: stop the walk and wait for the coordinator, which outlives
    // the refresher and every folder worker.
    RequestStop();
    WaitForScan(INFINITE);
    tearingDown.store(true);
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
            ListScratch scratch;
            ListWatch watch{nullptr, &allocationsBeforeShortage};
            if (ListInto(listing, folder_.Exact(), nullptr, &root, rootArena_, scratch, watch) ==
                ListOutcome::kShortOfMemory)
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

// One pass over the parent's children: Child(i) walks a file's run from its
// start, and a folder may hold a hundred thousand files.
int IndexInParent(Row row) {
    const FolderNode* parent = row.Parent();
    if (const FolderNode* folder = row.Folder()) {
        for (int32_t i = 0; i < parent->Folders(); ++i)
            if (parent->Folder(i) == folder) return i;
        return -1;
    }
    const char* record = parent->FirstFile();
    for (int32_t i = 0; i < parent->OwnFiles(); ++i, record = FileRecord::Next(record))
        if (record == row.Record()) return parent->Folders() + i;
    return -1;
}

}  // namespace

void Document::MoveSelection(bool up) {
    Row row = selected;
    if (!row || !row.Parent()) return;
    int index = IndexInParent(row);
    if (index < 0) return;
    Row next;
    if (up) {
        // The row just above: the previous sibling's last shown row when it
        // is expanded, so that Up undoes Down.
        if (index > 0) {
            next = row.Parent()->Child(index - 1);
            for (FolderNode* folder; (folder = next.Folder()) && folder->Expanded() && folder->ChildCount() > 0;)
                next = folder->Child(folder->ChildCount() - 1);
        } else if (row.Parent() != &root) {
            next = row.Parent();
        }
    } else if (row.Expanded() && row.Folder()->ChildCount() > 0) {
        next = row.Folder()->Child(0);
    } else {
        // The next sibling, else the next sibling of the nearest ancestor that
        // has one (the root's children have no ancestor above them but the root).
        for (Row at = row; at.Parent() && !next; at = at.Parent()) {
            int i = at == row ? index : IndexInParent(at);
            if (i >= 0 && i + 1 < at.Parent()->ChildCount()) next = at.Parent()->Child(i + 1);
        }
    }
    if (!next) return;
    selected = next;
    RepaintViews(false, false);
    if (owner) owner->SelectionMoved();
}

int Document::ReleaseNode(Row row) {
    FolderNode* parent = row.Parent();
    // Out of the totals while the row is still a child, so that the parent and
    // every ancestor re-sort with their new sizes.
    if (!tearingDown.load() && parent) SubtractFromAncestors(parent, row.Files(), row.Size());
    return parent ? Unlink(row) : -1;
}

int Document::ShownRows(Row row) {
    for (const FolderNode* up = row.Parent(); up && up->parent; up = up->parent)
        if (!up->Expanded()) return 0;
    return 1 + (row.Expanded() ? CountRows(row.Folder()) : 0);
}

bool Document::IsUnder(Row row, const FolderNode* folder) {
    if (!row) return false;
    if (!row.IsFolder()) row = row.Parent();
    for (const FolderNode* node = row.Folder(); node; node = node->parent)
        if (node == folder) return true;
    return false;
}

int Document::RemoveNode(Row row) {
    if (!row || !row.Parent()) return 0;
    FolderNode* parent = row.Parent();
    // Only rows that are shown: a node under a collapsed folder shows none.
    int rows = ShownRows(row);
    if (owner) owner->BeginTreeChange();
    ++removals_;
    bool wasSelected = selected == row;
    if (row.IsFolder() && IsUnder(selected, row.Folder())) selected = nullptr;
    // A file selected behind a removed one moves up in the run with it.
    int selectedIndex = !wasSelected && selected && !selected.IsFolder() && selected.Parent() == parent
                            ? IndexInParent(selected)
                            : -1;
    int index = ReleaseNode(row);
    if (selectedIndex > index && index >= 0) selected = parent->Child(selectedIndex - 1);
    // The keyboard keeps its place: the next sibling, else the previous one,
    // else the parent (never the root, which has no row).
    if (wasSelected)
        selected = index < 0                    ? Row()
                   : index < parent->ChildCount() ? parent->Child(index)
                   : index > 0                    ? parent->Child(index - 1)
                   : parent->parent               ? Row(parent)
                                                  : Row();
    if (owner) {
        owner->EndTreeChange();
        owner->RowsRemoved(rows);
    }
    RepaintViews(true, true);
    return rows;
}

int Document::RemoveWithin(FolderNode* folder, const std::function<bool(Row)>& gone) {
    // What goes is found first; then it is taken out with nothing more to
    // allocate, so that a shortage of memory leaves the tree as it was.
    std::vector<FolderNode*> removedFolders, folders{folder};
    std::vector<const char*> removedFiles;
    std::vector<bool> showsChildren{ShownRows(folder) > 0 && folder->Expanded()};
    for (size_t i = 0; i < folders.size(); ++i) {
        NodeLock hold(folders[i]);
        ForEachChild(folders[i], [&](Row child) {
            if (gone(child)) {
                if (FolderNode* sub = child.Folder())
                    removedFolders.push_back(sub);
                else
                    removedFiles.push_back(child.Record());
            } else if (FolderNode* sub = child.Folder()) {
                folders.push_back(sub);
                showsChildren.push_back(showsChildren[i] && sub->Expanded());
            }
        });
    }
    if (removedFolders.empty() && removedFiles.empty()) return 0;
    std::sort(removedFolders.begin(), removedFolders.end());
    std::sort(removedFiles.begin(), removedFiles.end());
    std::vector<FolderNode*> touched;
    size_t depth = 0;
    for (const FolderNode* up = folder; up; up = up->parent) ++depth;
    touched.reserve(folders.size() + depth);

    if (owner) owner->BeginTreeChange();
    ++removals_;
    int rows = 0;
    for (size_t i = 0; i < folders.size(); ++i) {
        FolderNode* at = folders[i];
        NodeLock hold(at);
        auto takeOut = [&](Row child) {
            if (showsChildren[i]) rows += 1 + (child.Expanded() ? CountRows(child.Folder()) : 0);
            if (IsUnder(selected, child.Folder()) || selected == child) selected = folder;
            // Out of every total above it; each folder re-sorts once, below.
            int32_t files = child.Files();
            uint64_t bytes = child.Size();
            for (FolderNode* up = at; up; up = up->parent) {
                up->fileCount.store(up->Files() - files, std::memory_order_relaxed);
                up->size.store(up->Size() - bytes, std::memory_order_relaxed);
                if (up->Sorted()) {
                    up->SetSorted(false);
                    touched.push_back(up);
                }
            }
        };
        FolderNode** array = at->folderArray.load(std::memory_order_relaxed);
        int32_t kept = 0;
        for (int32_t c = 0; c < at->Folders(); ++c) {
            FolderNode* child = array[c];
            if (std::binary_search(removedFolders.begin(), removedFolders.end(), child))
                takeOut(Row(child));
            else
                array[kept++] = child;
        }
        at->folderCount.store(kept, std::memory_order_release);
        // The run closes up over the files that went.
        char* out = const_cast<char*>(at->FirstFile());
        const char* record = out;
        int32_t keptFiles = 0;
        const int32_t files = at->OwnFiles();
        for (int32_t c = 0; c < files; ++c) {
            const char* next = FileRecord::Next(record);
            if (std::binary_search(removedFiles.begin(), removedFiles.end(), record)) {
                takeOut(Row::File(at, record));
            } else {
                // A selected file that stays moves with its record.
                if (selected == Row::File(at, record)) selected = Row::File(at, out);
                if (out != record) memmove(out, record, static_cast<size_t>(next - record));
                out += next - record;
                ++keptFiles;
            }
            record = next;
        }
        at->runCount.store(keptFiles, std::memory_order_release);
    }
    for (FolderNode* node : touched) SortChildren(node);
    if (owner) {
        owner->EndTreeChange();
        owner->RowsRemoved(rows);
    }
    RepaintViews(true, true);
    return rows;
}

bool Document::NodePath(Row row, ItemPath* out) const {
    std::vector<const char*> names;
    if (row && !row.IsFolder()) {
        names.push_back(row.Name());
        row = row.Parent();
    }
    for (const FolderNode* at = row.Folder(); at && at->parent; at = at->parent) names.push_back(at->Name());
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
