// Open and Delete on a row of the navigator. Both act on the row's own item
// or on nothing: the shell's calls take ordinary paths, which the platform
// normalises, so an action goes ahead only once the ordinary path is shown to
// name the very item that the exact path (and so the row) names.
#include "Actions.h"

#include <shellapi.h>

#include <cstring>
#include <string>

#include "Document.h"
#include "Name.h"

namespace {

constexpr size_t kPathBuffer = 1024;

// An item opened for its identity alone: no access to its data, shared with
// every other user, and a link itself rather than what it points at.
class ItemHandle {
public:
    explicit ItemHandle(const wchar_t* path)
        : handle_(CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                              nullptr)) {}
    ~ItemHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    ItemHandle(const ItemHandle&) = delete;
    ItemHandle& operator=(const ItemHandle&) = delete;

    bool Info(BY_HANDLE_FILE_INFORMATION* info) const {
        return handle_ != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle_, info);
    }
    // True for a junction or a symbolic link, whatever the listing said.
    bool IsLink() const {
        FILE_ATTRIBUTE_TAG_INFO tag{};
        if (!GetFileInformationByHandleEx(handle_, FileAttributeTagInfo, &tag, sizeof tag)) return true;
        ListedEntry entry{nullptr, 0, tag.FileAttributes, 0, tag.ReparseTag};
        return ::IsLink(entry);
    }
    // Where the platform says the item really is.
    bool FinalPath(std::wstring* out) const {
        if (handle_ == INVALID_HANDLE_VALUE) return false;
        DWORD need = GetFinalPathNameByHandleW(handle_, nullptr, 0, FILE_NAME_NORMALIZED);
        if (need == 0) return false;
        out->assign(need, L'\0');
        DWORD got = GetFinalPathNameByHandleW(handle_, &(*out)[0], need, FILE_NAME_NORMALIZED);
        if (got == 0 || got >= need) return false;
        out->resize(got);
        return true;
    }

private:
    HANDLE handle_;
};

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// True when the item at the exact path is the entry its folder lists under
// that name, not something reached through a link: under Wine a host's link
// to a file lists as the file itself, and the shell's Recycle Bin would take
// the link's target.
bool ReachedDirectly(const ItemPath& exact, const ItemHandle& item) {
    std::wstring folder(exact.Exact(), exact.LastNameAt());
    if (folder.size() > 1 && folder[folder.size() - 2] != L':') folder.pop_back();  // a drive's root keeps its "\"
    std::wstring name(exact.Exact() + exact.LastNameAt());
    ItemHandle parent(folder.c_str());
    std::wstring itemAt, folderAt;
    if (!item.FinalPath(&itemAt) || !parent.FinalPath(&folderAt)) return false;
    if (folderAt.empty() || folderAt.back() != L'\\') folderAt.push_back(L'\\');
    return itemAt == folderAt + name;
}

// The ordinary path of a node's item, when it provably names that item: it
// can be formed, it opens the same file as the exact path, and the file is of
// the node's kind. For a delete, the item must also be no link, nor reached
// through one: a delete never removes anything but the row's own item.
bool ProvenPath(const Document& doc, const FolderNode* node, bool forDelete, std::wstring* ordinary) {
    ItemPath exact;
    if (!doc.NodePath(node, &exact) || !exact.Ordinary(ordinary)) return false;
    if (forDelete && node->isLink) return false;
    ItemHandle byExact(exact.Exact()), byOrdinary(ordinary->c_str());
    BY_HANDLE_FILE_INFORMATION exactInfo, ordinaryInfo;
    if (!byExact.Info(&exactInfo) || !byOrdinary.Info(&ordinaryInfo) || !SameFile(exactInfo, ordinaryInfo))
        return false;
    bool folder = (exactInfo.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (folder != (node->isFolder != 0)) return false;
    if (!forDelete) return true;
    return !byExact.IsLink() && ReachedDirectly(exact, byExact);
}

// One action at a time per navigator: the note and the shell's operation
// dispatch messages, and a second action started from one of them would
// act on whatever was selected by then.
class ActionScope {
public:
    explicit ActionScope(bool& running) : running_(running), entered_(!running) { running_ = true; }
    ~ActionScope() {
        if (entered_) running_ = false;
    }
    bool Entered() const { return entered_; }

private:
    bool& running_;
    bool entered_;
};

}  // namespace

void Document::OpenSelected() {
    ActionScope scope(actionRunning_);
    if (!scope.Entered() || !selected) return;
    std::wstring path;
    if (!ProvenPath(*this, selected, false, &path)) return;
    ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void Document::DeleteSelected() {
    ActionScope scope(actionRunning_);
    // The row is the one selected when the action starts, whatever happens
    // to the selection while the note is up.
    FolderNode* target = selected;
    if (!scope.Entered() || !target) return;
    if (ShowDlgSetting(true)) {
        // Only a ticked box turns the note off; a note that could not be shown
        // changes nothing.
        if (ShowRecycleNote(owner ? owner->ViewInstance() : nullptr, owner ? owner->ViewWindow() : nullptr) == 1)
            ShowDlgSetting(false);
    }
    std::wstring path;
    if (!ProvenPath(*this, target, true, &path) || (path.size() + 2) * sizeof(wchar_t) > kPathBuffer) return;

    // The list of paths the shell takes ends with two zeros; the fresh page
    // supplies the second. It stays read-only while the shell works on it.
    auto* buffer = static_cast<wchar_t*>(VirtualAlloc(nullptr, kPathBuffer, MEM_COMMIT, PAGE_READWRITE));
    if (!buffer) return;
    memcpy(buffer, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
    DWORD former = 0;
    VirtualProtect(buffer, kPathBuffer, PAGE_READONLY, &former);
    SHFILEOPSTRUCTW operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = buffer;
    // Where the item cannot go to the Recycle Bin, the shell asks before it
    // destroys it instead of doing so without a word.
    operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_WANTNUKEWARNING;
    int result = SHFileOperationW(&operation);
    DWORD ignored;
    VirtualProtect(buffer, kPathBuffer, former, &ignored);
    VirtualFree(buffer, 0, MEM_RELEASE);
    if (result != 0 || operation.fAnyOperationsAborted) return;
    // The row goes only with its item.
    ItemPath exact;
    if (NodePath(target, &exact) && GetFileAttributesW(exact.Exact()) == INVALID_FILE_ATTRIBUTES) RemoveNode(target);
}
