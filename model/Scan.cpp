// The scan: a coordinator hands the chosen folder's subfolders to at most ten
// folder workers, each walking its subfolder depth first, while a refresher
// re-sorts the top level and repaints the views ten times a second.
#include <atomic>
#include <cerrno>
#include <exception>
#include <new>
#include <vector>

#include "Document.h"
#include "RootOrder.h"

namespace {

constexpr size_t kMaxWorkers = 10;
constexpr DWORD kRefreshPeriodMs = 100;
constexpr DWORD kFinishPauseMs = 500;

// A thread's first failed allocation and its first exception each set up
// state of the thread's own in the C runtime (its errno, its exception
// record), which takes memory: found missing then, the runtime ends the
// process, the shell's. Each thread of the scan sets that up first, once it
// has seen that the heap still has room: false when it has not, and the
// thread is then to touch nothing that may allocate.
bool ReadyThread() {
    HANDLE heap = GetProcessHeap();
    void* room = HeapAlloc(heap, 0, 16 * 1024);
    if (!room) return false;
    HeapFree(heap, 0, room);
    errno = 0;
    return std::uncaught_exceptions() == 0;
}

// One folder of a walk in progress: its node, where its path ends, and the
// subfolders its listing gave, walked one after the other.
struct WalkLevel {
    FolderNode* folder;
    size_t pathLength;
    std::vector<FolderNode*> subfolders;
    size_t next;
};

void AddTotals(FolderNode* folder, const FolderNode* sub) {
    folder->fileCount.store(folder->Files() + sub->Files(), std::memory_order_relaxed);
    folder->size.store(folder->Size() + sub->Size(), std::memory_order_relaxed);
}

// Room for `count` more entries, or std::bad_alloc, as when the address space
// is full; the test's budget (ListWatch) fails it the same way.
void Reserve(std::vector<FolderNode*>& list, size_t count, const ListWatch& watch) {
    if (!watch.MayAllocate()) throw std::bad_alloc();
    list.reserve(list.size() + count);
}

// Lists one folder into its node: its files join its totals at once, its
// subfolders are kept for the walk. False when a stop request or a shortage
// of memory came first; the folder's totals then hold what was listed.
bool ListFolder(Document& doc, FolderListing& listing, NodeArena& arena, const ItemPath& path, WalkLevel& level,
                ListScratch& scratch) {
    if (doc.beforeListing) doc.beforeListing(level.folder);
    ItemIdentity expected = doc.Identity(level.folder);
    ListWatch watch = doc.Watch();
    ListOutcome outcome = ListInto(listing, path.Exact(), &expected, level.folder, arena, scratch, watch);
    if (outcome == ListOutcome::kShortOfMemory) doc.RanShortOfMemory();
    // The totals first: a shortage below leaves the folder's count and size
    // in step, with only its walk cut short.
    level.folder->size.store(level.folder->Size() + scratch.fileBytes, std::memory_order_relaxed);
    // A directory link comes complete from its listing and is not walked.
    size_t folders = 0;
    for (FolderNode* node : scratch.folders) folders += node->Complete() ? 0 : 1;
    if (folders == 0) return outcome == ListOutcome::kListed;
    Reserve(level.subfolders, folders, watch);
    for (FolderNode* node : scratch.folders)
        if (!node->Complete()) level.subfolders.push_back(node);
    return outcome == ListOutcome::kListed;
}

// Walks the folder at `path` into `top`, depth first, on this thread. The levels
// live on the heap, not on the stack, since paths of 32,767 units make trees
// thousands of levels deep. Returns false when a stop request or a shortage
// of memory cut the walk short: the folder it was in and every folder above
// it then stay incomplete, with what they had gathered added upwards.
bool WalkFolder(Document& doc, FolderListing& listing, NodeArena& arena, ItemPath& path, FolderNode* top) {
    std::vector<WalkLevel> levels;
    ListScratch scratch;  // one listing's, reused
    bool cut = false;
    try {
        levels.push_back({top, path.Length(), {}, 0});
        cut = !ListFolder(doc, listing, arena, path, levels.back(), scratch);
        while (!cut) {
            WalkLevel& level = levels.back();
            if (level.next == level.subfolders.size()) {
                FolderNode* done = level.folder;
                done->SetComplete();
                levels.pop_back();
                if (levels.empty()) return true;
                AddTotals(levels.back().folder, done);
                continue;
            }
            if (doc.stopRequested.load(std::memory_order_relaxed)) {
                cut = true;
                break;
            }
            FolderNode* sub = level.subfolders[level.next++];
            path.Truncate(level.pathLength);
            // A folder whose path would pass the platform's limit, or whose
            // name is not one name, cannot be listed.
            if (!path.Append(sub->Name())) {
                sub->SetComplete();
                continue;
            }
            levels.push_back({sub, path.Length(), {}, 0});
            cut = !ListFolder(doc, listing, arena, path, levels.back(), scratch);
        }
    } catch (const std::bad_alloc&) {
        // The walk's own lists or its path could not grow. What the levels
        // hold so far is in the tree, and is added up below.
        doc.RanShortOfMemory();
    }
    while (levels.size() > 1) {
        FolderNode* partial = levels.back().folder;
        levels.pop_back();
        AddTotals(levels.back().folder, partial);
    }
    return false;
}

}  // namespace

