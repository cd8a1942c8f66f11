// The scan over real folders: totals, limits, links, stopping and closing.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Document.h"
#include "Lookalikes.h"
#include "TempTree.h"

namespace {

// What the test put on disk: bytes and file count under each folder.
struct Expected {
    std::map<std::string, uint64_t> bytes;
    std::map<std::string, int> files;
};

void AddExpected(Expected& expected, const std::string& relativeFile, uint64_t size) {
    // Every folder above the file, the root ("") included.
    std::string folder = relativeFile;
    for (;;) {
        size_t cut = folder.rfind('\\');
        folder = cut == std::string::npos ? "" : folder.substr(0, cut);
        expected.bytes[folder] += size;
        expected.files[folder] += 1;
        if (folder.empty()) break;
    }
}

struct Views : DocumentViews {
    Document* doc = nullptr;
    std::atomic<int> lists{0}, summaries{0}, fulls{0}, fullsBeforeComplete{0};
    void RepaintList() override { ++lists; }
    void RepaintHeader(bool full) override {
        if (!full) {
            ++summaries;
            return;
        }
        ++fulls;
        if (!doc->root.Complete()) ++fullsBeforeComplete;
    }
};

void Open(Document& doc, const std::string& path, DocumentViews* views = nullptr) {
    doc.path = Wide(path);
    doc.Load(views);
}

void Scan(Document& doc, const std::string& path, DocumentViews* views = nullptr) {
    Open(doc, path, views);
    doc.StartWorkers();
    ASSERT_TRUE(doc.WaitForScan(60000));
}

Row Find(const FolderNode* node, const std::string& relative) {
    Row found(node);
    size_t start = 0;
    while (start < relative.size()) {
        size_t end = relative.find('\\', start);
        std::string part = relative.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!found.IsFolder()) return Row();
        Row next;
        ForEachChild(found.Folder(), [&](Row child) {
            if (!next && part == child.Name()) next = child;
        });
        if (!next) return Row();
        found = next;
        start = end == std::string::npos ? relative.size() : end + 1;
    }
    return found;
}

// Checks every folder's totals against what is on disk, and the order of each
// run of files; returns the number of rows, the root's included.
int CheckTotals(const FolderNode* node, const std::string& relative, const Expected& expected) {
    int rows = 1;
    auto bytes = expected.bytes.find(relative);
    auto files = expected.files.find(relative);
    EXPECT_EQ(node->Size(), bytes == expected.bytes.end() ? 0 : bytes->second) << "'" << relative << "'";
    EXPECT_EQ(node->Files(), files == expected.files.end() ? 0 : files->second) << "'" << relative << "'";
    EXPECT_TRUE(node->Complete()) << "'" << relative << "'";
    uint64_t previous = ~uint64_t{0};
    ForEachChild(node, [&](Row child) {
        EXPECT_NE(child.Name()[0], '.');
        EXPECT_EQ(child.Level(), node->Level() + 1);
        if (FolderNode* folder = child.Folder()) {
            rows += CheckTotals(folder, relative.empty() ? child.Name() : relative + "\\" + child.Name(), expected);
            return;
        }
        ++rows;
        uint64_t size = FileRecord::Size(child.Record());
        EXPECT_LE(size, previous) << child.Name();  // largest first
        previous = size;
    });
    return rows;
}

