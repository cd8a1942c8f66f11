// Where the tree's records live: regions of the address space that each
// thread of the scan fills from the front, with no header per record, and
// that the document frees whole when it closes. A record removed from the
// tree keeps its bytes until then.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>

// Every region one document's tree took; frees them all when it goes.
class NodeRegions {
public:
    NodeRegions() = default;
    ~NodeRegions();
    NodeRegions(const NodeRegions&) = delete;
    NodeRegions& operator=(const NodeRegions&) = delete;

    // A region of at least `bytes` (reserved, its first page committed), or
    // null when the address space has no room. Safe on any thread.
    char* Reserve(size_t bytes, size_t* reserved);

private:
    // Each region's first bytes link it to the one reserved before it.
    std::atomic<char*> newest_{nullptr};
};

// One thread's share of the regions: records are carved from the front of
// its current region, and its pages are committed as they are reached, so
// that what is counted is what the tree holds.
class NodeArena {
public:
    explicit NodeArena(NodeRegions& regions) : regions_(regions) {}
    NodeArena(const NodeArena&) = delete;
    NodeArena& operator=(const NodeArena&) = delete;

    // `bytes` at the given alignment (a power of two), or null when memory
    // has run out.
    void* Take(size_t bytes, size_t alignment = 1);

private:
    bool Commit(char* end);

    NodeRegions& regions_;
    char* at_ = nullptr;         // the next free byte
    char* committed_ = nullptr;  // the end of the committed pages
    char* end_ = nullptr;        // the end of the region
};
