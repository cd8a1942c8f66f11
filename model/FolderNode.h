// The folder tree: a record for each folder found under the chosen folder,
// and for each folder one run of its files' records, put in order once when
// the folder is listed (a file's size is final then). A disk of ten million
// files must fit a 32-bit shell's address space, so a file costs its id, its
// size and its name, and nothing more; a row of the list is a `Row`.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FileRecord.h"
#include "Listing.h"
#include "NodeArena.h"

struct FolderNode;

// One row of the list: a folder, or one file of a folder's run. Compared by
// what it names. A file's row keeps naming its file until a file ahead of it
// in the same run is removed, which only an action does, one at a time, and
// after which the document sets its selection anew.
class Row {
public:
    Row() = default;
    Row(std::nullptr_t) {}
    Row(FolderNode* folder) : folder_(folder) {}
    Row(const FolderNode* folder) : folder_(const_cast<FolderNode*>(folder)) {}
    static Row File(const FolderNode* folder, const char* record) {
        Row row(folder);
        row.file_ = record;
        return row;
    }

    explicit operator bool() const { return folder_ != nullptr; }
    bool IsFolder() const { return folder_ && !file_; }
    // The folder this row is; null for a file's row.
    FolderNode* Folder() const { return file_ ? nullptr : folder_; }
    // The folder that holds this row's item (null for the root).
    FolderNode* Parent() const;
    // The file's record; null for a folder's row.
    const char* Record() const { return file_; }

    const char* Name() const;
    uint64_t Size() const;
    uint64_t FileId() const;
    bool IsLink() const;
    int Level() const;
    bool Expanded() const;
    // A file is complete as listed; a folder once its walk has ended.
    bool Complete() const;
    // The files the row stands for: one for a file's row.
    int32_t Files() const;

    bool operator==(const Row& other) const { return folder_ == other.folder_ && file_ == other.file_; }
    bool operator!=(const Row& other) const { return !(*this == other); }

private:
    FolderNode* folder_ = nullptr;
    const char* file_ = nullptr;
};

// The state word: the depth in its low 16 bits, then the flags.
constexpr uint32_t kLevelMask = 0xFFFFu;
constexpr uint32_t kExpandedBit = 1u << 16;
constexpr uint32_t kLinkBit = 1u << 17;
constexpr uint32_t kSortedBit = 1u << 18;
constexpr uint32_t kCompleteBit = 1u << 19;

// Laid out for the 32-bit build first (48 bytes there, 64 in the 64-bit one);
// the folder's name follows its record in the same region.
struct FolderNode {
    FolderNode* parent;
    // A slim lock, used exclusively: it needs no call to destroy. Held to link
    // children, to sort them and to remove one; readers on other threads that
    // walk the root's order hold the root's (NodeLock).
    SRWLOCK lock;
    // The subfolders, in listing order until sorted, and the files, largest
    // first. A listing stores an array or a run before its count (release),
    // and a reader loads the count first (acquire), so that a reader without
    // the lock never reads past what was written. An array that grows is
    // copied; the old one stays in its region.
    std::atomic<FolderNode**> folderArray;
    std::atomic<const char*> fileRun;
    std::atomic<int32_t> folderCount;
    std::atomic<int32_t> runCount;
    // The bytes and files found beneath the folder so far. One worker writes a
    // subtree's totals while the views and the refresher read them, so they
    // are atomics (relaxed order suffices).
    std::atomic<uint64_t> size;
    std::atomic<int32_t> fileCount;
    std::atomic<uint32_t> state;
    // The file system's id of the folder the listing gave (its file index on
    // the chosen folder's volume); 0 where the file system keeps none. An
    // action proves by it that a path still reaches this very folder. In two
    // halves, so that the 32-bit build aligns it no further than the rest.
    uint32_t idLow, idHigh;