TEST(Scan, NamesAreTheDisksOwnAndTheirTotalsToo) {
    TempTree tree;
    std::vector<Lookalike> items;
    if (!MakeLookalikes(tree, "s", &items)) GTEST_SKIP() << "no host file system to make the names on";
    Document doc;
    Scan(doc, tree.Path("chosen"));
    ASSERT_EQ(doc.root.ChildCount(), static_cast<int32_t>(items.size()));
    // The sizes the rows of each name show, against what each item holds. A
    // folder that no path reaches cannot be listed; of twin folders only the
    // one the platform's lookup finds is walked, never one as the other.
    std::map<std::string, std::vector<uint64_t>> shown, held;
    uint64_t total = 0;
    ForEachChild(&doc.root, [&](Row row) {
        EXPECT_TRUE(row.Complete()) << row.Name();
        shown[row.Name()].push_back(row.Size());
        total += row.Size();
    });
    for (const Lookalike& item : items) {
        Row node = Find(&doc.root, item.name);
        ASSERT_TRUE(node) << item.host;
        EXPECT_EQ(node.IsFolder(), item.folder) << item.host;
        bool walked = !item.folder || item.reach == Lookalike::kReached;
        held[item.name].push_back(walked || item.reach == Lookalike::kTwin ? item.bytes : 0);
        // A folder below a 300-character path is walked too.
        if (item.folder && item.reach == Lookalike::kReached) {
            EXPECT_EQ(node.Files(), 1) << item.host;
        }
    }
    for (auto& [name, sizes] : held) {
        std::vector<uint64_t>& rows = shown[name];
        std::sort(rows.begin(), rows.end());
        std::sort(sizes.begin(), sizes.end());
        if (rows.size() == 2 && Find(&doc.root, name).IsFolder() && sizes[0] != 0) {  // twin folders
            EXPECT_EQ(rows[0], 0u) << name;
            EXPECT_TRUE(rows[1] == sizes[0] || rows[1] == sizes[1]) << name;
        } else {
            EXPECT_EQ(rows, sizes) << name;
        }
    }
    EXPECT_EQ(doc.root.Size(), total);
}

TEST(Scan, WithoutThreadsNothingIsWalkedOnTheCallersThread) {
    TempTree tree;
    tree.Dir("d");
    tree.File("d\\f", 10);
    tree.File("top.txt", 3);
    Document doc;
    doc.startThread = [](LPTHREAD_START_ROUTINE, LPVOID) -> HANDLE { return nullptr; };
    Open(doc, tree.Root());
    doc.StartWorkers();
    // Ended at once, as a scan without memory for its threads: the folder
    // unwalked and not shown as empty, the root totalled from its own files
    // and incomplete.
    ASSERT_TRUE(doc.ScanEnded());
    EXPECT_TRUE(doc.ShortOfMemory());
    EXPECT_FALSE(doc.root.Complete());
    const FolderNode* folder = Find(&doc.root, "d").Folder();
    ASSERT_NE(folder, nullptr);
    EXPECT_FALSE(folder->Complete());
    EXPECT_EQ(folder->ChildCount(), 0);
    EXPECT_EQ(doc.root.Size(), 3u);
    EXPECT_EQ(doc.root.Files(), 1);
    EXPECT_EQ(doc.PeakWorkers(), 0);
}

TEST(Scan, TotalsEqualWhatTheDiskHolds) {
    TempTree tree;
    Expected expected;
    auto file = [&](const std::string& name, uint64_t size) {
        tree.File(name, size);
        AddExpected(expected, name, size);
    };
    tree.Dir("docs");
    tree.Dir("docs\\2024");
    tree.Dir("docs\\2024\\q1");
    tree.Dir("docs\\empty");
    tree.Dir("media");
    tree.Dir(".cache");  // skipped at the top
    tree.File(".cache\\blob", 999999);
    file("docs\\readme.txt", 1200);
    file("docs\\2024\\report.pdf", 250000);
    file("docs\\2024\\q1\\a.csv", 17);
    file("docs\\2024\\q1\\b.csv", 0);
    tree.File("docs\\2024\\.DS_Store", 4096);  // skipped deeper down
    tree.Dir("docs\\2024\\.git");
    tree.File("docs\\2024\\.git\\pack", 50000);
    file("media\\film.mkv", (uint64_t{1} << 32) + 7);  // sparse
    file("media\\song.mp3", 4000000);
    file("top.bin", 333);
    file("small.txt", 2);

    Document doc;
    Views views;
    views.doc = &doc;
    Scan(doc, tree.Root(), &views);

    EXPECT_TRUE(doc.root.Complete());
    // root; docs, media, top.bin, small.txt; readme.txt, 2024, empty; report.pdf, q1;
    // a.csv, b.csv; film.mkv, song.mp3
    EXPECT_EQ(CheckTotals(&doc.root, "", expected), 1 + 4 + 3 + 2 + 2 + 2);
    // Sorted by size at the end of the scan; folders first whatever their size.
    ASSERT_EQ(doc.root.ChildCount(), 4);
    EXPECT_STREQ(doc.root.Child(0).Name(), "media");
    EXPECT_STREQ(doc.root.Child(1).Name(), "docs");
    EXPECT_STREQ(doc.root.Child(2).Name(), "top.bin");
    EXPECT_STREQ(doc.root.Child(3).Name(), "small.txt");
    // The files directly in the folder keep their own sizes after the totals.
    EXPECT_EQ(doc.root.Child(2).Size(), 333u);
    EXPECT_EQ(doc.root.Child(3).Size(), 2u);
    // Deeper folders keep the order of the listing until they are expanded.
    EXPECT_FALSE(Find(&doc.root, "docs").Folder()->Sorted());
    // One full header repaint, after the totals; the list with it.
    EXPECT_EQ(views.fulls.load(), 1);
    EXPECT_EQ(views.fullsBeforeComplete.load(), 0);
    EXPECT_GE(views.lists.load(), 2);  // Load's repaint and the final one
}

