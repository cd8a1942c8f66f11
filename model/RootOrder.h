// The order of the top level while the scan runs. Between two cycles of the
// refresher only the folders being walked (ten at most) change size, and the
// files not at all: so the files are put in order once, and each cycle takes
// the folders whose sizes moved out of the order the last cycle left, sorts
// those few and merges them back, instead of sorting the whole level again.
#pragma once

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
        double size;
        FolderNode* node;
    };
    bool filesSorted_ = false;
    std::vector<Key> folders_;  // the folder group as the last call left it
    std::vector<Key> moved_, kept_;
};
