#include "BenchSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

bool TreeComplete(const std::string& root) {
    // The maker writes the marker last: without it the tree is missing or
    // half made, and its figures would not compare with any other run's.
    if (GetFileAttributesA((root + "\\.complete").c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    fprintf(stderr,
            "scan_bench: %s is not complete (no .complete in it); the trees are made on the host by "
            "tools/make-bench-trees.py, which tools/bench.sh runs first\n",
            root.c_str());
    return false;
}

std::string BenchFolder(const std::string& name) {
    char folder[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("TOLV_BENCH_DIR", folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH - 1)
        GetTempPathA(MAX_PATH, folder);
    else
        strcat(folder, "\\");
    return std::string(folder) + name;
}

double Now() {
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The baseline: one thread, depth first, counting files and bytes.
void PlainWalk(char* path, size_t len, long long* files, double* bytes) {
    memcpy(path + len, "\\*", 3);
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(path, &entry);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (entry.cFileName[0] == '.') continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            size_t nameLen = strlen(entry.cFileName);
            if (len + 1 + nameLen + 3 > MAX_PATH) continue;
            path[len] = '\\';
            memcpy(path + len + 1, entry.cFileName, nameLen + 1);
            PlainWalk(path, len + 1 + nameLen, files, bytes);
        } else {
            ++*files;
            *bytes += entry.nFileSizeHigh * 4294967296.0 + entry.nFileSizeLow;
        }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
}

namespace {

// The same walk on several threads, each taking the next top-level folder: the
// most any split of this tree can gain over one thread on this platform.
struct ParallelWalk {
    std::vector<std::string> tops;
    LONG next = -1;
    LONG64 files = 0;
};

DWORD WINAPI ParallelWorker(LPVOID param) {
    auto* walk = static_cast<ParallelWalk*>(param);
    for (LONG i; (i = InterlockedIncrement(&walk->next)) < static_cast<LONG>(walk->tops.size());) {
        char path[MAX_PATH];
        snprintf(path, sizeof path, "%s", walk->tops[static_cast<size_t>(i)].c_str());
        long long files = 0;
        double bytes = 0;
        PlainWalk(path, strlen(path), &files, &bytes);
        InterlockedAdd64(&walk->files, files);
    }
    return 0;
}

}  // namespace

long long PlainWalkThreads(const std::string& root, int threads) {
    ParallelWalk walk;
    long long files = 0;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((root + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
        if (entry.cFileName[0] == '.') continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            walk.tops.push_back(root + "\\" + entry.cFileName);
        else
            ++files;
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    std::vector<HANDLE> handles;
    for (int i = 0; i < threads; ++i) handles.push_back(CreateThread(nullptr, 0, ParallelWorker, &walk, 0, nullptr));
    WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), TRUE, INFINITE);
    for (HANDLE handle : handles) CloseHandle(handle);
    return files + walk.files;
}

long long CountNodes(const FolderNode* node) {
    long long nodes = 1 + node->OwnFiles();
    for (int32_t i = 0; i < node->Folders(); ++i) nodes += CountNodes(node->Folder(i));
    return nodes;
}

// Committed private memory of this process, summed over its address space
// (the process counters' PrivateUsage is not filled in under Wine).
SIZE_T PrivateBytes() {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION info;
    for (char* at = nullptr; VirtualQuery(at, &info, sizeof info) == sizeof info;) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
        char* next = static_cast<char*>(info.BaseAddress) + info.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return total;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