// Reads the top level as the list pane does, once every top folder is walked
// and before the scan ends: the refresher keeps it in order meanwhile.
struct OrderViews : DocumentViews {
    Document* doc = nullptr;
    std::atomic<int> checked{0}, unordered{0};
    void RepaintList() override {
        FolderNode& root = doc->root;
        if (root.Complete()) return;
        NodeLock hold(&root);
        for (int32_t i = 0; i < root.Folders(); ++i)
            if (!root.Folder(i)->Complete()) return;
        bool ordered = true;
        for (int32_t i = 1; i < root.ChildCount(); ++i)
            if (i != root.Folders() && root.Child(i - 1).Size() < root.Child(i).Size()) ordered = false;
        ++checked;
        if (!ordered) ++unordered;
    }
    void RepaintHeader(bool) override {}
};

TEST(Scan, TheTopLevelIsInOrderWhileTheScanRuns) {
    TempTree tree;
    // Sizes that no listing order follows, folders and files alike.
    const int sizes[] = {3, 9, 1, 7, 5, 8, 2, 6};
    for (int i = 0; i < 8; ++i) {
        std::string folder = "d" + std::to_string(i);
        tree.Dir(folder);
        tree.File(folder + "\\f", sizes[i] * 1000);
        tree.File("f" + std::to_string(i), sizes[(i + 3) % 8] * 10);
    }
    Document doc;
    OrderViews views;
    views.doc = &doc;
    Scan(doc, tree.Root(), &views);
    EXPECT_GT(views.checked.load(), 0);  // the scan's last pause leaves the refresher time
    EXPECT_EQ(views.unordered.load(), 0);
}

TEST(Scan, EmptyFolderEndsWithZeroTotals) {
    TempTree tree;
    Document doc;
    Views views;
    views.doc = &doc;
    Scan(doc, tree.Root(), &views);
    EXPECT_TRUE(doc.root.Complete());
    EXPECT_EQ(doc.root.Files(), 0);
    EXPECT_EQ(doc.root.Size(), 0u);
    EXPECT_EQ(views.fulls.load(), 1);
}

