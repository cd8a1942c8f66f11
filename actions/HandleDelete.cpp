#include "HandleDelete.h"

#include <winternl.h>

#include <new>
#include <vector>

#include "Name.h"

namespace {

// Not all of these are in the toolchain's headers, or only behind a version
// test that never holds.
constexpr FILE_INFO_BY_HANDLE_CLASS kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr DWORD kDispositionDelete = 0x1, kDispositionPosix = 0x2, kDispositionIgnoreReadOnly = 0x10;
constexpr NTSTATUS kInvalidParameter = static_cast<NTSTATUS>(0xC000000D);
constexpr NTSTATUS kAccessDenied = static_cast<NTSTATUS>(0xC0000022);
// What the report says of an entry that was not what its folder listed (a
// link that the listing showed as the item, or something put in its place).
constexpr DWORD kNotAsListed = ERROR_CANT_ACCESS_FILE;
// What it says of a link that Wine cannot remove without its target.
constexpr DWORD kLinkLeft = ERROR_CANT_RESOLVE_FILENAME;

using OpenCall = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, ULONG, ULONG);
using ErrorCall = ULONG(NTAPI*)(NTSTATUS);

struct Native {
    OpenCall open = nullptr;
    ErrorCall toError = nullptr;
    bool wine = false;
    Native() {
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        if (!ntdll) return;
        open = reinterpret_cast<OpenCall>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtOpenFile")));
        toError = reinterpret_cast<ErrorCall>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlNtStatusToDosError")));
        wine = GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }
};

const Native& Ntdll() {
    static const Native native;
    return native;
}

enum class Kind { file, folder, link };

// Opens the entry `name` of the folder that `parent` holds open: the entry
// itself, never what it may link to, and never through a path.
HANDLE OpenIn(HANDLE parent, const std::wstring& name, Kind kind, DWORD* error) {
    const Native& nt = Ntdll();
    if (!nt.open || !nt.toError) {
        *error = ERROR_INVALID_FUNCTION;
        return INVALID_HANDLE_VALUE;
    }
    // One name, or nothing: the platform would read more into the others.
    if (name.empty() || name.size() > 0x7FFF || name == L"." || name == L".." ||
        name.find_first_of(L"\\/:") != std::wstring::npos) {
        *error = kNotAsListed;
        return INVALID_HANDLE_VALUE;
    }
    UNICODE_STRING text;
    text.Buffer = const_cast<PWSTR>(name.c_str());
    text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    ACCESS_MASK access = DELETE | SYNCHRONIZE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES |
                         (kind == Kind::folder ? FILE_LIST_DIRECTORY : 0);
    ULONG options = FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT |
                    (kind == Kind::folder ? FILE_DIRECTORY_FILE : kind == Kind::file ? FILE_NON_DIRECTORY_FILE : 0);
    ULONG attributes = OBJ_DONT_REPARSE;
    HANDLE item = INVALID_HANDLE_VALUE;
    IO_STATUS_BLOCK io{};
    auto attempt = [&] {
        OBJECT_ATTRIBUTES object;
        InitializeObjectAttributes(&object, &text, attributes, parent, nullptr);
        return nt.open(&item, access, &object, &io, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, options);
    };
    NTSTATUS status = attempt();
    // Systems before the flag refuse it; the reparse-point option alone
    // still opens the entry itself.
    if (status == kInvalidParameter) {
        attributes = 0;
        status = attempt();
    }
    // The attributes are written only to clear a read-only one.
    if (status == kAccessDenied) {
        access &= ~FILE_WRITE_ATTRIBUTES;
        status = attempt();
    }
    if (status < 0) {
        *error = nt.toError(status);
        return INVALID_HANDLE_VALUE;
    }
    return item;
}

// Where an open item is on its volume, as the platform resolved it when
// the item was opened (a link followed shows here as its target). Not the
// full path of GetFinalPathNameByHandle: Wine cuts that one at 260 units.
bool PlaceOf(HANDLE item, std::vector<uint64_t>& buffer, std::wstring* out) {
    buffer.resize((sizeof(FILE_NAME_INFO) + ItemPath::kMaxUnits * sizeof(wchar_t)) / sizeof(uint64_t) + 1);
    auto* info = reinterpret_cast<FILE_NAME_INFO*>(buffer.data());
    if (!GetFileInformationByHandleEx(item, FileNameInfo, info, static_cast<DWORD>(buffer.size() * sizeof(uint64_t))))
        return false;
    out->assign(info->FileName, info->FileNameLength / sizeof(wchar_t));
    return true;
}

