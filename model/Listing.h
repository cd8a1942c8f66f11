// One folder's entries, read by handle in large batches: the names exactly as
// the file system holds them, with the attributes and sizes of the same read.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// One entry as the platform listed it. `name` is not zero-terminated and stays
// valid until the next call on the listing.
struct ListedEntry {
    const wchar_t* name;
    size_t nameLength;
    DWORD attributes;
    uint64_t size;
    DWORD reparseTag;  // for an entry with the reparse-point attribute
};

class FolderListing {
public:
    FolderListing();
    ~FolderListing();
    FolderListing(const FolderListing&) = delete;
    FolderListing& operator=(const FolderListing&) = delete;

    // Opens a folder by its exact path (ItemPath); false when it cannot be listed.
    bool Open(const wchar_t* exactPath);
    // The next entry, "." and ".." included; false at the end or on a failed read.
    bool Next(ListedEntry* entry);
    void Close();

private:
    bool Fill();

    HANDLE folder_ = INVALID_HANDLE_VALUE;
    uint64_t* buffer_;  // 8-byte aligned, as the platform's records need
    size_t offset_ = 0;
    bool ready_ = false;  // records from offset_ on are still to be read
    bool more_ = true;    // the platform may have another batch
    bool fullInfo_ = false;  // the file system lacks the id records: plain full records
};