    // The name exactly as the listing gave it, in the stored form of Name.h;
    // empty for the root (no parent), whose path the document holds.
    const char* Name() const { return parent ? reinterpret_cast<const char*>(this + 1) : ""; }
    uint64_t FileId() const { return (uint64_t{idHigh} << 32) | idLow; }
    uint32_t State() const { return state.load(std::memory_order_relaxed); }
    int Level() const { return static_cast<int>(State() & kLevelMask); }
    bool Expanded() const { return (State() & kExpandedBit) != 0; }
    void SetExpanded(bool on) { SetFlag(kExpandedBit, on); }
    // A link to a folder: shown, never walked, never deleted through.
    bool IsLink() const { return (State() & kLinkBit) != 0; }
    bool Complete() const { return (state.load(std::memory_order_acquire) & kCompleteBit) != 0; }
    void SetComplete() { state.fetch_or(kCompleteBit, std::memory_order_release); }
    bool Sorted() const { return (State() & kSortedBit) != 0; }
    void SetSorted(bool on) { SetFlag(kSortedBit, on); }
    uint64_t Size() const { return size.load(std::memory_order_relaxed); }
    int32_t Files() const { return fileCount.load(std::memory_order_relaxed); }

    // Children: the subfolders first, then the files. Call these under `lock`
    // where a listing or a sort may change them meanwhile.
    int32_t Folders() const { return folderCount.load(std::memory_order_acquire); }
    int32_t OwnFiles() const { return runCount.load(std::memory_order_acquire); }
    int32_t ChildCount() const { return Folders() + OwnFiles(); }
    FolderNode* Folder(int32_t i) const { return folderArray.load(std::memory_order_acquire)[i]; }
    const char* FirstFile() const { return fileRun.load(std::memory_order_acquire); }
    // Any child; a file's takes the records before it.
    Row Child(int32_t i) const;

private:
    void SetFlag(uint32_t bit, bool on) {
        if (on)
            state.fetch_or(bit, std::memory_order_relaxed);
        else
            state.fetch_and(~bit, std::memory_order_relaxed);
    }
};

inline FolderNode* Row::Parent() const { return file_ ? folder_ : folder_->parent; }
inline int Row::Level() const { return folder_->Level() + (file_ ? 1 : 0); }
inline bool Row::Expanded() const { return !file_ && folder_->Expanded(); }
inline bool Row::Complete() const { return file_ || folder_->Complete(); }
inline int32_t Row::Files() const { return file_ ? 1 : folder_->Files(); }
inline const char* Row::Name() const { return file_ ? FileRecord::Name(file_) : folder_->Name(); }
inline uint64_t Row::Size() const { return file_ ? FileRecord::Size(file_) : folder_->Size(); }
inline uint64_t Row::FileId() const { return file_ ? FileRecord::Id(file_) : folder_->FileId(); }
inline bool Row::IsLink() const { return file_ ? FileRecord::IsLink(file_) : folder_->IsLink(); }

// Holds a folder's lock for a scope.
class NodeLock {
public:
    explicit NodeLock(const FolderNode* node) : node_(const_cast<FolderNode*>(node)) {
        AcquireSRWLockExclusive(&node_->lock);
    }
    ~NodeLock() { ReleaseSRWLockExclusive(&node_->lock); }
    NodeLock(const NodeLock&) = delete;
    NodeLock& operator=(const NodeLock&) = delete;

private:
    FolderNode* node_;
};

// Sets up a folder's record in place (the root, which the document holds by
// value): every field cleared, no name, no parent, no children.
void InitNode(FolderNode* node);

// One listing's entries on their way into the tree, in the listing's order.
class ChildBatch {
public:
    // False, adding nothing, when there is no memory for the entry.
    bool Add(const ListedEntry& entry);
    void Clear();
    size_t Count() const { return entries_.size(); }

private:
    friend bool Adopt(FolderNode* folder, const ChildBatch& batch, NodeArena& arena,
                      std::vector<FolderNode*>* made);
    struct Entry {
        uint64_t size;
        uint64_t id;
        uint32_t nameAt, nameBytes;  // in names_
        bool folder, link;
    };
    std::vector<Entry> entries_;
    std::string names_;  // the stored names, each with its zero
};

// Links a batch into `folder` as its children, after those it has: the new
// folders in the batch's order after its folders, the files merged into its
// run by size. The folder's file count grows by the batch's files; its size
// is the caller's. `made`, when given, gets the new folders in the batch's
// order. False, linking none, when there is no memory for it.
bool Adopt(FolderNode* folder, const ChildBatch& batch, NodeArena& arena, std::vector<FolderNode*>* made);