// True when the opened entry is the one listed, where it was listed: of the
// listed kind, with the listed id on the folder's volume, and at its
// folder's own place plus its name. Under Wine a host's link to a file lists
// as a plain file and opens as its target: only the place tells.
bool AsListed(HANDLE item, Kind kind, const ItemIdentity& listed, const std::wstring& folderAt,
              const std::wstring& name, std::vector<uint64_t>& buffer) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    ItemIdentity opened;
    std::wstring at;
    if (!GetFileInformationByHandleEx(item, FileAttributeTagInfo, &tag, sizeof tag) ||
        IsLink(tag.FileAttributes, tag.ReparseTag) != (kind == Kind::link) || !IdentityOf(item, &opened) ||
        opened.volume != listed.volume || (listed.file != 0 && opened.file != listed.file) ||
        !PlaceOf(item, buffer, &at))
        return false;
    if (kind == Kind::folder && !(tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    if (kind == Kind::file && (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    std::wstring expected = folderAt;
    if (expected.empty() || expected.back() != L'\\') expected.push_back(L'\\');
    return at == expected + name;
}

// Marks an open item for deletion: at once where the file system allows,
// ignoring a read-only attribute where it can, else the older way, clearing
// the attribute first (and restoring it when the delete fails all the same).
DWORD Dispose(HANDLE item) {
    FILE_DISPOSITION_INFO_EX modern{kDispositionDelete | kDispositionPosix | kDispositionIgnoreReadOnly};
    if (SetFileInformationByHandle(item, kDispositionInfoEx, &modern, sizeof modern)) return ERROR_SUCCESS;
    DWORD error = GetLastError();
    if (error != ERROR_INVALID_PARAMETER && error != ERROR_NOT_SUPPORTED && error != ERROR_INVALID_FUNCTION)
        return error;
    FILE_DISPOSITION_INFO plain{TRUE};
    if (SetFileInformationByHandle(item, FileDispositionInfo, &plain, sizeof plain)) return ERROR_SUCCESS;
    error = GetLastError();
    // The attribute belongs to the file, not to this name of it: a file with
    // other names (hard links, perhaps outside the item) keeps it, and stays.
    FILE_BASIC_INFO basic{};
    FILE_STANDARD_INFO standard{};
    if (error != ERROR_ACCESS_DENIED || !GetFileInformationByHandleEx(item, FileBasicInfo, &basic, sizeof basic) ||
        !(basic.FileAttributes & FILE_ATTRIBUTE_READONLY) ||
        !GetFileInformationByHandleEx(item, FileStandardInfo, &standard, sizeof standard) || standard.NumberOfLinks != 1)
        return error;
    DWORD former = basic.FileAttributes;
    basic.FileAttributes = (former & ~FILE_ATTRIBUTE_READONLY) ? (former & ~FILE_ATTRIBUTE_READONLY) : FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(item, FileBasicInfo, &basic, sizeof basic)) return error;
    if (SetFileInformationByHandle(item, FileDispositionInfo, &plain, sizeof plain)) return ERROR_SUCCESS;
    error = GetLastError();
    basic.FileAttributes = former;
    SetFileInformationByHandle(item, FileBasicInfo, &basic, sizeof basic);
    return error;
}

struct Entry {
    std::wstring name;
    ItemIdentity identity;
    Kind kind;
};

// A folder being emptied: its handle, its place, and its entries still to go.
struct Level {
    Level(HANDLE folder, std::wstring at, Entry self) : folder(folder), at(std::move(at)), self(std::move(self)) {}
    HANDLE folder;
    std::wstring at;
    Entry self;
    std::vector<Entry> entries;
    size_t next = 0;
    bool keep = false;       // something in it stays
    int listings = 0;
};

class Deleter {
public:
    Deleter(DeleteProgress* progress) : progress_(progress) {}
    DeleteReport Run(const ItemPath& exact, const ItemIdentity& identity, const ItemIdentity& parentIdentity,
                     bool folder);

private:
    // The entry of the innermost level stays, for `error` when it is its own.
    void Keep(const Entry& entry, DWORD error) {
        levels_.back().keep = true;
        report_.kept.push_back({entry.identity.file, EncodeName(entry.name)});
        if (error != ERROR_SUCCESS) Fail(error);
    }
    void Fail(DWORD error) {
        report_.failed++;
        if (report_.firstError == ERROR_SUCCESS) report_.firstError = error;
    }
    void Step() {
        report_.removed++;
        if (levels_.size() == 1) report_.itemGone = true;
        if (progress_ && !progress_->Step(report_.removed)) report_.cancelled = true;
    }
    // Removes one entry of the innermost level, or enters it.
    void Take(const Entry& entry);
    // Lists a level's folder (again); false when it cannot be listed.
    bool List(Level& level);
    // The innermost level has no entries left: it goes, or stays.
    void Leave();

    DeleteProgress* progress_;
    DeleteReport report_;
    std::vector<Level> levels_;
    std::vector<uint64_t> buffer_;  // for the places of items (PlaceOf)
    DWORD listError_ = ERROR_SUCCESS;
};

bool Deleter::List(Level& level) {
    FolderListing listing;
    if (!listing.Borrow(level.folder)) {
        listError_ = listing.Error() != ERROR_SUCCESS ? listing.Error() : ERROR_CANT_ACCESS_FILE;
        return false;
    }
    level.entries.clear();
    level.next = 0;
    if (level.listings++ == 0) report_.listed.push_back(level.self.identity.file);
    ListedEntry listed;
    while (listing.Next(&listed)) {
        std::wstring name(listed.name, listed.nameLength);
        if (name == L"." || name == L"..") continue;
        Kind kind = IsLink(listed.attributes, listed.reparseTag)          ? Kind::link
                    : (listed.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Kind::folder
                                                                          : Kind::file;
        level.entries.push_back({std::move(name), {level.self.identity.volume, listed.fileId}, kind});
    }
    return true;
}

void Deleter::Take(const Entry& entry) {
    // Under Wine every call on a host's link reaches its target.
    if (entry.kind == Kind::link && Ntdll().wine) return Keep(entry, kLinkLeft);
    DWORD error = ERROR_SUCCESS;
    HANDLE item = OpenIn(levels_.back().folder, entry.name, entry.kind, &error);
    if (item == INVALID_HANDLE_VALUE) {
        // Gone meanwhile: nothing to do, and nothing of it counts.
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
        return Keep(entry, error);
    }
    const std::wstring& at = levels_.back().at;
    if (!AsListed(item, entry.kind, entry.identity, at, entry.name, buffer_)) {
        // What stays under the name is whatever is there now.
        Entry there = entry;
        if (!IdentityOf(item, &there.identity)) there.identity.file = 0;
        CloseHandle(item);
        return Keep(there, kNotAsListed);
    }
    if (entry.kind == Kind::folder) {
        Level inner(item, at + (at.back() == L'\\' ? L"" : L"\\") + entry.name, entry);
        if (!List(inner)) {
            CloseHandle(item);
            return Keep(entry, listError_);
        }
        levels_.push_back(std::move(inner));
        return;
    }
    error = Dispose(item);
    CloseHandle(item);
    if (error != ERROR_SUCCESS) return Keep(entry, error);
    Step();
}

void Deleter::Leave() {
    Level& level = levels_.back();
    DWORD error = level.keep ? ERROR_SUCCESS : Dispose(level.folder);
    // Something was made in the folder meanwhile: it is the folder's own,
    // so it goes too, a few times over at most.
    if (error == ERROR_DIR_NOT_EMPTY && level.listings < 3 && List(level)) return;
    bool held = level.keep, gone = !held && error == ERROR_SUCCESS;
    CloseHandle(level.folder);
    Entry self = std::move(level.self);
    levels_.pop_back();
    if (gone)
        Step();
    else
        Keep(self, held ? ERROR_SUCCESS : error);
}

DeleteReport Deleter::Run(const ItemPath& exact, const ItemIdentity& identity, const ItemIdentity& parentIdentity,
                          bool folder) {
    HANDLE parent = CreateFileW(exact.Folder().c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (parent == INVALID_HANDLE_VALUE) {
        Fail(GetLastError());
        return report_;
    }
    // The item's parent, as the bottom level: it is never removed itself.
    // It must be the row's parent still, not a folder a link put in its
    // place: a file's id alone does not tell which of its names this is.
    ItemIdentity reached;
    if (!IdentityOf(parent, &reached) || reached.volume != parentIdentity.volume ||
        (parentIdentity.file != 0 && reached.file != parentIdentity.file)) {
        Fail(kNotAsListed);
        CloseHandle(parent);
        return report_;
    }
    try {
        Level base(parent, std::wstring(), {});
        if (!PlaceOf(parent, buffer_, &base.at)) {
            Fail(GetLastError());
            CloseHandle(parent);
            return report_;
        }
        levels_.push_back(std::move(base));
        Take({exact.Exact() + exact.LastNameAt(), identity, folder ? Kind::folder : Kind::file});
        while (levels_.size() > 1 && !report_.cancelled) {
            Level& level = levels_.back();
            if (level.next < level.entries.size()) {
                Entry entry = level.entries[level.next++];
                Take(entry);
            } else {
                Leave();
            }
        }
        // Stopped part way: the levels still open stay, with what they hold.
        while (levels_.size() > 1) {
            Level& level = levels_.back();
            for (size_t i = level.next; i < level.entries.size(); ++i)
                report_.kept.push_back({level.entries[i].identity.file, EncodeName(level.entries[i].name)});
            CloseHandle(level.folder);
            Entry self = std::move(level.self);
            levels_.pop_back();
            Keep(self, ERROR_SUCCESS);
        }
    } catch (const std::bad_alloc&) {
        // A folder too large to hold in a shell's full address space: the
        // delete stops there, and what it listed is no longer known.
        for (size_t i = 1; i < levels_.size(); ++i) CloseHandle(levels_[i].folder);
        levels_.clear();
        report_.listed.clear();
        report_.kept.clear();
        Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    CloseHandle(parent);
    return report_;
}

}  // namespace

DeleteReport DeleteByHandles(const ItemPath& exact, const ItemIdentity& identity, const ItemIdentity& parent,
                             bool folder, DeleteProgress* progress) {
    return Deleter(progress).Run(exact, identity, parent, folder);
}
