#include "BenchSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

bool Done(const std::string& root) {
    return GetFileAttributesA((root + "\\.complete").c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MarkDone(const std::string& root) {
    HANDLE marker = CreateFileA((root + "\\.complete").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(marker);
}

bool MakeFile(const std::string& name, LONGLONG bytes) {
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "cannot create %s\n", name.c_str());
        return false;
    }
    LARGE_INTEGER size;
    size.QuadPart = bytes;
    if (bytes) {
        SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
        SetEndOfFile(file);
    }
    CloseHandle(file);
    return true;
}

}  // namespace

std::string BenchFolder(const std::string& name) {
    char folder[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("TOLV_BENCH_DIR", folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH - 1) {
        GetTempPathA(MAX_PATH, folder);
    } else {
        CreateDirectoryA(folder, nullptr);
        strcat(folder, "\\");
    }
    return std::string(folder) + name;
}

bool MakeWideRoot(const std::string& root, int folders) {
    if (Done(root)) return true;
    printf("making %d top-level folders under %s ...\n", folders, root.c_str());
    fflush(stdout);
    CreateDirectoryA(root.c_str(), nullptr);
    for (int i = 0; i < folders; ++i) {
        std::string folder = root + "\\folder" + std::to_string(i);
        CreateDirectoryA(folder.c_str(), nullptr);
        if (!MakeFile(folder + "\\file.dat", 1000 + i)) return false;
    }
    MarkDone(root);
    return true;
}

bool MakeFlatFolder(const std::string& root, int files) {
    if (Done(root)) return true;
    printf("making %d files in %s ...\n", files, root.c_str());
    fflush(stdout);
    CreateDirectoryA(root.c_str(), nullptr);
    char name[64];
    for (int i = 0; i < files; ++i) {
        snprintf(name, sizeof name, "\\entry%06d.dat", i);
        if (!MakeFile(root + name, 0)) return false;
    }
    MarkDone(root);
    return true;
}

double Now() {
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// A deterministic tree: 20 top-level folders, each with a two-level subtree of
// folders, the files spread evenly over all folders, sizes from a fixed LCG.
// Files are made sparse, so the tree costs directory entries, not disk space.
bool MakeTree(const std::string& root, int folders, int files) {
    if (Done(root)) return true;
    printf("making %d folders and %d files under %s ...\n", folders, files, root.c_str());
    fflush(stdout);
    CreateDirectoryA(root.c_str(), nullptr);
    const int top = 20;
    const int perTop = std::max(1, folders / top);
    const int groups = std::max(1, static_cast<int>(std::sqrt(perTop)));
    std::vector<std::string> all;
    for (int t = 0; t < top; ++t) {
        std::string topPath = root + "\\top" + std::to_string(t);
        CreateDirectoryA(topPath.c_str(), nullptr);
        all.push_back(topPath);
        for (int made = 1, g = 0; made < perTop; ++g) {
            std::string group = topPath + "\\group" + std::to_string(g);
            CreateDirectoryA(group.c_str(), nullptr);
            all.push_back(group);
            ++made;
            for (int f = 0; f < perTop / groups && made < perTop; ++f, ++made) {
                std::string leaf = group + "\\folder" + std::to_string(f);
                CreateDirectoryA(leaf.c_str(), nullptr);
                all.push_back(leaf);
            }
        }
    }
    uint32_t seed = 12345;
    for (int i = 0; i < files; ++i) {
        const std::string& folder = all[static_cast<size_t>(i) % all.size()];
        char name[MAX_PATH];
        snprintf(name, sizeof name, "%s\\file%06d.dat", folder.c_str(), i);
        HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            fprintf(stderr, "cannot create %s\n", name);
            return false;
        }
        seed = seed * 1664525u + 1013904223u;
        LARGE_INTEGER size;
        size.QuadPart = seed % 1000000;
        SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
        SetEndOfFile(file);
        CloseHandle(file);
    }
    MarkDone(root);
    return true;
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
    long long nodes = 1;
    for (int32_t i = 0; i < node->ChildCount(); ++i) nodes += CountNodes(node->Child(i));
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

