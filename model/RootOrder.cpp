#include "RootOrder.h"

#include <algorithm>

namespace {

template <class Key>
bool Larger(const Key& a, const Key& b) {
    return a.size > b.size;
}

}  // namespace

bool RootOrder::Sort(FolderNode* node) {
    NodeLock hold(node);
    FolderNode** array = node->folderArray.load(std::memory_order_relaxed);
    const int32_t folders = node->Folders();
    if (!array) return false;
    // The order the last call left, unless someone else changed the group.
    bool same = folders_.size() == static_cast<size_t>(folders);
    for (int32_t i = 0; same && i < folders; ++i) same = folders_[i].node == array[i];
    if (!same) {
        folders_.clear();
        for (int32_t i = 0; i < folders; ++i) folders_.push_back({kUnsized, array[i]});
    }
    // Sizes are read once, here: a worker may grow them meanwhile, and a sort
    // whose keys change under it could lose or duplicate entries.
    kept_.clear();
    moved_.clear();
    for (Key& key : folders_) {
        uint64_t size = key.node->Size();
        (size == key.size ? kept_ : moved_).push_back({size, key.node});
    }
    if (moved_.empty()) return false;
    std::sort(moved_.begin(), moved_.end(), Larger<Key>);
    std::merge(kept_.begin(), kept_.end(), moved_.begin(), moved_.end(), folders_.begin(), Larger<Key>);
    bool moved = false;
    for (int32_t i = 0; i < folders; ++i) {
        moved = moved || array[i] != folders_[i].node;
        array[i] = folders_[i].node;
    }
    return moved;
}
