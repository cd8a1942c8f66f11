// Scan benchmark, every figure side by side with its baseline in one run:
// the model's full scan of a synthetic tree against plain walks of the same
// tree, the memory per node and the release of the tree; a root of many
// top-level folders; the refresher's cycle on a large top level; the listing
// of a large folder; memory and release at ten million nodes.
//   scan_bench.exe [FOLDERS [FILES [ROUNDS [NODES]]]]   (default 20000 200000 3 10000000)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "Document.h"
#include "RootOrder.h"
#include "ScaleTree.h"

namespace {

struct ScanResult {
    double seconds;  // to the end of the scan
    double release;  // to free the tree after it
    long long files, nodes;
    double bytes, bytesPerNode;
};

ScanResult ScanOnce(const std::string& root, bool measureMemory) {
    ScanResult result{};
    SIZE_T before = PrivateBytes();
    double start = Now();
    auto* doc = new Document;
    doc->path.assign(root.begin(), root.end());  // ASCII
    doc->Load(nullptr);
    doc->StartWorkers();
    doc->WaitForScan(INFINITE);
    result.seconds = Now() - start;
    result.files = doc->root.Files();
    result.bytes = doc->root.Size();
    result.nodes = CountNodes(&doc->root) - 1;
    if (measureMemory) result.bytesPerNode = static_cast<double>(PrivateBytes() - before) / result.nodes;
    start = Now();
    delete doc;
    result.release = Now() - start;
    return result;
}

// The walk against the scan; the scan ends with a fixed 500 ms pause before
// the refresher is let go, left out so that the walking compares like for like.
bool CompareScan(const std::string& root, int rounds, const char* title) {
    std::vector<double> walks, parallels, scans, releases;
    ScanResult scan{};
    long long walkFiles = 0;
    double walkBytes = 0, bytesPerNode = 0;
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
        // Memory in the first round only: the heap keeps what earlier rounds
        // freed, and later trees would fit in it unseen.
        scan = ScanOnce(root, round == 0);
        if (round == 0) bytesPerNode = scan.bytesPerNode;
        if (parallelFiles != walkFiles || scan.files != walkFiles || scan.bytes != walkBytes) {
            fprintf(stderr, "mismatch: walk %lld files %.0f bytes, parallel %lld, scan %lld files %.0f bytes\n",
                    walkFiles, walkBytes, parallelFiles, scan.files, scan.bytes);
            return false;
        }
        if (round == 0) continue;
        walks.push_back(walk);
        parallels.push_back(parallel);
        scans.push_back(scan.seconds);
        releases.push_back(scan.release);
    }
    double walk = Median(walks), parallel = Median(parallels), full = Median(scans), less = full - 0.5;
    double release = Median(releases);
    printf("%s: %lld nodes, %lld files; medians of %d rounds\n", title, scan.nodes, walkFiles, rounds);
    printf("  plain FindFirstFileA walk, 1 thread:  %8.0f files/s  (%.3f s)\n", walkFiles / walk, walk);
    printf("  plain walk, 10 threads:               %8.0f files/s  (%.3f s)   %.2fx the walk\n",
           walkFiles / parallel, parallel, walk / parallel);
    printf("  model full scan:                      %8.0f files/s  (%.3f s)   %.2fx the walk\n", walkFiles / full,
           full, walk / full);
    printf("  model scan less the 500 ms end pause: %8.0f files/s  (%.3f s)   %.2fx the walk\n", walkFiles / less,
           less, walk / less);
    printf("  release of the tree: %.3f s, %.1f %% of the scan, %.2f us per node\n", release,
           100 * release / full, 1e6 * release / scan.nodes);
    if (bytesPerNode > 0)
        printf("  memory: %.1f bytes per node (private bytes over nodes, %d-bit build)\n", bytesPerNode,
               static_cast<int>(sizeof(void*) * 8));
    return true;
}

// A top level of `count` folders with sizes spread out, built in memory as
// one listing of the root.
void FillTopLevel(Document& doc, int count) {
    ChildBatch batch;
    for (int i = 0; i < count; ++i) {
        std::wstring name = L"folder" + std::to_wstring(i);
        batch.Add({name.c_str(), name.size(), FILE_ATTRIBUTE_DIRECTORY, 0, 0, 0});
    }
    NodeArena arena(doc.regions);
    if (!Adopt(&doc.root, batch, arena, nullptr)) fprintf(stderr, "no memory for the top level\n");
    uint32_t seed = 777;
    for (int32_t i = 0; i < doc.root.Folders(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        doc.root.Folder(i)->size.store(seed % 100000000);
    }
}

// The refresher's cycle on a top level of 100,000 folders while ten of them
// grow, as during a scan: the order kept between cycles against a whole sort.
void CompareRefresher(int count, int cycles) {
    Document kept, sorted;
    FillTopLevel(kept, count);
    FillTopLevel(sorted, count);
    RootOrder order;
    order.Sort(&kept.root);
    SortChildren(&sorted.root);
    double keptTime = 0, sortTime = 0;
    uint32_t seed = 4242;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        for (int grow = 0; grow < 10; ++grow) {
            seed = seed * 1664525u + 1013904223u;
            int pick = static_cast<int>(seed % static_cast<uint32_t>(count));
            for (Document* doc : {&kept, &sorted}) {
                FolderNode* node = doc->root.Folder(pick);
                node->size.store(node->Size() + 5000000);
            }
        }
        double start = Now();
        order.Sort(&kept.root);
        keptTime += Now() - start;
        start = Now();
        sorted.root.SetSorted(false);
        SortChildren(&sorted.root);
        sortTime += Now() - start;
    }
    for (int32_t i = 1; i < count; ++i)
        if (kept.root.Folder(i - 1)->Size() < kept.root.Folder(i)->Size()) fprintf(stderr, "refresher order wrong\n");
    double keptMs = 1000 * keptTime / cycles, sortMs = 1000 * sortTime / cycles;
    printf("refresher cycle at %d top-level folders, ten growing: %.3f ms (%.2f %% of its 100 ms period); "
           "a whole sort: %.3f ms (%.2f %%), %.1fx\n",
           count, keptMs, keptMs, sortMs, sortMs, sortMs / keptMs);  // ms of 100 ms: per cent
}

