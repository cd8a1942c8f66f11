#include "TempTree.h"

#include <tlhelp32.h>

#include <cstdio>
#include <stdexcept>

namespace {

void Check(bool ok, const std::string& what) {
    if (!ok) throw std::runtime_error(what + " failed, error " + std::to_string(GetLastError()));
}

// Wine exports the mapping of its paths to the host's; on Windows there is none.
std::string HostPath(const std::string& windowsPath) {
    using ToUnix = char*(CDECL*)(LPCWSTR);
    auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return {};
    char* unixPath = toUnix(Wide(windowsPath).c_str());
    if (!unixPath) return {};
    std::string result = unixPath;
    HeapFree(GetProcessHeap(), 0, unixPath);
    return result;
}

// A name in the temporary folder that no other call gets, of this process or
// another: Wine hands a later process the same id, and a host command of an
// earlier one may still leave its marker under the name it was given.
std::string TempName(const char* kind) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    static LONG counter;
    static const LONGLONG started = [] {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return now.QuadPart;
    }();
    return std::string(temp) + "tolv-" + kind + "-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(started) + "-" + std::to_string(InterlockedIncrement(&counter));
}

// Runs a shell command of the host (under Wine) and waits until it has run.
// Wine hands the command to the host without a process to wait on, so the
// command leaves a marker file behind when it is done.
void RunHost(const std::string& command) {
    std::string marker = TempName("host");
    std::string hostMarker = HostPath(marker);
    if (hostMarker.empty()) return;
    // One argument for sh -c, quoted by the Windows rules that Wine applies
    // when it splits the command line for the host.
    std::string script = command + "; : > \"" + hostMarker + "\"";
    std::string line = "Z:\\bin\\sh -c \"";
    for (char c : script) line += c == '"' ? std::string("\\\"") : std::string(1, c);
    line += "\"";
    // Wide, so that names outside the code page reach the host as they are.
    std::wstring wideLine = Wide(line);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, &wideLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return;
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    for (int i = 0; i < 500 && GetFileAttributesA(marker.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(20);
    DeleteFileA(marker.c_str());
}

}  // namespace

TempTree::TempTree() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    static LONG counter;
    char name[MAX_PATH];
    snprintf(name, sizeof name, "%stolv-%lu-%ld-%lu", temp, GetCurrentProcessId(), InterlockedIncrement(&counter),
             GetTickCount());
    root_ = name;
    Check(CreateDirectoryA(root_.c_str(), nullptr), "CreateDirectory " + root_);
}

TempTree::TempTree(const std::string& root) : root_(root) {
    RemoveTree(root_);
    Check(CreateDirectoryA(root_.c_str(), nullptr), "CreateDirectory " + root_);
}

TempTree::~TempTree() {
    // Under Wine the platform's calls follow a host's link and remove its
    // target (a file link even lists as its target): a tree with links is
    // removed by the host, which never follows one.
    std::string host = madeLinks_ ? HostPath(root_) : std::string();
    if (!host.empty()) RunHost("rm -rf \"" + host + "\"");
    RemoveTree(root_);
}

void TempTree::Dir(const std::string& relative) const {
    Check(CreateDirectoryW(Exact(Path(relative)).c_str(), nullptr), "CreateDirectory " + relative);
}

void TempTree::File(const std::string& relative, uint64_t bytes) const {
    HANDLE file = CreateFileW(Exact(Path(relative)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    Check(file != INVALID_HANDLE_VALUE, "CreateFile " + relative);
    if (bytes > 0) {
        LARGE_INTEGER end;
        end.QuadPart = static_cast<LONGLONG>(bytes);
        bool ok = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
        CloseHandle(file);
        Check(ok, "SetEndOfFile " + relative);
    } else {
        CloseHandle(file);
    }
}

bool TempTree::Link(const std::string& relative, const std::string& target) const {
    std::string link = Path(relative);
    std::string hostLink = HostPath(link), hostTarget = HostPath(target);
    madeLinks_ = true;
    if (!hostLink.empty() && !hostTarget.empty()) {
        // Under Wine, a symbolic link on the host is what the platform reports
        // as a directory link; CreateSymbolicLink there succeeds without one.
        RunHost("ln -s \"" + hostTarget + "\" \"" + hostLink + "\"");
    } else {
        CreateSymbolicLinkA(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);
    }
    DWORD attributes = GetFileAttributesA(link.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool TempTree::HostFile(const std::string& name, uint64_t bytes, char fill) const {
    std::string host = HostPath(root_);
    if (host.empty()) return false;
    RunHost("head -c " + std::to_string(bytes) + " /dev/zero | tr '\\0' '" + std::string(1, fill) + "' > \"" +
            host + "/" + name + "\"");
    return true;
}

bool TempTree::Host(const std::string& script, bool makesLinks) const {
    std::string host = HostPath(root_);
    if (host.empty()) return false;
    madeLinks_ = madeLinks_ || makesLinks;
    RunHost("cd \"" + host + "\" && " + script);
    return true;
}

std::string TempTree::HostOutput(const std::string& script) const {
    std::string out = TempName("output");
    std::string hostOut = HostPath(out);
    if (hostOut.empty() || !Host("{ " + script + "; } > \"" + hostOut + "\"")) return "<no host>";
    std::string text = FileBytes(out);
    DeleteFileA(out.c_str());
    return text;
}

std::string TempTree::HostSnapshot() const {
    // "<digest> <path>" a file, the path as the host holds it (md5sum alone
    // would escape the names that hold a backslash).
    return HostOutput("find . -type f -exec sh -c 'for f; do printf \"%s %s\\\\n\" "
                      "\"$(md5sum < \"$f\" | cut -c1-32)\" \"$f\"; done' sh {} + | LC_ALL=C sort; "
                      "find . -type l -printf 'link %p -> %l\\n' | LC_ALL=C sort");
}

bool TempTree::Deny(const std::string& relative) const {
    std::string host = HostPath(Path(relative));
    if (host.empty()) return false;
    RunHost("chmod 000 \"" + host + "\"");
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((Path(relative) + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return true;
    FindClose(find);
    Allow(relative);
    return false;
}

void TempTree::Allow(const std::string& relative) const {
    std::string host = HostPath(Path(relative));
    if (!host.empty()) RunHost("chmod 755 \"" + host + "\"");
}

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((Exact(path) + L"\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            std::string child = path + "\\" + Utf8(name);
            std::wstring exact = Exact(child);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                if (!RemoveDirectoryW(exact.c_str())) DeleteFileW(exact.c_str());
            } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesW(exact.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(exact.c_str());
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryW(Exact(path).c_str());
}

std::wstring Wide(const std::string& utf8) {
    int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(units, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], units);
    return wide;
}

std::string Utf8(const std::wstring& wide) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0], bytes, nullptr, nullptr);
    return utf8;
}

std::wstring Exact(const std::string& path) { return L"\\\\?\\" + Wide(path); }

std::string FileBytes(const std::string& path) {
    HANDLE file = CreateFileW(Exact(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

int ThreadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    DWORD self = GetCurrentProcessId();
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == self) ++count;
    CloseHandle(snapshot);
    return count;
}
