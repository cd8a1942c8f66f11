#include "NodeArena.h"

#include <cstdint>
#include <cstring>

namespace {

// A region's size unless one record run needs more: large enough that a
// thread asks the system rarely, small enough that ten threads' unused
// reservations cost a 32-bit process little address space.
constexpr size_t kRegionBytes = 1 << 20;
constexpr size_t kPage = 4096;
// The region's link to the one before; the records start after it.
constexpr size_t kHeader = 16;

size_t RoundUp(size_t value, size_t step) { return (value + step - 1) & ~(step - 1); }

}  // namespace

NodeRegions::~NodeRegions() {
    for (char* region = newest_.load(); region;) {
        char* before;
        memcpy(&before, region, sizeof before);
        VirtualFree(region, 0, MEM_RELEASE);
        region = before;
    }
}

char* NodeRegions::Reserve(size_t bytes, size_t* reserved) {
    size_t size = bytes + kHeader <= kRegionBytes ? kRegionBytes : RoundUp(bytes + kHeader, 64 * 1024);
    if (size < bytes) return nullptr;  // wrapped: no such region
    auto* region = static_cast<char*>(VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_READWRITE));
    if (!region) return nullptr;
    if (!VirtualAlloc(region, kPage, MEM_COMMIT, PAGE_READWRITE)) {
        VirtualFree(region, 0, MEM_RELEASE);
        return nullptr;
    }
    char* before = newest_.load(std::memory_order_relaxed);
    do {
        memcpy(region, &before, sizeof before);
    } while (!newest_.compare_exchange_weak(before, region, std::memory_order_acq_rel));
    *reserved = size;
    return region;
}

bool NodeArena::Commit(char* end) {
    if (end <= committed_) return true;
    size_t bytes = RoundUp(static_cast<size_t>(end - committed_), kPage);
    if (!VirtualAlloc(committed_, bytes, MEM_COMMIT, PAGE_READWRITE)) return false;
    committed_ += bytes;
    return true;
}

void* NodeArena::Take(size_t bytes, size_t alignment) {
    auto aligned = [alignment](char* at) {
        return reinterpret_cast<char*>(RoundUp(reinterpret_cast<uintptr_t>(at), alignment));
    };
    char* start = at_ ? aligned(at_) : nullptr;
    if (!start || start > end_ || bytes > static_cast<size_t>(end_ - start)) {
        size_t size = 0;
        char* region = regions_.Reserve(bytes + alignment, &size);
        if (!region) return nullptr;
        char* first = aligned(region + kHeader);
        if (size > kRegionBytes) {
            // A run larger than a region gets one of its own; the current
            // region goes on serving the smaller records.
            char* committed = region + kPage;
            char* end = first + bytes;
            if (end > committed &&
                !VirtualAlloc(committed, RoundUp(static_cast<size_t>(end - committed), kPage), MEM_COMMIT,
                              PAGE_READWRITE))
                return nullptr;  // freed with the others at close
            return first;
        }
        at_ = region + kHeader;
        committed_ = region + kPage;
        end_ = region + size;
        start = first;
    }
    if (!Commit(start + bytes)) return nullptr;
    at_ = start + bytes;
    return start;
}