// Load of one large folder against a listing of the same entries through the
// find calls with the rows linked the same way, in one batch (the former Load).
void CompareLoad(const std::string& folder, int rounds) {
    std::vector<double> loads, former;
    int32_t count = 0;
    for (int round = 0; round <= rounds; ++round) {
        double start = Now();
        {
            Document doc;
            doc.path.assign(folder.begin(), folder.end());
            doc.Load(nullptr);
            count = doc.root.ChildCount();
        }
        double load = Now() - start;
        start = Now();
        {
            Document doc;
            NodeArena arena(doc.regions);
            ChildBatch batch;
            WIN32_FIND_DATAA found;
            HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
            if (find != INVALID_HANDLE_VALUE) {
                wchar_t name[MAX_PATH];
                do {
                    if (found.cFileName[0] == '.') continue;
                    int units = MultiByteToWideChar(CP_ACP, 0, found.cFileName, -1, name, MAX_PATH) - 1;
                    ListedEntry entry{name, static_cast<size_t>(units), found.dwFileAttributes,
                                      found.nFileSizeLow + (static_cast<uint64_t>(found.nFileSizeHigh) << 32), 0, 0};
                    batch.Add(entry);
                } while (FindNextFileA(find, &found));
                FindClose(find);
            }
            Adopt(&doc.root, batch, arena, nullptr);
        }
        double byFind = Now() - start;
        if (round == 0) continue;
        loads.push_back(load);
        former.push_back(byFind);
    }
    double load = Median(loads), byFind = Median(former);
    printf("Load of a folder of %d entries: %.3f s; by the find calls: %.3f s; %.2fx\n", count, load, byFind,
           byFind / load);
}

// `count` nodes (ten million unless told) built in memory as a scan builds
// them: the memory per node at the size of a large disk, which must fit a
// 32-bit shell's address space, and the release of such a tree, as the
// keep-alive thread frees it after a close. Last, so that no tree freed
// after it fits unseen in the heap it leaves.
void ScaleLine(long long count) {
    SIZE_T before = PrivateBytes();
    double start = Now();
    auto* doc = new Document;
    ScaleTree tree = BuildScaleTree(*doc, count);
    double build = Now() - start;
    double bytes = static_cast<double>(PrivateBytes() - before);
    if (tree.outOfMemory)
        printf("scale: out of memory after %lld of %lld nodes (%.0f MB private)\n", tree.nodes, count, bytes / 1048576);
    printf("scale: %lld nodes built in memory as a scan links them, names of %.1f bytes on average: %.1f s\n",
           tree.nodes, tree.nameBytes / static_cast<double>(tree.nodes), build);
    printf("  memory: %.1f bytes per node (private bytes over nodes, %d-bit build)\n",
           bytes / static_cast<double>(tree.nodes), static_cast<int>(sizeof(void*) * 8));
    fflush(stdout);
    start = Now();
    delete doc;
    double release = Now() - start;
    printf("  release of the tree: %.3f s, %.3f us per node\n", release,
           1e6 * release / static_cast<double>(tree.nodes));
    // Now, not at the program's end: the 32-bit build under the emulator has
    // been seen to end with its last line unwritten.
    fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    int folders = argc > 1 ? atoi(argv[1]) : 20000;
    int files = argc > 2 ? atoi(argv[2]) : 200000;
    int rounds = argc > 3 ? atoi(argv[3]) : 3;
    long long nodes = argc > 4 ? atoll(argv[4]) : 10000000;
    std::string tree = BenchFolder("tolv-bench-" + std::to_string(folders) + "-" + std::to_string(files));
    std::string wide = BenchFolder("tolv-bench-wide-10000");
    std::string flat = BenchFolder("tolv-bench-flat-100000");
    if (!TreeComplete(tree) || !TreeComplete(wide) || !TreeComplete(flat)) return 1;
    if (!CompareScan(tree, rounds, "tree")) return 1;
    if (!CompareScan(wide, rounds, "a root of 10,000 top-level folders")) return 1;
    CompareRefresher(100000, 50);
    CompareLoad(flat, rounds);
    ScaleLine(nodes);
    return 0;
}
