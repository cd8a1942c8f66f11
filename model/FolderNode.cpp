#include "FolderNode.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "Name.h"

// The layout the memory figures rest on (see FolderNode).
static_assert(sizeof(FolderNode) == (sizeof(void*) == 4 ? 48 : 56), "FolderNode grew");

namespace {

// A node and its name share one allocation; the name follows the record.
FolderNode* AllocateNode(const wchar_t* name, size_t count) {
    size_t bytes = EncodeName(name, count, nullptr);
    void* mem = ::operator new(sizeof(FolderNode) + bytes + 1, std::nothrow);
    if (!mem) return nullptr;
    FolderNode* node = new (mem) FolderNode;
    InitNode(node);
    EncodeName(name, count, reinterpret_cast<char*>(node + 1));
    return node;
}

ChildArray* ResizeArray(ChildArray* array, int32_t capacity) {
    size_t bytes = offsetof(ChildArray, items) + sizeof(FolderNode*) * static_cast<size_t>(capacity);
    auto* grown = static_cast<ChildArray*>(realloc(array, bytes));
    if (!grown) return nullptr;
    if (!array) grown->length = 0;
    grown->capacity = capacity;
    return grown;
}

// Makes room for one more child: the first folder child gets room for 20, the
// first file child for 10; a full array grows by 10 below 100 entries and by
// 50 from then on.
bool GrowChildren(FolderNode* parent, bool forFolder) {
    ChildArray* array = parent->children;
    if (!array || array->length == 0) {
        int32_t want = forFolder ? 20 : 10;
        if (array && array->capacity >= want) return true;
        ChildArray* grown = ResizeArray(array, want);
        if (!grown) return false;
        parent->children = grown;
        return true;
    }
    if (array->length < array->capacity) return true;
    int32_t step = array->length < 100 ? 10 : 50;
    ChildArray* grown = ResizeArray(array, array->length + step);
    if (!grown) return false;
    parent->children = grown;
    return true;
}

}  // namespace

void InitNode(FolderNode* node) {
    node->children = nullptr;
    node->size.store(0, std::memory_order_relaxed);
    node->levelWord.store(0, std::memory_order_relaxed);
    node->fileCount.store(0, std::memory_order_relaxed);
    node->parent = nullptr;
    node->folderCount.store(0, std::memory_order_relaxed);
    node->idLow = node->idHigh = 0;
    InitializeSRWLock(&node->lock);
    node->isFolder = 0;
    node->isLink = 0;
    node->sorted.store(false, std::memory_order_relaxed);
    node->complete.store(false, std::memory_order_relaxed);
}

