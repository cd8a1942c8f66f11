#include "FolderNode.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "Name.h"

// The layout the memory figures rest on (see FolderNode).
static_assert(sizeof(FolderNode) == (sizeof(void*) == 4 ? 48 : 64), "FolderNode grew");

Row FolderNode::Child(int32_t i) const {
    int32_t folders = Folders();
    if (i < folders) return Row(Folder(i));
    return Row::File(this, FileRecord::Skip(FirstFile(), i - folders));
}

void InitNode(FolderNode* node) {
    node->parent = nullptr;
    InitializeSRWLock(&node->lock);
    node->folderArray.store(nullptr, std::memory_order_relaxed);
    node->fileRun.store(nullptr, std::memory_order_relaxed);
    node->folderCount.store(0, std::memory_order_relaxed);
    node->runCount.store(0, std::memory_order_relaxed);
    node->size.store(0, std::memory_order_relaxed);
    node->fileCount.store(0, std::memory_order_relaxed);
    node->state.store(0, std::memory_order_relaxed);
    node->idLow = node->idHigh = 0;
}

bool ChildBatch::Add(const ListedEntry& entry) {
    size_t at = names_.size();
    try {
        // Room for the longest form (three bytes a unit), encoded in one
        // pass, then cut to what it took.
        names_.resize(at + 3 * entry.nameLength + 1);
        size_t bytes = EncodeName(entry.name, entry.nameLength, &names_[at]);
        names_.resize(at + bytes + 1);
        bool folder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entries_.push_back({folder ? 0 : entry.size, entry.fileId, static_cast<uint32_t>(at),
                            static_cast<uint32_t>(bytes), folder, IsLink(entry.attributes, entry.reparseTag)});
        return true;
    } catch (const std::bad_alloc&) {
        names_.resize(at);  // shrinks: cannot throw
        return false;
    }
}

void ChildBatch::Clear() {
    entries_.clear();
    names_.clear();
}

namespace {

FolderNode* MakeFolder(NodeArena& arena, FolderNode* parent, const char* name, size_t nameBytes) {
    void* memory = arena.Take(sizeof(FolderNode) + nameBytes + 1, alignof(FolderNode));
    if (!memory) return nullptr;
    auto* node = new (memory) FolderNode;
    InitNode(node);
    memcpy(reinterpret_cast<char*>(node + 1), name, nameBytes + 1);
    node->parent = parent;
    return node;
}

}  // namespace

bool Adopt(FolderNode* folder, const ChildBatch& batch, NodeArena& arena, std::vector<FolderNode*>* made) {
    using Entry = ChildBatch::Entry;
    std::vector<const Entry*> files;
    std::vector<FolderNode*> own;
    std::vector<FolderNode*>& added = made ? *made : own;
    const size_t first = added.size();
    size_t folders = 0;
    try {
        for (const Entry& entry : batch.entries_) folders += entry.folder ? 1 : 0;
        files.reserve(batch.entries_.size() - folders);
        added.reserve(first + folders);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // A file's size is final once listed: its place in the run is too.
    for (const Entry& entry : batch.entries_)
        if (!entry.folder) files.push_back(&entry);
    auto larger = [](const Entry* a, const Entry* b) { return a->size > b->size; };
    if (!std::is_sorted(files.begin(), files.end(), larger)) std::stable_sort(files.begin(), files.end(), larger);

    // Everything is made before anything is linked, so that a shortage
    // leaves the folder as it was; what was made stays in its region.
    const uint32_t level = (folder->State() & kLevelMask) + 1;
    for (const Entry& entry : batch.entries_) {
        if (!entry.folder) continue;
        FolderNode* node = MakeFolder(arena, folder, &batch.names_[entry.nameAt], entry.nameBytes);
        if (!node) {
            added.resize(first);
            return false;
        }
        node->idLow = static_cast<uint32_t>(entry.id);
        node->idHigh = static_cast<uint32_t>(entry.id >> 32);
        // A directory link is shown as a folder but never walked: walking it
        // would count its target twice, or forever when it points back up.
        node->state.store(level | (entry.link ? kLinkBit | kCompleteBit : 0), std::memory_order_relaxed);
        added.push_back(node);
    }

    NodeLock hold(folder);
    const int32_t oldFolders = folder->Folders(), oldFiles = folder->OwnFiles();
    FolderNode** array = folder->folderArray.load(std::memory_order_relaxed);
    if (folders > 0) {
        size_t count = static_cast<size_t>(oldFolders) + folders;
        auto* grown = static_cast<FolderNode**>(arena.Take(count * sizeof(FolderNode*), alignof(FolderNode*)));
        if (!grown) {
            added.resize(first);
            return false;
        }
        if (oldFolders > 0) memcpy(grown, array, sizeof(FolderNode*) * static_cast<size_t>(oldFolders));
        memcpy(grown + oldFolders, added.data() + first, sizeof(FolderNode*) * folders);
        array = grown;
    }
    const char* run = folder->fileRun.load(std::memory_order_relaxed);
    if (!files.empty()) {
        // The new files merged into the run the folder has, largest first.
        const char* old = FileRecord::Skip(run, oldFiles);
        size_t bytes = static_cast<size_t>(old - run);
        for (const Entry* entry : files) bytes += FileRecord::Bytes(entry->size, entry->link, entry->nameBytes);
        auto* merged = static_cast<char*>(arena.Take(bytes));
        if (!merged) {
            added.resize(first);
            return false;
        }
        char* out = merged;
        const char* at = run;
        int32_t left = oldFiles;
        for (const Entry* entry : files) {
            for (; left > 0 && FileRecord::Size(at) >= entry->size; --left) {
                const char* next = FileRecord::Next(at);
                memcpy(out, at, static_cast<size_t>(next - at));
                out += next - at;
                at = next;
            }
            out = FileRecord::Write(out, entry->id, entry->size, entry->link, &batch.names_[entry->nameAt],
                                    entry->nameBytes);
        }
        memcpy(out, at, static_cast<size_t>(old - at));
        run = merged;
    }
    // The arrays before their counts: see FolderNode.
    folder->folderArray.store(array, std::memory_order_release);
    folder->fileRun.store(run, std::memory_order_release);
    folder->folderCount.store(oldFolders + static_cast<int32_t>(folders), std::memory_order_release);
    folder->runCount.store(oldFiles + static_cast<int32_t>(files.size()), std::memory_order_release);
    folder->fileCount.store(folder->Files() + static_cast<int32_t>(files.size()), std::memory_order_relaxed);
    return true;
}

ListOutcome ListInto(FolderListing& listing, const wchar_t* exactPath, const ItemIdentity* expected,
                     FolderNode* folder, NodeArena& arena, ListScratch& scratch, const ListWatch& watch) {
    scratch.batch.Clear();
    scratch.folders.clear();
    scratch.fileBytes = 0;
    if (!listing.Open(exactPath, expected)) {
        // No buffer for the listing is no answer about the folder.
        DWORD error = listing.Error();
        bool shortage = error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY;
        return shortage ? ListOutcome::kShortOfMemory : ListOutcome::kListed;
    }
    ListOutcome outcome = ListOutcome::kListed;
    ListedEntry entry;
    uint64_t fileBytes = 0;
    while (listing.Next(&entry)) {
        if (watch.Stopped()) {
            outcome = ListOutcome::kStopped;
            break;
        }
        if (entry.name[0] == L'.') continue;
        if (!watch.MayAllocate() || !scratch.batch.Add(entry)) {
            outcome = ListOutcome::kShortOfMemory;
            break;
        }
        if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY)) fileBytes += entry.size;
    }
    listing.Close();
    if (!Adopt(folder, scratch.batch, arena, &scratch.folders)) {
        scratch.folders.clear();
        return ListOutcome::kShortOfMemory;
    }
    scratch.fileBytes = fileBytes;
    return outcome;
}

