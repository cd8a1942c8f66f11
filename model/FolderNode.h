// One node of the folder tree: a file or a folder found under the chosen folder.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "Listing.h"

struct FolderNode;

// A node's children: a block that holds its own length and capacity in front of
// the pointers, so that a file node (which never has children) pays only for one
// null pointer. It grows in fixed steps, never by doubling (see GrowChildren).
struct ChildArray {
    int32_t length;
    int32_t capacity;
    FolderNode* items[1];  // really `capacity` entries
};

// The level word: the depth in its low 16 bits, the expanded flag in bit 16.
constexpr uint32_t kLevelMask = 0xFFFFu;
constexpr uint32_t kExpandedBit = 0x10000u;

// Laid out for the 32-bit build first (48 bytes there, 56 in the 64-bit one):
// a disk of ten million files must fit a 32-bit shell's address space. A
// node's name follows its record in the same allocation, so it needs no
// pointer of its own.
struct FolderNode {
    // Folders at positions 0 .. folderCount-1, then the files. Changed only under
    // `lock`; readers on other threads take the lock too (see NodeLock).
    ChildArray* children;
    // Bytes: for a file its listed size, for a folder the total found beneath it
    // so far. One worker writes a subtree's sizes and counts while the views and
    // the refresher's sort read them, so they are atomics (relaxed order suffices).
    std::atomic<double> size;
    FolderNode* parent;
    // A slim lock, used exclusively: it needs no call to destroy (a critical
    // section's costs a server round trip under Wine, per node).
    SRWLOCK lock;
    std::atomic<uint32_t> levelWord;
    std::atomic<int32_t> fileCount;
    std::atomic<int32_t> folderCount;
    // The file system's id of the item the listing gave (its file index on
    // the chosen folder's volume); 0 where the file system keeps none. An
    // action proves by it that a path still reaches this very item. In two
    // halves, so that the 32-bit build aligns it no further than the rest.
    uint32_t idLow, idHigh;
    uint8_t isFolder;
    uint8_t isLink;  // a link (file or folder): never walked, never deleted through
    std::atomic<bool> sorted;
    std::atomic<bool> complete;

    // The name exactly as the listing gave it, in the stored form of Name.h;
    // empty for the root (no parent), whose path the document holds.
    const char* Name() const { return parent ? reinterpret_cast<const char*>(this + 1) : ""; }
    uint64_t FileId() const { return (uint64_t{idHigh} << 32) | idLow; }
    int Level() const { return levelWord.load(std::memory_order_relaxed) & kLevelMask; }
    bool Expanded() const { return (levelWord.load(std::memory_order_relaxed) & kExpandedBit) != 0; }
    void SetExpanded(bool on) {
        if (on)
            levelWord.fetch_or(kExpandedBit, std::memory_order_relaxed);
        else
            levelWord.fetch_and(~kExpandedBit, std::memory_order_relaxed);
    }
    bool Complete() const { return complete.load(std::memory_order_acquire); }
    double Size() const { return size.load(std::memory_order_relaxed); }
    int32_t Files() const { return fileCount.load(std::memory_order_relaxed); }
    int32_t Folders() const { return folderCount.load(std::memory_order_relaxed); }
    // Children accessors; call them under `lock` when a worker may still be adding.
    int32_t ChildCount() const { return children ? children->length : 0; }
    FolderNode* Child(int32_t i) const { return children->items[i]; }
};

// Holds a node's lock for a scope.
class NodeLock {
public:
    explicit NodeLock(FolderNode* node) : node_(node) { AcquireSRWLockExclusive(&node_->lock); }
    ~NodeLock() { ReleaseSRWLockExclusive(&node_->lock); }
    NodeLock(const NodeLock&) = delete;
    NodeLock& operator=(const NodeLock&) = delete;

private:
    FolderNode* node_;
};

// Sets up a node in place (the root, which the document holds by value). Every
// field cleared, no name, no parent.
void InitNode(FolderNode* node);

// Makes a node from one directory-listing entry and, with a parent, links it into
// the parent: folders go after the parent's folders, files at the end.
FolderNode* CreateNode(const ListedEntry& entry, FolderNode* parent);

// Links nodes made without a parent as the parent's children, after those it
// has, each in its group in the order given: one listing's entries at once,
// with the array grown once to fit them (step by step, a folder of 100,000
// entries would copy its array 2,000 times). False, linking none, when there
// is no memory for it.
bool AdoptChildren(FolderNode* parent, FolderNode* const* nodes, size_t count);

// What a listing watches while it makes nodes: a stop request, and how much
// memory the scan may still take.
struct ListWatch {
    const std::atomic<bool>* stop = nullptr;
    // A test's stand-in for a full address space: the allocations that may
    // still succeed, each node and each of the walk's own reservations
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
    kShortOfMemory  // a node or its place among the children could not be had
};

// Lists the folder at `exactPath` into `folder`: every entry but those whose
// name begins with "." becomes a child, all joining at once (AdoptChildren).
// `nodes`, the caller's buffer, holds the new children after. A folder that
// cannot be listed gets none; so does one that is not the `expected` item
// (FolderListing::Open), when that is given. Cut short by a stop request or
// a shortage of memory, the folder keeps the entries made so far (the
// count stays true to what is in the tree); nothing is thrown.
ListOutcome ListInto(FolderListing& listing, const wchar_t* exactPath, const ItemIdentity* expected,
                     FolderNode* folder, std::vector<FolderNode*>& nodes, const ListWatch& watch);

// Frees a node's subtree, then the node's own array; no accounting.
// The node's memory itself is freed too unless it is held by value (the root).
// Neither recurses: a tree may be thousands of levels deep.
void FreeSubtree(FolderNode* node);
void FreeNode(FolderNode* node);

// Takes count files and bytes off the node and every ancestor, then re-sorts
// each, from the root down to the node.
void SubtractFromAncestors(FolderNode* node, int32_t count, double bytes);

// The rows a node shows while expanded: its children and, for each expanded
// folder child, that child's rows.
int CountRows(const FolderNode* node);

// The display order: calls `visit` for each row a node shows when expanded,
// its children and, after each expanded folder child, that child's rows,
// until `visit` returns false. False when stopped. The caller holds the
// root's lock where the refresher may reorder the root's children.
template <class Visit>
bool WalkRows(const FolderNode* node, Visit& visit) {
    for (int32_t i = 0; i < node->ChildCount(); ++i) {
        const FolderNode* child = node->Child(i);
        if (!visit(child)) return false;
        if (child->isFolder && child->Expanded() && !WalkRows(child, visit)) return false;
    }
    return true;
}

// Puts a node's children in order: folders before files, each group by size,
// largest first. Does nothing while the node's `sorted` flag is set. Short of
// memory, leaves the order and the flag as they were.
void SortChildren(FolderNode* node);
