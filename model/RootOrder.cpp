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
    ChildArray* array = node->children;
    if (!array) return false;
    bool moved = false;
    const int32_t folders = node->Folders();
    if (!filesSorted_) {
        // A file's size is final once listed.
        std::vector<Key> files;
        for (int32_t i = folders; i < array->length; ++i) files.push_back({array->items[i]->Size(), array->items[i]});
        std::sort(files.begin(), files.end(), Larger<Key>);
        for (size_t i = 0; i < files.size(); ++i) {
            FolderNode*& at = array->items[folders + static_cast<int32_t>(i)];
            moved = moved || at != files[i].node;
            at = files[i].node;
        }
        filesSorted_ = true;
    }
    // The order the last call left, unless someone else changed the group.
    bool same = folders_.size() == static_cast<size_t>(folders);
    for (int32_t i = 0; same && i < folders; ++i) same = folders_[i].node == array->items[i];
    if (!same) {
        folders_.clear();
        for (int32_t i = 0; i < folders; ++i) folders_.push_back({-1.0, array->items[i]});
    }
    // Sizes are read once, here: a worker may grow them meanwhile, and a sort
    // whose keys change under it could lose or duplicate entries.
    kept_.clear();
    moved_.clear();
    for (Key& key : folders_) {
        double size = key.node->Size();
        (size == key.size ? kept_ : moved_).push_back({size, key.node});
    }
    if (moved_.empty()) return moved;
    std::sort(moved_.begin(), moved_.end(), Larger<Key>);
    std::merge(kept_.begin(), kept_.end(), moved_.begin(), moved_.end(), folders_.begin(), Larger<Key>);
    for (int32_t i = 0; i < folders; ++i) {
        moved = moved || array->items[i] != folders_[i].node;
        array->items[i] = folders_[i].node;
    }
    return moved;
}
