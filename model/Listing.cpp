#include "Listing.h"

namespace {

constexpr size_t kBufferBytes = 64 * 1024;

ItemIdentity IdentityFrom(const BY_HANDLE_FILE_INFORMATION& info) {
    return {info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

}  // namespace

// The buffer comes from the system, not the heap: once the scan ends it goes
// back, instead of staying in the heap beside the tree.
FolderListing::FolderListing()
    : buffer_(static_cast<uint64_t*>(VirtualAlloc(nullptr, kBufferBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE))) {}

FolderListing::~FolderListing() {
    Close();
    if (buffer_) VirtualFree(buffer_, 0, MEM_RELEASE);
}

bool IdentityOf(HANDLE item, ItemIdentity* out) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(item, &info)) return false;
    *out = IdentityFrom(info);
    return true;
}

bool IsLink(DWORD attributes, DWORD reparseTag) {
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    // Wine lists a host's symbolic link with no tag; IsReparseTagNameSurrogate.
    return reparseTag == 0 || (reparseTag & 0x20000000u) != 0;
}

bool FolderListing::Open(const wchar_t* exactPath, const ItemIdentity* expected) {
    Close();
    error_ = ERROR_NOT_ENOUGH_MEMORY;
    if (!buffer_) return false;
    // A found folder itself, never what it may point at now.
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (expected ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    owned_ = true;
    folder_ = CreateFileW(exactPath, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, flags, nullptr);
    if (folder_ == INVALID_HANDLE_VALUE) {
        error_ = GetLastError();
        return false;
    }
    if (!StartListing()) {
        Close();
        return false;
    }
    if (!(expected ? IsExpected(*expected) : IdentityOf(folder_, &opened_))) {
        // Not the folder that was found: as one that is gone.
        DWORD why = expected ? ERROR_PATH_NOT_FOUND : GetLastError();
        error_ = why ? why : ERROR_PATH_NOT_FOUND;
        Close();
        return false;
    }
    error_ = ERROR_SUCCESS;
    return true;
}

bool FolderListing::Borrow(HANDLE folder) {
    Close();
    error_ = ERROR_NOT_ENOUGH_MEMORY;
    if (!buffer_) return false;
    error_ = ERROR_SUCCESS;
    folder_ = folder;
    owned_ = false;
    if (!StartListing()) {
        Close();
        return false;
    }
    return true;
}

bool FolderListing::StartListing() {
    fullInfo_ = false;
    bool listed = Fill(true);
    DWORD error = listed ? ERROR_SUCCESS : GetLastError();
    // Some file systems keep no file ids: the plain records list the same.
    if (!listed && (error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED)) {
        fullInfo_ = true;
        listed = Fill(true);
        error = listed ? ERROR_SUCCESS : GetLastError();
    }
    if (!listed && error == ERROR_NO_MORE_FILES) more_ = false;  // listed, and empty
    if (!listed && more_) error_ = error;
    return listed || !more_;
}

// The folder's own entry, ".", comes first and carries its id, so the
// common case needs no call of its own; otherwise the handle tells. Where
// the file system keeps no ids, only that it is no link can be checked:
// such a folder's totals may be a twin's, but no action acts on it.
bool FolderListing::IsExpected(const ItemIdentity& expected) {
    if (ready_ && !fullInfo_) {
        auto* own = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer_);
        if (own->FileNameLength == sizeof(wchar_t) && own->FileName[0] == L'.') {
            opened_ = {expected.volume, static_cast<uint64_t>(own->FileId.QuadPart)};
            return expected.file == 0 || opened_.file == expected.file;
        }
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(folder_, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    opened_ = IdentityFrom(info);
    return opened_.volume == expected.volume && (expected.file == 0 || opened_.file == expected.file);
}

// From the first entry again where asked: a borrowed handle may have been
// listed before.
bool FolderListing::Fill(bool restart) {
    offset_ = 0;
    FILE_INFO_BY_HANDLE_CLASS kind = fullInfo_ ? (restart ? FileFullDirectoryRestartInfo : FileFullDirectoryInfo)
                                               : (restart ? FileIdBothDirectoryRestartInfo : FileIdBothDirectoryInfo);
    ready_ = GetFileInformationByHandleEx(folder_, kind, buffer_, kBufferBytes) != 0;
    return ready_;
}

bool FolderListing::Next(ListedEntry* entry) {
    if (folder_ == INVALID_HANDLE_VALUE) return false;
    // The records of a batch are chained; after its last, the next batch.
    if (!ready_ && (!more_ || !Fill())) {
        more_ = false;
        return false;
    }
    auto* at = reinterpret_cast<BYTE*>(buffer_) + offset_;
    DWORD next;
    if (fullInfo_) {
        auto* record = reinterpret_cast<FILE_FULL_DIR_INFO*>(at);
        *entry = {record->FileName, record->FileNameLength / sizeof(wchar_t), record->FileAttributes,
                  static_cast<uint64_t>(record->EndOfFile.QuadPart), record->EaSize, 0};
        next = record->NextEntryOffset;
    } else {
        auto* record = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(at);
        *entry = {record->FileName, record->FileNameLength / sizeof(wchar_t), record->FileAttributes,
                  static_cast<uint64_t>(record->EndOfFile.QuadPart), record->EaSize,
                  static_cast<uint64_t>(record->FileId.QuadPart)};
        next = record->NextEntryOffset;
    }
    offset_ += next;
    if (!next) ready_ = false;
    return true;
}

void FolderListing::Close() {
    if (folder_ != INVALID_HANDLE_VALUE && owned_) CloseHandle(folder_);
    folder_ = INVALID_HANDLE_VALUE;
    ready_ = false;
    more_ = true;
}