// The end of every scan, walked or not: the refresher stopped, the top level
// in order, the root totalled, the totals shown. A scan that ran out of
// memory leaves the root incomplete: its totals are only what was counted.
void Document::FinishScan(bool ready) {
    SetEvent(finishedEvent);
    if (refresher_) WaitForSingleObject(refresher_, INFINITE);
    if (ready) SortChildren(&root);
    uint64_t bytes = 0;
    int32_t files = root.Files();
    ForEachChild(&root, [&](Row child) {
        bytes += child.Size();
        if (child.IsFolder()) files += child.Files();
    });
    root.size.store(bytes, std::memory_order_relaxed);
    root.fileCount.store(files, std::memory_order_relaxed);
    if (!ShortOfMemory()) root.SetComplete();
    scanEnded_.store(true, std::memory_order_release);
    if (!ready) return;
    try {
        RepaintViews(true, true);
        if (owner) owner->RowsReordered();
    } catch (const std::bad_alloc&) {
        // The views repaint from the tree at their next paint.
    }
}

HANDLE StartThread(LPTHREAD_START_ROUTINE procedure, LPVOID argument) {
    return CreateThread(nullptr, 0, procedure, argument, 0, nullptr);
}

// What the coordinator's workers share: the top-level folders in the order
// the listing gave them, and the next one to hand out. A worker that ends a
// folder takes the next, so at most ten are walked at once, in listing
// order, each by one thread, and no thread is started per folder.
struct WorkerSlot {
    Document* doc;
    std::vector<FolderNode*> folders;
    std::atomic<size_t> next{0};
};

DWORD WINAPI FolderWorker(LPVOID param) {
    auto* pool = static_cast<WorkerSlot*>(param);
    Document& doc = *pool->doc;
    if (!ReadyThread()) {
        doc.RanShortOfMemory();
        return 0;
    }
    FolderListing listing;
    NodeArena arena(doc.regions);
    ItemPath path;
    for (;;) {
        if (doc.stopRequested.load(std::memory_order_relaxed)) break;  // the rest stay incomplete
        size_t index = pool->next++;
        if (index >= pool->folders.size()) break;
        FolderNode* folder = pool->folders[index];
        try {
            path = doc.folder_;
            // A link comes complete; a folder whose path would not fit, or whose
            // name is not one name, is one that cannot be listed.
            if (folder->Complete() || !path.Append(folder->Name())) {
                folder->SetComplete();
                continue;
            }
        } catch (const std::bad_alloc&) {
            doc.RanShortOfMemory();
            break;
        }
        int running = ++doc.runningWorkers_;
        int peak = doc.peakWorkers_.load();
        while (running > peak && !doc.peakWorkers_.compare_exchange_weak(peak, running)) {
        }
        WalkFolder(doc, listing, arena, path, folder);
        --doc.runningWorkers_;
    }
    return 0;
}

DWORD WINAPI Refresher(LPVOID param) {
    auto& doc = *static_cast<Document*>(param);
    // Without room, the top level is only sorted at the scan's end.
    if (!ReadyThread()) return 0;
    RootOrder order;
    while (WaitForSingleObject(doc.finishedEvent, kRefreshPeriodMs) == WAIT_TIMEOUT) {
        try {
            bool moved = order.Sort(&doc.root);
            doc.RepaintViews(true, false);
            if (moved && doc.owner) doc.owner->RowsReordered();
        } catch (const std::bad_alloc&) {
            // No room to sort or paint this time; the scan's end sorts again.
        }
    }
    return 0;
}

DWORD WINAPI Coordinator(LPVOID param) {
    auto& doc = *static_cast<Document*>(param);
    FolderNode& root = doc.root;
    if (!ReadyThread()) {
        // Nothing is listed, sorted or painted here: the scan ends first,
        // so that the views, told the root is done, show the shortage.
        doc.RanShortOfMemory();
        doc.FinishScan(false);
        if (!doc.IsRootListed()) doc.RootDone(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    // The root's children are all in the tree before any worker starts.
    if (!doc.IsRootListed()) doc.ListRoot();

    // The refresher may reorder the root's own array meanwhile; hand out the
    // folders in the order the listing gave them, from a copy.
    WorkerSlot pool;
    pool.doc = &doc;
    try {
        NodeLock hold(&root);
        int32_t n = root.Folders();
        FolderNode** array = root.folderArray.load(std::memory_order_relaxed);
        pool.folders.assign(array, array ? array + n : nullptr);
    } catch (const std::bad_alloc&) {
        doc.RanShortOfMemory();  // no folder is walked: each stays incomplete
    }
    const size_t count = pool.folders.size() < kMaxWorkers ? pool.folders.size() : kMaxWorkers;
    HANDLE threads[kMaxWorkers] = {};
    DWORD started = 0;
    for (size_t i = 0; i < count; ++i)
        if (HANDLE thread = doc.startThread(FolderWorker, &pool)) threads[started++] = thread;
    // A thread is refused only for want of memory for its stack: the folders
    // are not walked, and the scan says so rather than show them empty.
    if (count > 0 && started == 0) doc.RanShortOfMemory();
    for (DWORD i = 0; i < started; ++i) {
        WaitForSingleObject(threads[i], INFINITE);
        CloseHandle(threads[i]);
    }
    if (!doc.stopRequested.load(std::memory_order_relaxed)) Sleep(kFinishPauseMs);
    doc.FinishScan(true);
    return 0;
}

bool Document::StartWorkers() {
    if (coordinator_ || root.Complete()) return true;
    // The refresher first: the coordinator joins it before totalling the root.
    refresher_ = startThread(Refresher, this);
    coordinator_ = startThread(Coordinator, this);
    if (!coordinator_) {
        // No thread to walk on: the caller's thread (the shell's) never lists.
        // Nothing more is listed, and the scan ends cut short.
        if (!IsRootListed()) {
            DWORD error = GetLastError();
            RootDone(error ? error : ERROR_NOT_ENOUGH_MEMORY);
        } else if (root.Folders() > 0) {
            RanShortOfMemory();
        }
        FinishScan(true);
    }
    return true;
}
