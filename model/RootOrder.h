// The order of the top level while the scan runs. Between two cycles of the
// refresher only the folders being walked (ten at most) change size (the
// files are in order from their listing): so each cycle takes the folders
// whose sizes moved out of the order the last cycle left, sorts those few
// and merges them back, instead of sorting the whole level again.
#pragma once

#include <cstdint>
#include <vector>

#include "FolderNode.h"

class RootOrder {
public:
    // Puts the node's children in display order (as SortChildren does),
    // reusing what the previous call on the same node left. True when any
    // child's position changed.
    bool Sort(FolderNode* node);

private:
    struct Key {
        uint64_t size;
        FolderNode* node;
    };
    // Never a folder's size: every key is read on the first call.
    static constexpr uint64_t kUnsized = ~uint64_t{0};
    std::vector<Key> folders_;  // the folder group as the last call left it
    std::vector<Key> moved_;
};
