#include "ItemPath.h"

#include <windows.h>

#include <cwctype>
#include <vector>

#include "Name.h"

namespace {

const wchar_t kLocal[] = L"\\\\?\\";
const wchar_t kShare[] = L"\\\\?\\UNC\\";

bool StartsWith(const std::wstring& text, const wchar_t* head) { return text.compare(0, wcslen(head), head) == 0; }

bool IsDriveRoot(const std::wstring& text, size_t at) {
    return text.size() >= at + 2 && iswalpha(text[at]) && text[at + 1] == L':';
}

// Device names that the platform's ordinary paths resolve in every folder,
// with or without an extension.
bool IsDeviceName(const wchar_t* name, size_t count) {
    size_t base = 0;
    while (base < count && name[base] != L'.') ++base;
    while (base > 0 && name[base - 1] == L' ') --base;
    std::wstring upper(name, base);
    for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
    static const wchar_t* const kPlain[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* device : kPlain)
        if (upper == device) return true;
    if (upper.size() == 4 && (upper.compare(0, 3, L"COM") == 0 || upper.compare(0, 3, L"LPT") == 0)) {
        wchar_t digit = upper[3];
        return (digit >= L'0' && digit <= L'9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    }
    return false;
}

}  // namespace

bool IsNormalisedName(const wchar_t* name, size_t count) {
    if (count == 0) return true;
    wchar_t last = name[count - 1];
    if (last == L'.' || last == L' ') return true;
    for (size_t i = 0; i < count; ++i) {
        wchar_t c = name[i];
        if (c < 0x20 || wcschr(L"<>:\"/\\|?*", c)) return true;
    }
    return IsDeviceName(name, count);
}

bool ItemPath::SetFolder(const wchar_t* folder) {
    std::wstring given = folder ? folder : L"";
    if (given.empty() || StartsWith(given, L"\\\\.\\")) return false;  // no device namespace
    if (!StartsWith(given, kLocal) && !StartsWith(given, L"\\\\")) {
        if (!IsDriveRoot(given, 0) || given.size() < 3 || given[2] != L'\\') {
            DWORD need = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
            if (need == 0 || need > kMaxUnits) return false;
            std::vector<wchar_t> full(need);
            if (GetFullPathNameW(given.c_str(), need, full.data(), nullptr) >= need) return false;
            given = full.data();
        }
    }
    std::wstring path;
    if (StartsWith(given, kLocal)) {
        path = given;
        prefix_ = StartsWith(given, kShare) ? wcslen(kShare) : wcslen(kLocal);
    } else if (StartsWith(given, L"\\\\")) {
        path = kShare + given.substr(2);
        prefix_ = wcslen(kShare);
    } else {
        path = kLocal + given;
        prefix_ = wcslen(kLocal);
    }
    // Where the names begin: after "X:\", or after "server\share\".
    if (prefix_ == wcslen(kShare)) {
        size_t server = path.find(L'\\', prefix_);
        if (server == std::wstring::npos || server == prefix_) return false;
        size_t share = path.find(L'\\', server + 1);
        root_ = share == std::wstring::npos ? path.size() : share;
        if (root_ == server + 1) return false;
    } else {
        if (!IsDriveRoot(path, prefix_)) return false;
        root_ = prefix_ + 2;
    }
    // No separator at the end, but for a drive's root, which needs its own.
    while (path.size() > root_ + 1 && path.back() == L'\\') path.pop_back();
    if (path.size() == root_) path.push_back(L'\\');
    if (path.size() > kMaxUnits) return false;
    path_ = path;
    return true;
}

bool ItemPath::Append(const char* name) {
    size_t before = path_.size();
    if (path_.back() != L'\\') path_.push_back(L'\\');
    size_t at = path_.size();
    AppendDecodedName(name, path_);
    // A listed name that holds a separator or a stream's colon (names on
    // other systems may) would name another item, or more than one name
    // deep: it is never made into a path.
    bool one = path_.size() > at && path_.find_first_of(L"\\/:", at) == std::wstring::npos;
    if (one && path_.size() <= kMaxUnits) return true;
    path_.resize(before);
    return false;
}

size_t ItemPath::LastNameAt() const {
    size_t cut = path_.rfind(L'\\');
    return cut == std::wstring::npos || cut < root_ ? path_.size() : cut + 1;
}

std::wstring ItemPath::Folder() const {
    size_t at = LastNameAt();
    if (at == path_.size()) return path_;
    std::wstring folder(path_, 0, at);
    if (folder.size() > 1 && folder[folder.size() - 2] != L':') folder.pop_back();
    return folder;
}

bool ItemPath::Ordinary(std::wstring* out) const {
    std::wstring plain = prefix_ == wcslen(kShare) ? L"\\\\" + path_.substr(prefix_) : path_.substr(prefix_);
    if (plain.size() >= MAX_PATH) return false;
    // Every name below the drive or the share must come through unchanged.
    size_t names = root_ - prefix_ + (prefix_ == wcslen(kShare) ? 2 : 0);
    for (size_t at = names; at < plain.size();) {
        if (plain[at] == L'\\') {
            ++at;
            continue;
        }
        size_t end = plain.find(L'\\', at);
        if (end == std::wstring::npos) end = plain.size();
        if (IsNormalisedName(plain.c_str() + at, end - at)) return false;
        at = end;
    }
    *out = plain;
    return true;
}
