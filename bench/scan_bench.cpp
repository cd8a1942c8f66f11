// Scan benchmark: the model's full scan against a plain single-threaded
// FindFirstFileA walk of the same synthetic tree, side by side in one run, and
// the memory the tree takes per node.
//   scan_bench.exe [FOLDERS [FILES [ROUNDS]]]      (default 20000 200000 3)
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Document.h"

namespace {

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
    std::string done = root + "\\.complete";
    if (GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
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
    HANDLE marker = CreateFileA(done.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(marker);
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

}  // namespace

int main(int argc, char** argv) {
    int folders = argc > 1 ? atoi(argv[1]) : 20000;
    int files = argc > 2 ? atoi(argv[2]) : 200000;
    int rounds = argc > 3 ? atoi(argv[3]) : 3;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string root = std::string(temp) + "tolv-bench-" + std::to_string(folders) + "-" + std::to_string(files);
    if (!MakeTree(root, folders, files)) return 1;

    std::vector<double> walkTimes, scanTimes, parallelTimes;
    long long walkFiles = 0, scanFiles = 0, nodes = 0;
    double walkBytes = 0, scanBytes = 0, bytesPerNode = 0;
    for (int round = 0; round <= rounds; ++round) {  // round 0 warms the caches
        char path[MAX_PATH];
        snprintf(path, sizeof path, "%s", root.c_str());
        walkFiles = 0;
        walkBytes = 0;
        double start = Now();
        PlainWalk(path, strlen(path), &walkFiles, &walkBytes);
        double walk = Now() - start;

        start = Now();
        long long parallelFiles = PlainWalkThreads(root, 10);
        double parallel = Now() - start;
        if (parallelFiles != walkFiles) {
            fprintf(stderr, "mismatch: parallel walk %lld files, walk %lld\n", parallelFiles, walkFiles);
            return 1;
        }

        SIZE_T before = PrivateBytes();
        start = Now();
        {
            Document doc;
            doc.path.assign(root.begin(), root.end());  // ASCII
            doc.Load(nullptr);
            doc.StartWorkers();
            doc.WaitForScan(INFINITE);
            double scan = Now() - start;
            scanFiles = doc.root.Files();
            scanBytes = doc.root.Size();
            nodes = CountNodes(&doc.root) - 1;
            // Measured in the first round only: the heap keeps what the rounds
            // before freed, and later trees would fit in it unseen.
            if (round == 0) bytesPerNode = static_cast<double>(PrivateBytes() - before) / static_cast<double>(nodes);
            if (round > 0) {
                walkTimes.push_back(walk);
                scanTimes.push_back(scan);
                parallelTimes.push_back(parallel);
            }
        }
    }
    if (walkFiles != scanFiles || walkBytes != scanBytes) {
        fprintf(stderr, "mismatch: walk %lld files %.0f bytes, scan %lld files %.0f bytes\n", walkFiles, walkBytes,
                scanFiles, scanBytes);
        return 1;
    }
    // The scan ends with a fixed 500 ms pause before the refresher is let go;
    // shown apart so that the walking itself compares like for like.
    double walk = Median(walkTimes), scan = Median(scanTimes), scanWalking = scan - 0.5;
    double parallel = Median(parallelTimes);
    printf("tree: %lld nodes, %lld files, %s; medians of %d rounds\n", nodes, scanFiles, root.c_str(), rounds);
    printf("plain FindFirstFileA walk, 1 thread: %8.0f files/s  (%.3f s)\n", walkFiles / walk, walk);
    printf("plain walk, 10 threads:              %8.0f files/s  (%.3f s)   %.2fx the walk\n", walkFiles / parallel,
           parallel, walk / parallel);
    printf("model full scan:                     %8.0f files/s  (%.3f s)   %.2fx the walk\n", scanFiles / scan, scan,
           walk / scan);
    printf("model scan less the 500 ms end pause: %7.0f files/s  (%.3f s)   %.2fx the walk\n",
           scanFiles / scanWalking, scanWalking, walk / scanWalking);
    printf("memory: %.1f bytes per node (private bytes over nodes, %d-bit build)\n", bytesPerNode,
           static_cast<int>(sizeof(void*) * 8));
    return 0;
}