FolderNode* CreateNode(const ListedEntry& entry, FolderNode* parent) {
    FolderNode* node = AllocateNode(entry.name, entry.nameLength);
    if (!node) return nullptr;
    node->parent = parent;
    bool folder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    node->isFolder = folder ? 1 : 0;
    node->isLink = IsLink(entry.attributes, entry.reparseTag) ? 1 : 0;
    node->idLow = static_cast<uint32_t>(entry.fileId);
    node->idHigh = static_cast<uint32_t>(entry.fileId >> 32);
    // A directory link is shown as a folder but never walked: walking it would
    // count its target twice, or forever when it points back up the tree.
    if (folder && node->isLink) node->complete.store(true, std::memory_order_relaxed);
    if (!folder) node->size.store(static_cast<double>(entry.size), std::memory_order_relaxed);
    if (!parent) return node;

    NodeLock hold(parent);
    if (!GrowChildren(parent, folder)) {
        FreeNode(node);
        return nullptr;
    }
    ChildArray* array = parent->children;
    node->levelWord.store(parent->levelWord.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    if (folder) {
        int32_t at = parent->Folders();
        memmove(&array->items[at + 1], &array->items[at], sizeof(FolderNode*) * (array->length - at));
        array->items[at] = node;
        array->length++;
        parent->folderCount.store(at + 1, std::memory_order_relaxed);
    } else {
        array->items[array->length++] = node;
        parent->fileCount.store(parent->Files() + 1, std::memory_order_relaxed);
    }
    return node;
}

bool AdoptChildren(FolderNode* parent, FolderNode* const* nodes, size_t count) {
    if (count == 0) return true;
    int32_t folders = 0;
    for (size_t i = 0; i < count; ++i) folders += nodes[i]->isFolder;
    NodeLock hold(parent);
    ChildArray* array = parent->children;
    int32_t length = array ? array->length : 0;
    int32_t need = length + static_cast<int32_t>(count);
    if (!array || array->capacity < need) {
        ChildArray* grown = ResizeArray(array, need);
        if (!grown) return false;
        parent->children = array = grown;
    }
    int32_t oldFolders = parent->Folders();
    memmove(&array->items[oldFolders + folders], &array->items[oldFolders],
            sizeof(FolderNode*) * static_cast<size_t>(length - oldFolders));
    int32_t atFolder = oldFolders, atFile = length + folders;
    uint32_t level = (parent->levelWord.load(std::memory_order_relaxed) & kLevelMask) + 1;
    for (size_t i = 0; i < count; ++i) {
        FolderNode* node = nodes[i];
        node->parent = parent;
        node->levelWord.store(level, std::memory_order_relaxed);
        array->items[node->isFolder ? atFolder++ : atFile++] = node;
    }
    array->length = need;
    parent->folderCount.store(oldFolders + folders, std::memory_order_relaxed);
    parent->fileCount.store(parent->Files() + static_cast<int32_t>(count) - folders, std::memory_order_relaxed);
    return true;
}

ListOutcome ListInto(FolderListing& listing, const wchar_t* exactPath, const ItemIdentity* expected,
                     FolderNode* folder, std::vector<FolderNode*>& nodes, const ListWatch& watch) {
    nodes.clear();
    if (!listing.Open(exactPath, expected)) {
        // No buffer for the listing is no answer about the folder.
        DWORD error = listing.Error();
        bool shortage = error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY;
        return shortage ? ListOutcome::kShortOfMemory : ListOutcome::kListed;
    }
    ListOutcome outcome = ListOutcome::kListed;
    ListedEntry entry;
    while (listing.Next(&entry)) {
        if (watch.Stopped()) {
            outcome = ListOutcome::kStopped;
            break;
        }
        if (entry.name[0] == L'.') continue;
        FolderNode* node = watch.MayAllocate() ? CreateNode(entry, nullptr) : nullptr;
        if (node) {
            try {
                nodes.push_back(node);
                continue;
            } catch (const std::bad_alloc&) {
                FreeNode(node);
            }
        }
        outcome = ListOutcome::kShortOfMemory;
        break;
    }
    listing.Close();
    if (!AdoptChildren(folder, nodes.data(), nodes.size())) {
        for (FolderNode* node : nodes) FreeNode(node);
        nodes.clear();
        return ListOutcome::kShortOfMemory;
    }
    return outcome;
}

namespace {

void DestroyNode(FolderNode* node) {
    node->~FolderNode();
    ::operator delete(node);
}

}  // namespace

void FreeSubtree(FolderNode* node) {
    // Down to a node without children, freed, then up to its parent again by
    // its parent pointer: no recursion as deep as the tree, and no list of
    // its own, since a release may come when memory has run out.
    FolderNode* at = node;
    for (;;) {
        ChildArray* array = at->children;
        if (array && array->length > 0) {
            at = array->items[--array->length];
            continue;
        }
        free(array);
        at->children = nullptr;
        if (at == node) break;
        FolderNode* up = at->parent;
        DestroyNode(at);
        at = up;
    }
    node->folderCount.store(0, std::memory_order_relaxed);
}

void FreeNode(FolderNode* node) {
    FreeSubtree(node);
    DestroyNode(node);
}

void SubtractFromAncestors(FolderNode* node, int32_t count, double bytes) {
    node->fileCount.store(node->Files() - count, std::memory_order_relaxed);
    node->size.store(node->Size() - bytes, std::memory_order_relaxed);
    if (node->parent) SubtractFromAncestors(node->parent, count, bytes);
    node->sorted.store(false, std::memory_order_relaxed);
    SortChildren(node);
}

int CountRows(const FolderNode* node) {
    int rows = node->ChildCount();
    for (int32_t i = 0; i < node->ChildCount(); ++i) {
        const FolderNode* child = node->Child(i);
        if (child->isFolder && child->Expanded()) rows += CountRows(child);
    }
    return rows;
}

namespace {

struct SortKey {
    double size;
    FolderNode* node;
};

// Sorts one group by copies of the sizes taken now: a worker may go on growing
// the real sizes meanwhile, and a sort whose keys change under it could lose or
// duplicate entries. Equal sizes keep no particular order.
void SortGroup(FolderNode** items, int32_t count, std::vector<SortKey>& keys) {
    if (count < 2) return;
    keys.resize(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) keys[i] = {items[i]->Size(), items[i]};
    std::sort(keys.begin(), keys.end(), [](const SortKey& a, const SortKey& b) { return a.size > b.size; });
    for (int32_t i = 0; i < count; ++i) items[i] = keys[i].node;
}

}  // namespace

void SortChildren(FolderNode* node) {
    if (node->sorted.load(std::memory_order_relaxed)) return;
    try {
        NodeLock hold(node);
        if (ChildArray* array = node->children) {
            std::vector<SortKey> keys;
            int32_t folders = node->Folders();
            SortGroup(array->items, folders, keys);
            SortGroup(array->items + folders, array->length - folders, keys);
        }
    } catch (const std::bad_alloc&) {
        return;  // no room for the keys: the order stays, unsorted
    }
    node->sorted.store(true, std::memory_order_relaxed);
}