TEST(Scan, FolderThatCannotBeListedIsCompleteAndEmpty) {
    TempTree tree;
    Expected expected;
    tree.Dir("ok");
    tree.File("ok\\a", 100);
    AddExpected(expected, "ok\\a", 100);

    // A folder that vanished between the listing of the chosen folder and its walk.
    tree.Dir("gone");
    tree.File("gone\\x.bin", 5);
    Document doc;
    Open(doc, tree.Root());
    RemoveTree(tree.Path("gone"));
    doc.StartWorkers();
    ASSERT_TRUE(doc.WaitForScan(60000));
    const FolderNode* cut = Find(&doc.root, "gone").Folder();
    ASSERT_NE(cut, nullptr);
    EXPECT_TRUE(cut->Complete());
    EXPECT_EQ(cut->ChildCount(), 0);
    EXPECT_EQ(cut->Size(), 0u);
    EXPECT_EQ(cut->Files(), 0);
    CheckTotals(&doc.root, "", expected);  // the others' totals are unaffected by it

    // A folder without read permission, where the platform enforces it (not
    // for the superuser under Wine): complete with nothing in it.
    tree.Dir("ok\\locked");
    tree.File("ok\\locked\\secret", 10);
    if (tree.Deny("ok\\locked")) {
        Document again;
        Scan(again, tree.Root());
        const FolderNode* locked = Find(&again.root, "ok\\locked").Folder();
        ASSERT_NE(locked, nullptr);
        EXPECT_TRUE(locked->Complete());
        EXPECT_EQ(locked->Size(), 0u);
        EXPECT_EQ(locked->Files(), 0);
        CheckTotals(&again.root, "", expected);
        tree.Allow("ok\\locked");
    }
}

TEST(Scan, DirectoryLinksAreShownButNotWalked) {
    TempTree tree;
    Expected expected;
    tree.Dir("real");
    tree.Dir("real\\sub");
    tree.File("real\\sub\\data", 1000);
    AddExpected(expected, "real\\sub\\data", 1000);
    // A loop back to the tree's root from two levels down, and one at the top.
    if (!tree.Link("real\\sub\\loop", tree.Root()) || !tree.Link("again", tree.Path("real")))
        GTEST_SKIP() << "this platform made no directory link";

    Document doc;
    DWORD start = GetTickCount();
    Scan(doc, tree.Root());
    EXPECT_LT(GetTickCount() - start, 30000u);
    CheckTotals(&doc.root, "", expected);  // nothing counted twice
    for (const char* link : {"again", "real\\sub\\loop"}) {
        const FolderNode* node = Find(&doc.root, link).Folder();
        ASSERT_NE(node, nullptr) << link;
        EXPECT_TRUE(node->IsLink());
        EXPECT_TRUE(node->Complete());
        EXPECT_EQ(node->ChildCount(), 0);
    }
    EXPECT_EQ(doc.root.Files(), 1);
    EXPECT_EQ(doc.root.Size(), 1000u);
}

// Many top-level folders with enough in each to keep a worker busy a while.
class BigTree : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        tree_ = new TempTree;
        for (int f = 0; f < kFolders; ++f) {
            std::string folder = "top" + std::to_string(f);
            tree_->Dir(folder);
            for (int d = 0; d < 4; ++d) {
                std::string sub = folder + "\\sub" + std::to_string(d);
                tree_->Dir(sub);
                for (int i = 0; i < kFilesPerSub; ++i) {
                    uint64_t size = 1 + (f * 7919 + d * 104729 + i * 31) % 5000;
                    std::string name = sub + "\\file" + std::to_string(i) + ".dat";
                    tree_->File(name, size);
                    AddExpected(expected_, name, size);
                }
            }
        }
    }
    static void TearDownTestSuite() {
        delete tree_;
        tree_ = nullptr;
    }
    static constexpr int kFolders = 25;
    static constexpr int kFilesPerSub = 40;
    static TempTree* tree_;
    static Expected expected_;
};
TempTree* BigTree::tree_;
Expected BigTree::expected_;

TEST_F(BigTree, TwentyFiveFoldersNeverMoreThanTenWorkers) {
    Document doc;
    Scan(doc, tree_->Root());
    EXPECT_LE(doc.PeakWorkers(), 10);
    EXPECT_GE(doc.PeakWorkers(), 1);
    EXPECT_EQ(doc.root.Folders(), kFolders);
    EXPECT_EQ(CheckTotals(&doc.root, "", expected_), 1 + kFolders * (1 + 4 * (1 + kFilesPerSub)));
    EXPECT_EQ(doc.root.Files(), kFolders * 4 * kFilesPerSub);
}

