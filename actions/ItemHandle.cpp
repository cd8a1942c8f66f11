#include "ItemHandle.h"

#include "FolderNode.h"

ItemHandle::ItemHandle(const wchar_t* path)
    : handle_(CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)) {
    if (handle_ == INVALID_HANDLE_VALUE) error_ = GetLastError();
}

ItemHandle::~ItemHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

bool ItemHandle::Identity(ItemIdentity* out) const {
    return handle_ != INVALID_HANDLE_VALUE && IdentityOf(handle_, out);
}

bool ItemHandle::Times(ItemTimes* out) const {
    BY_HANDLE_FILE_INFORMATION info;
    if (handle_ == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle_, &info)) return false;
    *out = {info.ftCreationTime, info.ftLastWriteTime};
    return true;
}

bool ItemHandle::Tag(FILE_ATTRIBUTE_TAG_INFO* tag) const {
    return handle_ != INVALID_HANDLE_VALUE &&
           GetFileInformationByHandleEx(handle_, FileAttributeTagInfo, tag, sizeof *tag);
}

bool ItemHandle::IsFolder() const {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    return Tag(&tag) && (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ItemHandle::IsLink() const {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    return !Tag(&tag) || ::IsLink(tag.FileAttributes, tag.ReparseTag);
}

bool ItemHandle::FinalPath(std::wstring* out) const {
    if (handle_ == INVALID_HANDLE_VALUE) return false;
    DWORD need = GetFinalPathNameByHandleW(handle_, nullptr, 0, FILE_NAME_NORMALIZED);
    if (need == 0) return false;
    out->assign(need, L'\0');
    DWORD got = GetFinalPathNameByHandleW(handle_, &(*out)[0], need, FILE_NAME_NORMALIZED);
    if (got == 0 || got >= need) return false;
    out->resize(got);
    return true;
}