int Unlink(Row row) {
    FolderNode* parent = row.Parent();
    if (!parent) return -1;
    NodeLock hold(parent);
    if (FolderNode* node = row.Folder()) {
        FolderNode** array = parent->folderArray.load(std::memory_order_relaxed);
        const int32_t folders = parent->Folders();
        for (int32_t i = 0; i < folders; ++i) {
            if (array[i] != node) continue;
            memmove(&array[i], &array[i + 1], sizeof(FolderNode*) * static_cast<size_t>(folders - i - 1));
            parent->folderCount.store(folders - 1, std::memory_order_release);
            return i;
        }
        return -1;
    }
    const int32_t files = parent->OwnFiles();
    char* record = const_cast<char*>(parent->FirstFile());
    for (int32_t i = 0; i < files; ++i) {
        char* next = const_cast<char*>(FileRecord::Next(record));
        if (record == row.Record()) {
            // The run closes up: the records behind move to where it was.
            const char* end = FileRecord::Skip(next, files - i - 1);
            memmove(record, next, static_cast<size_t>(end - next));
            parent->runCount.store(files - 1, std::memory_order_release);
            return parent->Folders() + i;
        }
        record = next;
    }
    return -1;
}

void SubtractFromAncestors(FolderNode* folder, int32_t count, uint64_t bytes) {
    folder->fileCount.store(folder->Files() - count, std::memory_order_relaxed);
    folder->size.store(folder->Size() - bytes, std::memory_order_relaxed);
    if (folder->parent) SubtractFromAncestors(folder->parent, count, bytes);
    folder->SetSorted(false);
    SortChildren(folder);
}

int CountRows(const FolderNode* node) {
    int rows = node->ChildCount();
    for (int32_t i = 0; i < node->Folders(); ++i) {
        const FolderNode* child = node->Folder(i);
        if (child->Expanded()) rows += CountRows(child);
    }
    return rows;
}

void SortChildren(FolderNode* node) {
    if (node->Sorted()) return;
    struct Key {
        uint64_t size;
        FolderNode* node;
    };
    try {
        NodeLock hold(node);
        const int32_t count = node->Folders();
        if (count > 1) {
            // Sorted by copies of the sizes taken now: a worker may go on
            // growing the real sizes meanwhile, and a sort whose keys change
            // under it could lose or duplicate entries.
            FolderNode** items = node->folderArray.load(std::memory_order_relaxed);
            std::vector<Key> keys(static_cast<size_t>(count));
            for (int32_t i = 0; i < count; ++i) keys[i] = {items[i]->Size(), items[i]};
            std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) { return a.size > b.size; });
            for (int32_t i = 0; i < count; ++i) items[i] = keys[i].node;
        }
    } catch (const std::bad_alloc&) {
        return;  // no room for the keys: the order stays, unsorted
    }
    node->SetSorted(true);
}
