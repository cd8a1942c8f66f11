// An item opened for its identity alone: no access to its data, shared with
// every other user, and a link itself rather than what it points at.
#pragma once

#include <windows.h>

#include <string>

#include "Listing.h"

// When an item was made and last written. A file system that hands a freed
// id to the next new item at once (as Linux's do) gives that item other times.
struct ItemTimes {
    FILETIME created{}, written{};
};

class ItemHandle {
public:
    explicit ItemHandle(const wchar_t* path);
    ~ItemHandle();
    ItemHandle(const ItemHandle&) = delete;
    ItemHandle& operator=(const ItemHandle&) = delete;

    // Which item the path reached; false when it reached none.
    bool Identity(ItemIdentity* out) const;
    bool Times(ItemTimes* out) const;
    // True when the path reached nothing because nothing is there.
    bool Missing() const { return error_ == ERROR_FILE_NOT_FOUND || error_ == ERROR_PATH_NOT_FOUND; }
    bool IsFolder() const;
    // True for a link, whatever the listing said (or when it cannot be told).
    bool IsLink() const;
    // Where the platform says the item really is.
    bool FinalPath(std::wstring* out) const;

private:
    bool Tag(FILE_ATTRIBUTE_TAG_INFO* tag) const;

    HANDLE handle_;
    DWORD error_ = ERROR_SUCCESS;
};
