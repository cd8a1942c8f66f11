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
    const size_t folders = static_cast<size_t>(node->Folders());
    if (!array) return false;
    // The order the last call left, unless someone else changed the group.
    bool same = folders_.size() == folders;
    for (size_t i = 0; same && i < folders; ++i) same = folders_[i].node == array[i];
    if (!same) {
        // Room for every key to move, reserved once: nothing below allocates,
        // so a shortage of memory never leaves the keys half merged.
        folders_.clear();
        moved_.clear();
        folders_.reserve(folders);
        moved_.reserve(folders);
        for (size_t i = 0; i < folders; ++i) folders_.push_back({kUnsized, array[i]});
    }
    // One pass: the keys whose sizes moved come out, the others close up in
    // their order. Sizes are read once, here: a worker may grow them
    // meanwhile, and a sort whose keys change under it could lose or
    // duplicate entries.
    moved_.clear();
    size_t kept = 0, first = folders;
    for (size_t i = 0; i < folders; ++i) {
        const Key key = folders_[i];
        const uint64_t size = key.node->Size();
        if (size == key.size) {
            folders_[kept++] = key;
        } else {
            if (first == folders) first = i;
            moved_.push_back({size, key.node});
        }
    }
    if (moved_.empty()) return false;
    std::sort(moved_.begin(), moved_.end(), Larger<Key>);
    // Merged in place from the back, smallest first; a kept key goes ahead
    // of a moved one of the same size.
    size_t out = folders;
    for (size_t m = moved_.size(); m > 0;) {
        if (kept > 0 && Larger(moved_[m - 1], folders_[kept - 1]))
            folders_[--out] = folders_[--kept];
        else
            folders_[--out] = moved_[--m];
    }
    // Ahead of the first key taken out, and of the merge's last place,
    // nothing changed.
    bool moved = false;
    for (size_t i = first < out ? first : out; i < folders; ++i) {
        moved = moved || array[i] != folders_[i].node;
        array[i] = folders_[i].node;
    }
    return moved;
}
