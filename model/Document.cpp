#include "Document.h"

#include <cstring>
#include <vector>

Document::Document() : selected(nullptr), owner(nullptr) {
    InitNode(&root);
    root.name = path;
    path[0] = 0;
    finishedEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
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
    DeleteCriticalSection(&root.lock);
    if (coordinator_) CloseHandle(coordinator_);
    if (refresher_) CloseHandle(refresher_);
    if (finishedEvent) CloseHandle(finishedEvent);
}

bool Document::WaitForScan(DWORD ms) {
    if (!coordinator_) return true;
    return WaitForSingleObject(coordinator_, ms) == WAIT_OBJECT_0;
}

bool Document::Load(DocumentViews* views) {
    owner = views;
    root.name = path;
    char pattern[MAX_PATH];
    size_t len = strnlen(path, sizeof path);
    // A path that leaves no room for "\*" cannot be listed.
    if (len + 3 > sizeof pattern) return true;
    memcpy(pattern, path, len);
    memcpy(pattern + len, "\\*", 3);
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(pattern, &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (entry.cFileName[0] == '.') continue;
            CreateNode(entry, &root);
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    if (root.ChildCount() > 0) RepaintViews(false, false);
    return true;
}

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
        if (index > 0)
            next = node->parent->Child(index - 1);
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

int Document::RemoveSelected() {
    FolderNode* node = selected;
    if (!node || !node->parent) return 0;
    FolderNode* parent = node->parent;
    int rows = 1 + (node->isFolder && node->Expanded() ? CountRows(node) : 0);
    if (owner) owner->BeginTreeChange();
    int index = ReleaseNode(node);
    selected = index >= 0 && index < parent->ChildCount() ? parent->Child(index) : nullptr;
    if (owner) {
        owner->EndTreeChange();
        owner->RowsRemoved(rows);
    }
    RepaintViews(true, true);
    return rows;
}

bool Document::NodePath(char* out, size_t capacity) const {
    if (!selected) return false;
    std::vector<const char*> names;
    size_t total = strlen(root.name);
    for (const FolderNode* at = selected; at->parent; at = at->parent) {
        names.push_back(at->name);
        total += 1 + strlen(at->name);
    }
    if (total + 1 > capacity) return false;
    char* end = out;
    size_t len = strlen(root.name);
    memcpy(end, root.name, len);
    end += len;
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        *end++ = '\\';
        len = strlen(*name);
        memcpy(end, *name, len);
        end += len;
    }
    *end = 0;
    return true;
}