bool CutFoldersAreMarked(const FolderNode* node) {
    // A folder whose walk was cut leaves every folder above it cut too.
    bool ok = true;
    for (int32_t i = 0; i < node->Folders(); ++i) {
        const FolderNode* child = node->Folder(i);
        if (!child->Complete() && node->parent && node->Complete()) ok = false;
        ok = CutFoldersAreMarked(child) && ok;
    }
    return ok;
}

TEST_F(BigTree, StopBeforeTheWalksLeavesEveryTopFolderIncomplete) {
    Document doc;
    Open(doc, tree_->Root());
    doc.RequestStop();
    doc.StartWorkers();
    ASSERT_TRUE(doc.WaitForScan(10000));
    EXPECT_TRUE(doc.root.Complete());
    EXPECT_EQ(doc.root.ChildCount(), kFolders);
    for (int32_t i = 0; i < doc.root.Folders(); ++i) {
        EXPECT_FALSE(doc.root.Folder(i)->Complete()) << doc.root.Folder(i)->Name();
        EXPECT_EQ(doc.root.Folder(i)->ChildCount(), 0);
    }
    EXPECT_EQ(doc.root.Files(), 0);
}

TEST_F(BigTree, StopDuringTheScanEndsItEarly) {
    Document full;
    Scan(full, tree_->Root());
    for (DWORD delay : {0, 5, 20, 60}) {
        Document doc;
        Open(doc, tree_->Root());
        doc.StartWorkers();
        Sleep(delay);
        doc.RequestStop();
        ASSERT_TRUE(doc.WaitForScan(10000)) << delay;
        EXPECT_TRUE(doc.root.Complete());
        EXPECT_LE(doc.root.Files(), full.root.Files());
        EXPECT_TRUE(CutFoldersAreMarked(&doc.root)) << delay;
    }
}

// A folder's totals are what the tree holds beneath it; a folder is complete
// only with every folder beneath it complete, and then its totals are the
// disk's. Returns the files the tree holds.
int CheckCounted(const FolderNode* node, const std::string& relative, const Expected& expected) {
    int files = 0;
    uint64_t bytes = 0;
    bool whole = true;
    ForEachChild(node, [&](Row child) {
        if (const FolderNode* folder = child.Folder()) {
            files += CheckCounted(folder, relative.empty() ? child.Name() : relative + "\\" + child.Name(), expected);
            whole = whole && folder->Complete();
        } else {
            ++files;
        }
        bytes += child.Size();
    });
    EXPECT_EQ(node->Files(), files) << "'" << relative << "'";
    EXPECT_EQ(node->Size(), bytes) << "'" << relative << "'";
    if (node->Complete()) {
        EXPECT_TRUE(whole) << "'" << relative << "'";
        EXPECT_EQ(node->Files(), expected.files.at(relative)) << "'" << relative << "'";
    }
    return files;
}

TEST_F(BigTree, RunningOutOfMemoryStopsTheScanAndSaysSo) {
    // The shortage strikes in the chosen folder's listing, between it and the
    // walks, and at several depths of them, on nodes and on the walk's own lists.
    for (long allocations : {0L, 10L, 29L, 33L, 200L, 2000L}) {
        SCOPED_TRACE(allocations);
        Document doc;
        doc.allocationsBeforeShortage = allocations;
        Scan(doc, tree_->Root());
        EXPECT_TRUE(doc.ScanEnded());
        EXPECT_TRUE(doc.ShortOfMemory());
        EXPECT_FALSE(doc.root.Complete());
        EXPECT_EQ(CheckCounted(&doc.root, "", expected_), doc.root.Files());
        EXPECT_LT(doc.root.Files(), expected_.files.at(""));
    }
    // And the next document, with memory again, counts everything.
    Document doc;
    Scan(doc, tree_->Root());
    EXPECT_FALSE(doc.ShortOfMemory());
    CheckTotals(&doc.root, "", expected_);
}

