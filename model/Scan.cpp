// The scan: a coordinator hands the chosen folder's subfolders to at most ten
// folder workers, each walking its subfolder depth first, while a refresher
// re-sorts the top level and repaints the views ten times a second.
#include <cstdio>
#include <cstring>
#include <vector>

#include "Document.h"

namespace {

constexpr int kMaxWorkers = 10;
constexpr DWORD kRefreshPeriodMs = 100;
constexpr DWORD kFinishPauseMs = 500;

// Appends "\" and name to the path of `len` characters, if the result still
// leaves room for the "\*" of a listing pattern.
bool AppendName(char* path, size_t len, const char* name, size_t* newLen) {
    size_t nameLen = strlen(name);
    if (len + 1 + nameLen + 3 > MAX_PATH) return false;
    path[len] = '\\';
    memcpy(path + len + 1, name, nameLen + 1);
    *newLen = len + 1 + nameLen;
    return true;
}

// Walks one folder, whose path fills path[0..len), into `folder`. The buffer is
// shared by the whole recursion: each level extends it and the next level's
// extension overwrites the previous one. Returns false when a stop request cut
// the walk short: the folder and every folder above it then stay incomplete.
bool WalkFolder(Document& doc, char* path, size_t len, FolderNode* folder) {
    memcpy(path + len, "\\*", 3);
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(path, &entry);
    path[len] = 0;
    if (find == INVALID_HANDLE_VALUE) {
        folder->complete.store(true, std::memory_order_release);
        return true;
    }
    do {
        if (doc.stopRequested.load(std::memory_order_relaxed)) {
            FindClose(find);
            return false;
        }
        if (entry.cFileName[0] == '.') continue;
        FolderNode* node = CreateNode(entry, folder);
        if (!node) continue;
        if (node->isFolder) {
            size_t childLen;
            // A directory link comes complete from CreateNode and is not walked.
            // A folder whose path would not fit is one that cannot be listed.
            if (node->Complete() || !AppendName(path, len, entry.cFileName, &childLen)) {
                node->complete.store(true, std::memory_order_release);
            } else {
                bool finished = WalkFolder(doc, path, childLen, node);
                path[len] = 0;
                folder->fileCount.store(folder->Files() + node->Files(), std::memory_order_relaxed);
                if (!finished) {
                    folder->size.store(folder->Size() + node->Size(), std::memory_order_relaxed);
                    FindClose(find);
                    return false;
                }
            }
        }
        folder->size.store(folder->Size() + node->Size(), std::memory_order_relaxed);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    folder->complete.store(true, std::memory_order_release);
    return true;
}

}  // namespace

// One folder handed to one worker.
struct WorkerSlot {
    char path[MAX_PATH];
    FolderNode* node;
    Document* doc;
};

DWORD WINAPI FolderWorker(LPVOID param) {
    auto* slot = static_cast<WorkerSlot*>(param);
    Document& doc = *slot->doc;
    int running = ++doc.runningWorkers_;
    int peak = doc.peakWorkers_.load();
    while (running > peak && !doc.peakWorkers_.compare_exchange_weak(peak, running)) {
    }
    char path[MAX_PATH];
    size_t len = strlen(slot->path);
    memcpy(path, slot->path, len + 1);
    WalkFolder(doc, path, len, slot->node);
    --doc.runningWorkers_;
    return 0;
}

DWORD WINAPI Refresher(LPVOID param) {
    auto& doc = *static_cast<Document*>(param);
    while (WaitForSingleObject(doc.finishedEvent, kRefreshPeriodMs) == WAIT_TIMEOUT) {
        SortChildren(&doc.root);
        doc.RepaintViews(true, false);
        doc.root.sorted.store(false, std::memory_order_relaxed);
    }
    return 0;
}

DWORD WINAPI Coordinator(LPVOID param) {
    auto& doc = *static_cast<Document*>(param);
    FolderNode& root = doc.root;

    // The refresher may reorder the root's own array meanwhile; hand out the
    // folders in the order the listing gave them, from a copy.
    std::vector<FolderNode*> folders;
    {
        NodeLock hold(&root);
        int32_t n = root.Folders();
        folders.assign(root.children ? root.children->items : nullptr,
                       root.children ? root.children->items + n : nullptr);
    }
    const int slotCount = static_cast<int>(folders.size()) < kMaxWorkers ? static_cast<int>(folders.size()) : kMaxWorkers;
    WorkerSlot slots[kMaxWorkers];
    HANDLE threads[kMaxWorkers] = {};

    auto unlistable = [](FolderNode* node) { node->complete.store(true, std::memory_order_release); };
    auto waitForAll = [&] {
        for (int i = 0; i < slotCount; ++i) {
            if (!threads[i]) continue;
            WaitForSingleObject(threads[i], INFINITE);
            CloseHandle(threads[i]);
            threads[i] = nullptr;
        }
    };

    for (FolderNode* folder : folders) {
        if (doc.stopRequested.load(std::memory_order_relaxed)) break;  // left incomplete, as if cut at once
        int free = -1;
        for (int i = 0; i < slotCount && free < 0; ++i)
            if (!threads[i]) free = i;
        if (free < 0) {
            DWORD got = WaitForMultipleObjects(slotCount, threads, FALSE, INFINITE);
            if (got >= WAIT_OBJECT_0 + slotCount) {
                waitForAll();  // a failed wait: finish on the workers one by one
                free = 0;
            } else {
                free = static_cast<int>(got - WAIT_OBJECT_0);
                CloseHandle(threads[free]);
                threads[free] = nullptr;
            }
        }
        WorkerSlot& slot = slots[free];
        size_t len;
        snprintf(slot.path, sizeof slot.path, "%s", doc.path);
        slot.node = folder;
        slot.doc = &doc;
        if (folder->Complete() || !AppendName(slot.path, strlen(slot.path), folder->name, &len)) {
            unlistable(folder);
            continue;
        }
        threads[free] = CreateThread(nullptr, 0, FolderWorker, &slot, 0, nullptr);
        if (!threads[free]) unlistable(folder);
    }
    waitForAll();

    if (!doc.stopRequested.load(std::memory_order_relaxed)) Sleep(kFinishPauseMs);
    SetEvent(doc.finishedEvent);
    if (doc.refresher_) WaitForSingleObject(doc.refresher_, INFINITE);

    SortChildren(&root);
    double bytes = 0;
    int32_t files = root.Files();
    for (int32_t i = 0; i < root.ChildCount(); ++i) {
        FolderNode* child = root.Child(i);
        bytes += child->Size();
        if (child->isFolder) files += child->Files();
    }
    root.size.store(bytes, std::memory_order_relaxed);
    root.fileCount.store(files, std::memory_order_relaxed);
    root.complete.store(true, std::memory_order_release);
    doc.RepaintViews(true, true);
    return 0;
}

bool Document::StartWorkers() {
    if (coordinator_) return true;
    // The refresher first: the coordinator joins it before totalling the root.
    refresher_ = CreateThread(nullptr, 0, Refresher, this, 0, nullptr);
    coordinator_ = CreateThread(nullptr, 0, Coordinator, this, 0, nullptr);
    if (!coordinator_) Coordinator(this);  // no thread to spare: scan on this one
    return true;
}
