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
    uint64_t fileId;   // the file system's id of the item; 0 where it keeps none
};

// Which item a handle reaches: its volume and its file id there.
struct ItemIdentity {
    DWORD volume = 0;
    uint64_t file = 0;
};

// The identity of the item an open handle reaches; false when it cannot be read.
bool IdentityOf(HANDLE item, ItemIdentity* out);
// True for an item that is a link, by its attributes and reparse tag: every
// name surrogate (a junction, a symbolic or WSL link, any other tag that
// stands for another item), or what Wine lists for a host's symbolic link
// (the attribute with no tag). Every other reparse point (cloud files,
// deduplicated or projected items) is the real item.
bool IsLink(DWORD attributes, DWORD reparseTag);

class FolderListing {
public:
    FolderListing();
    ~FolderListing();
    FolderListing(const FolderListing&) = delete;
    FolderListing& operator=(const FolderListing&) = delete;

    // Opens a folder by its exact path (ItemPath); false when it cannot be
    // listed. Without `expected`, the chosen folder as the shell named it (a
    // link the user chose is followed). With it, a folder the scan found,
    // which is listed only while it is still that very folder and no link:
    // it may have been swapped for a link since, and two names that reach
    // the platform as the same text open the same folder.
    bool Open(const wchar_t* exactPath, const ItemIdentity* expected = nullptr);
    // Lists a folder through a handle the caller opened (for listing, and
    // synchronous) and keeps; Close leaves it open. False when it cannot be
    // listed.
    bool Borrow(HANDLE folder);
    // The folder that the last successful Open reached.
    const ItemIdentity& Opened() const { return opened_; }
    // Why the last Open failed, as a system error code; 0 after a success.
    DWORD Error() const { return error_; }
    // The next entry, "." and ".." included; false at the end or on a failed read.
    bool Next(ListedEntry* entry);
    void Close();

private:
    // Reads the first batch of the folder just opened.
    bool StartListing();
    bool Fill(bool restart = false);
    // Whether the folder just opened is the one the scan found.
    bool IsExpected(const ItemIdentity& expected);

    HANDLE folder_ = INVALID_HANDLE_VALUE;
    bool owned_ = true;  // the handle is the listing's own, closed with it
    uint64_t* buffer_;  // 8-byte aligned, as the platform's records need
    size_t offset_ = 0;
    bool ready_ = false;  // records from offset_ on are still to be read
    bool more_ = true;    // the platform may have another batch
    bool fullInfo_ = false;  // the file system lacks the id records: plain full records
    ItemIdentity opened_;
    DWORD error_ = ERROR_SUCCESS;
};