TEST_F(BigTree, StoppingOneDocumentLeavesAnotherScanning) {
    Document first, second;
    Open(first, tree_->Root());
    Open(second, tree_->Root());
    first.StartWorkers();
    second.StartWorkers();
    first.RequestStop();
    ASSERT_TRUE(first.WaitForScan(10000));
    ASSERT_TRUE(second.WaitForScan(60000));
    CheckTotals(&second.root, "", expected_);
    // And a removal in the second still corrects its ancestors after the first
    // has been torn down.
    first.tearingDown.store(true);
    second.selected = Find(&second.root, "top0\\sub0");
    ASSERT_TRUE(second.selected.IsFolder());
    uint64_t before = second.root.Size();
    uint64_t removed = second.selected.Size();
    second.RemoveSelected();
    EXPECT_EQ(second.root.Size(), before - removed);
    EXPECT_EQ(second.root.Files(), kFolders * 4 * kFilesPerSub - kFilesPerSub);
}

TEST_F(BigTree, ClosingDuringTheScanEndsEveryThread) {
    int before = ThreadCount();
    ASSERT_GT(before, 0);
    for (int round = 0; round < 20; ++round) {
        auto* doc = new Document;
        Open(*doc, tree_->Root());
        doc->StartWorkers();
        Sleep(static_cast<DWORD>(round * 7 % 40));
        delete doc;  // must wait for the scan, never free the tree under it
    }
    // Thread exits are reported a moment after the threads end.
    int after = ThreadCount();
    for (int i = 0; i < 50 && after > before; ++i) {
        Sleep(20);
        after = ThreadCount();
    }
    EXPECT_EQ(after, before);
}

// Reads the root's children the way a view does, while the refresher sorts them.
struct CheckingViews : DocumentViews {
    Document* doc = nullptr;
    std::atomic<int> duplicates{0}, reads{0};
    void RepaintList() override { Read(); }
    void RepaintHeader(bool) override {}
    void Read() {
        std::set<FolderNode*> seen;
        NodeLock hold(&doc->root);
        for (int32_t i = 0; i < doc->root.Folders(); ++i) {
            FolderNode* child = doc->root.Folder(i);
            if (!seen.insert(child).second) ++duplicates;
            volatile uint64_t size = child->Size();
            (void)size;
        }
        ++reads;
    }
};

DWORD WINAPI ReadLoop(LPVOID param) {
    auto* views = static_cast<CheckingViews*>(param);
    while (!views->doc->root.Complete()) views->Read();
    return 0;
}

TEST_F(BigTree, SortingWhileWorkersGrowKeepsEveryChildOnce) {
    for (int round = 0; round < 3; ++round) {
        Document doc;
        CheckingViews views;
        views.doc = &doc;
        Open(doc, tree_->Root(), &views);
        std::set<FolderNode*> loaded;
        for (int32_t i = 0; i < doc.root.Folders(); ++i) loaded.insert(doc.root.Folder(i));

        doc.StartWorkers();
        HANDLE reader = CreateThread(nullptr, 0, ReadLoop, &views, 0, nullptr);
        ASSERT_NE(reader, nullptr);
        // Extra sorts from this thread too, as a removal's re-sort would do.
        while (!doc.root.Complete()) {
            doc.root.SetSorted(false);
            SortChildren(&doc.root);
        }
        ASSERT_TRUE(doc.WaitForScan(60000));
        WaitForSingleObject(reader, INFINITE);
        CloseHandle(reader);

        EXPECT_EQ(views.duplicates.load(), 0);
        EXPECT_GT(views.reads.load(), 0);
        std::set<FolderNode*> present;
        for (int32_t i = 0; i < doc.root.Folders(); ++i) present.insert(doc.root.Folder(i));
        EXPECT_EQ(present, loaded);
        EXPECT_EQ(doc.root.ChildCount(), kFolders);
        for (int32_t i = 1; i < doc.root.Folders(); ++i)
            EXPECT_GE(doc.root.Folder(i - 1)->Size(), doc.root.Folder(i)->Size());
    }
}

}  // namespace
