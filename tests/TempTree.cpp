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
    wchar_t wide[MAX_PATH * 2];
    MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide, MAX_PATH * 2);
    char* unixPath = toUnix(wide);
    if (!unixPath) return {};
    std::string result = unixPath;
    HeapFree(GetProcessHeap(), 0, unixPath);
    return result;
}

// Runs a shell command of the host (under Wine) and waits until it has run.
// Wine hands the command to the host without a process to wait on, so the
// command leaves a marker file behind when it is done.
void RunHost(const std::string& command) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    static LONG counter;
    std::string marker = std::string(temp) + "tolv-host-" + std::to_string(GetCurrentProcessId()) + "-" +
                         std::to_string(InterlockedIncrement(&counter));
    std::string hostMarker = HostPath(marker);
    if (hostMarker.empty()) return;
    // One argument for sh -c, quoted by the Windows rules that Wine applies
    // when it splits the command line for the host.
    std::string script = command + "; : > \"" + hostMarker + "\"";
    std::string line = "Z:\\bin\\sh -c \"";
    for (char c : script) line += c == '"' ? std::string("\\\"") : std::string(1, c);
    line += "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
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

TempTree::~TempTree() { RemoveTree(root_); }

void TempTree::Dir(const std::string& relative) const {
    Check(CreateDirectoryA(Path(relative).c_str(), nullptr), "CreateDirectory " + relative);
}

void TempTree::File(const std::string& relative, uint64_t bytes) const {
    HANDLE file = CreateFileA(Path(relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
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

bool TempTree::HostFile(const std::string& name) const {
    std::string host = HostPath(root_);
    if (host.empty()) return false;
    RunHost(": > \"" + host + "/" + name + "\"");
    return true;
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
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            std::string child = path + "\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                if (!RemoveDirectoryA(child.c_str())) DeleteFileA(child.c_str());
            } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
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