// What a listing watches while it makes nodes: a stop request, and how much
// memory the scan may still take.
struct ListWatch {
    const std::atomic<bool>* stop = nullptr;
    // A test's stand-in for a full address space: the allocations that may
    // still succeed, each entry and each of the walk's own reservations
    // taking one; below zero, no limit.
    std::atomic<long>* allocationsLeft = nullptr;

    // False once the test's budget is spent: the allocation is to fail. A
    // spent budget stays at zero, however many threads ask at once.
    bool MayAllocate() const {
        if (!allocationsLeft) return true;
        long left = allocationsLeft->load(std::memory_order_relaxed);
        while (left > 0 && !allocationsLeft->compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) {
        }
        return left != 0;
    }
    bool Stopped() const { return stop && stop->load(std::memory_order_relaxed); }
};

enum class ListOutcome {
    kListed,        // every entry, or none: the folder could not be listed
    kStopped,       // a stop request came first
    kShortOfMemory  // an entry or its place among the children could not be had
};

// What a thread keeps from one listing to the next: the batch being
// gathered, and after a listing the folders it added and its files' bytes.
struct ListScratch {
    ChildBatch batch;
    std::vector<FolderNode*> folders;
    uint64_t fileBytes = 0;
};

// Lists the folder at `exactPath` into `folder`: every entry but those whose
// name begins with "." becomes a child, all joining at once (Adopt). A folder
// that cannot be listed gets none; so does one that is not the `expected`
// item (FolderListing::Open), when that is given. Cut short by a stop
// request or a shortage of memory, the folder keeps the entries read so far
// (the count stays true to what is in the tree); nothing is thrown.
ListOutcome ListInto(FolderListing& listing, const wchar_t* exactPath, const ItemIdentity* expected,
                     FolderNode* folder, NodeArena& arena, ListScratch& scratch, const ListWatch& watch);

// Takes a row out of its folder's children, not out of any total. Its
// record stays in its region; a file's run closes up behind it. Returns the
// position it had among its siblings, or -1 when it was not there.
int Unlink(Row row);

// Takes count files and bytes off the folder and every ancestor, then
// re-sorts each, from the root down to the folder.
void SubtractFromAncestors(FolderNode* folder, int32_t count, uint64_t bytes);

// The rows a folder shows while expanded: its children and, for each
// expanded subfolder, that subfolder's rows.
int CountRows(const FolderNode* node);

// Calls `visit` with each of a folder's children: its subfolders, then its
// files.
template <class Visit>
void ForEachChild(const FolderNode* node, Visit&& visit) {
    const int32_t folders = node->Folders();
    for (int32_t i = 0; i < folders; ++i) visit(Row(node->Folder(i)));
    const int32_t files = node->OwnFiles();
    const char* record = node->FirstFile();
    for (int32_t i = 0; i < files; ++i, record = FileRecord::Next(record)) visit(Row::File(node, record));
}

// The display order: calls `visit` with each row a folder shows when
// expanded, its children and, after each expanded subfolder, that
// subfolder's rows, until `visit` returns false. False when stopped. The
// caller holds the root's lock where the refresher may reorder the root's
// children.
template <class Visit>
bool WalkRows(const FolderNode* node, Visit& visit) {
    const int32_t folders = node->Folders();
    for (int32_t i = 0; i < folders; ++i) {
        const FolderNode* child = node->Folder(i);
        if (!visit(Row(child))) return false;
        if (child->Expanded() && !WalkRows(child, visit)) return false;
    }
    const int32_t files = node->OwnFiles();
    const char* record = node->FirstFile();
    for (int32_t i = 0; i < files; ++i, record = FileRecord::Next(record))
        if (!visit(Row::File(node, record))) return false;
    return true;
}

// Puts a folder's subfolders in order, largest first (its files are in
// order from their listing). Does nothing while its sorted flag is set.
// Short of memory, leaves the order and the flag as they were.
void SortChildren(FolderNode* node);
