// The folder tree: loading, ordering, selection, removal and paths.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "Document.h"
#include "RootOrder.h"
#include "TempTree.h"

// Failures name the row.
static void PrintTo(const Row& row, std::ostream* out) { *out << (row ? row.Name() : "(no row)"); }

namespace {

// One entry of a hand-made listing.
struct Entry {
    const char* name;
    bool folder;
    uint64_t bytes = 0;
    bool link = false;
};

// Builds a tree by hand as a finished walk leaves it: each call is one
// listing of a folder, whose files' bytes and count reach every folder above
// them, and whose folders come complete. Returns the folders it made, in order.
class Builder {
public:
    explicit Builder(Document& doc) : arena_(doc.regions) {}

    std::vector<FolderNode*> List(FolderNode* folder, std::initializer_list<Entry> entries) {
        ChildBatch batch;
        uint64_t bytes = 0;
        int32_t files = 0;
        for (const Entry& entry : entries) {
            std::wstring name = Wide(entry.name);
            DWORD attributes = entry.folder ? DWORD{FILE_ATTRIBUTE_DIRECTORY} : DWORD{FILE_ATTRIBUTE_ARCHIVE};
            if (entry.link) attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
            EXPECT_TRUE(batch.Add({name.c_str(), name.size(), attributes, entry.bytes,
                                   entry.link ? DWORD{IO_REPARSE_TAG_SYMLINK} : DWORD{0}, 0}));
            if (!entry.folder) {
                bytes += entry.bytes;
                ++files;
            }
        }
        std::vector<FolderNode*> made;
        EXPECT_TRUE(Adopt(folder, batch, arena_, &made));
        for (FolderNode* up = folder; up; up = up->parent) {
            up->size.store(up->Size() + bytes);
            if (up != folder) up->fileCount.store(up->Files() + files);  // Adopt counts the folder's own
        }
        for (FolderNode* node : made) node->SetComplete();
        return made;
    }

private:
    NodeArena arena_;
};

std::vector<std::string> Names(const FolderNode* node) {
    std::vector<std::string> names;
    ForEachChild(node, [&](Row child) { names.push_back(child.Name()); });
    return names;
}

struct CountingViews : DocumentViews {
    int lists = 0, headers = 0, fullHeaders = 0, moves = 0;
    void RepaintList() override { ++lists; }
    void SelectionMoved() override { ++moves; }
    void RepaintHeader(bool full) override { ++(full ? fullHeaders : headers); }
};

TEST(Load, ListsOwnEntriesFoldersFirstWithoutDotNames) {
    TempTree tree;
    tree.File("a.txt", 300);
    tree.Dir("beta");
    tree.File("beta\\inner.bin", 5000);
    tree.File(".hidden", 10);
    tree.Dir(".git");
    tree.File("c.log", 7);
    tree.Dir("alpha");

    Document doc;
    doc.path = Wide(tree.Root());
    CountingViews views;
    doc.Load(&views);

    EXPECT_STREQ(doc.root.Name(), "");
    ASSERT_EQ(doc.root.ChildCount(), 4);
    EXPECT_EQ(doc.root.Folders(), 2);
    for (int i = 0; i < 4; ++i) {
        Row child = doc.root.Child(i);
        EXPECT_EQ(child.IsFolder(), i < 2) << child.Name();
        EXPECT_NE(child.Name()[0], '.');
        EXPECT_EQ(child.Level(), 1);
        EXPECT_EQ(child.Parent(), &doc.root);
        if (child.IsFolder()) {
            EXPECT_EQ(child.Size(), 0u);  // sized by the scan, not by Load
        }
    }
    // The files largest first, whatever the listing's order.
    EXPECT_STREQ(doc.root.Child(2).Name(), "a.txt");
    EXPECT_STREQ(doc.root.Child(3).Name(), "c.log");
    EXPECT_EQ(doc.root.Files(), 2);  // only the files directly in the folder
    EXPECT_EQ(doc.root.Size(), 0u);
    EXPECT_FALSE(doc.root.Complete());
    EXPECT_EQ(views.lists, 1);
    EXPECT_EQ(views.headers + views.fullHeaders, 0);
}

TEST(Load, EmptyOrMissingFolderGivesNoRowsAndNoRepaint) {
    TempTree tree;
    for (std::string path : {tree.Root(), tree.Root() + "\\does-not-exist"}) {
        Document doc;
        doc.path = Wide(path);
        CountingViews views;
        doc.Load(&views);
        EXPECT_EQ(doc.root.ChildCount(), 0) << path;
        EXPECT_EQ(views.lists, 0) << path;
    }
}

TEST(Load, FileOfFourGigabytesAndMoreKeepsItsFullSize) {
    TempTree tree;
    const uint64_t big = (uint64_t{1} << 32) + 12345;  // sparse on disk
    tree.File("huge.img", big);
    Document doc;
    doc.path = Wide(tree.Root());
    doc.Load(nullptr);
    ASSERT_EQ(doc.root.ChildCount(), 1);
    EXPECT_EQ(doc.root.Child(0).Size(), big);
}

TEST(Nodes, FoldersKeepTheListingsOrderUntilSortedFilesComeLargestFirst) {
    Document doc;
    Builder build(doc);
    std::vector<FolderNode*> folders =
        build.List(&doc.root, {{"tiny", false, 1}, {"small", true}, {"big.iso", false, 5000000}, {"second", true}});
    FolderNode *small = folders[0], *second = folders[1];
    build.List(second, {{"kb", false, 1000}});
    EXPECT_EQ(Names(&doc.root), (std::vector<std::string>{"small", "second", "big.iso", "tiny"}));
    EXPECT_EQ(second->Level(), 1);
    EXPECT_EQ(second->Child(0).Level(), 2);

    SortChildren(&doc.root);
    EXPECT_EQ(Names(&doc.root), (std::vector<std::string>{"second", "small", "big.iso", "tiny"}));
    EXPECT_TRUE(doc.root.Sorted());

    // While the flag is set the order is kept, whatever the sizes do.
    small->size.store(9000000000);
    SortChildren(&doc.root);
    EXPECT_EQ(Names(&doc.root)[0], "second");
    doc.root.SetSorted(false);
    SortChildren(&doc.root);
    EXPECT_EQ(Names(&doc.root), (std::vector<std::string>{"small", "second", "big.iso", "tiny"}));
}

// A folder listed again (more of it read) gets the new files merged into its
// run by size. Records of every width,
// a link's and one past 4 GiB, keep what they hold through the merge and
// through the run closing up over a removed file, and a file selected behind
// the removed one stays selected.
TEST(Nodes, RunsMergeBySizeAndCloseUpOverARemovedFile) {
    Document doc;
    Builder build(doc);
    const uint64_t huge = (uint64_t{1} << 32) + 5;
    FolderNode* folder = build.List(&doc.root, {{"folder", true}})[0];
    build.List(folder, {{"mid", false, 500}, {"huge.img", false, huge}, {"small", false, 10}});
    build.List(folder, {{"link", false, 300, true}, {"tiny", false, 1}, {"big", false, 700}, {"less", false, 400}});
    EXPECT_EQ(Names(folder),
              (std::vector<std::string>{"huge.img", "big", "mid", "less", "link", "small", "tiny"}));
    EXPECT_EQ(folder->Files(), 7);
    const uint64_t total = huge + 700 + 500 + 400 + 300 + 10 + 1;
    EXPECT_EQ(folder->Size(), total);

    doc.selected = folder->Child(4);
    ASSERT_STREQ(doc.selected.Name(), "link");
    EXPECT_EQ(doc.RemoveNode(folder->Child(0)), 0);  // collapsed: no rows shown
    EXPECT_EQ(doc.RemoveNode(folder->Child(1)), 0);  // "mid"
    EXPECT_EQ(Names(folder), (std::vector<std::string>{"big", "less", "link", "small", "tiny"}));
    ASSERT_TRUE(doc.selected);
    EXPECT_STREQ(doc.selected.Name(), "link");
    EXPECT_TRUE(doc.selected.IsLink());
    EXPECT_EQ(doc.selected.Size(), 300u);
    EXPECT_EQ(doc.selected.Parent(), folder);

    std::vector<uint64_t> sizes;
    int links = 0;
    ForEachChild(folder, [&](Row file) {
        sizes.push_back(file.Size());
        links += file.IsLink() ? 1 : 0;
    });
    EXPECT_EQ(sizes, (std::vector<uint64_t>{700, 400, 300, 10, 1}));
    EXPECT_EQ(links, 1);
    EXPECT_EQ(folder->Files(), 5);
    EXPECT_EQ(folder->Size(), total - huge - 500);
    EXPECT_EQ(doc.root.Size(), total - huge - 500);
}

// The refresher's order tells when a row moved: screen readers hear of it.
TEST(Nodes, RootOrderTellsWhetherAnyPositionMoved) {
    Document doc;
    Builder build(doc);
    std::vector<FolderNode*> folders =
        build.List(&doc.root, {{"small", true}, {"large", true}, {"tiny", false, 1}, {"big", false, 500}});
    FolderNode *small = folders[0], *large = folders[1];
    small->size.store(10);
    large->size.store(20);
    RootOrder order;
    EXPECT_TRUE(order.Sort(&doc.root));
    EXPECT_EQ(Names(&doc.root), (std::vector<std::string>{"large", "small", "big", "tiny"}));
    EXPECT_FALSE(order.Sort(&doc.root));
    small->size.store(15);  // grown, still second
    EXPECT_FALSE(order.Sort(&doc.root));
    small->size.store(30);
    EXPECT_TRUE(order.Sort(&doc.root));
    EXPECT_EQ(Names(&doc.root), (std::vector<std::string>{"small", "large", "big", "tiny"}));

    // Many folders growing a few at a time, ties among them: each cycle
    // leaves every folder there once, largest first.
    Document wide;
    NodeArena arena(wide.regions);
    ChildBatch batch;
    for (int i = 0; i < 300; ++i) {
        std::wstring name = L"f" + std::to_wstring(i);
        ASSERT_TRUE(batch.Add({name.c_str(), name.size(), FILE_ATTRIBUTE_DIRECTORY, 0, 0, 0}));
    }
    std::vector<FolderNode*> made;
    ASSERT_TRUE(Adopt(&wide.root, batch, arena, &made));
    RootOrder kept;
    uint32_t seed = 1;
    for (int cycle = 0; cycle < 200; ++cycle) {
        for (int grow = 0; grow < 5; ++grow) {
            seed = seed * 1664525u + 1013904223u;
            FolderNode* folder = made[seed % made.size()];
            folder->size.store(folder->Size() + (seed >> 24) % 3 * 10);
        }
        kept.Sort(&wide.root);
        std::set<const FolderNode*> seen;
        for (int32_t i = 0; i < wide.root.Folders(); ++i) {
            seen.insert(wide.root.Folder(i));
            if (i > 0) {
                ASSERT_GE(wide.root.Folder(i - 1)->Size(), wide.root.Folder(i)->Size()) << cycle;
            }
        }
        ASSERT_EQ(seen.size(), made.size()) << cycle;
    }
}

// A small tree, already sorted:
//   a/          (expanded)  a1/ (expanded: a1x, a1y), a2
//   b/          (collapsed) b1
//   c.txt
struct SelectionTree : ::testing::Test {
    Document doc;
    Builder build{doc};
    CountingViews views;
    FolderNode *a, *a1, *b;
    Row a1x, a1y, a2, b1, c;
    void SetUp() override {
        doc.owner = &views;
        std::vector<FolderNode*> top = build.List(&doc.root, {{"a", true}, {"b", true}, {"c.txt", false, 10}});
        a = top[0];
        b = top[1];
        a1 = build.List(a, {{"a1", true}, {"a2", false, 200}})[0];
        build.List(a1, {{"a1x", false, 400}, {"a1y", false, 300}});
        build.List(b, {{"b1", false, 100}});
        c = doc.root.Child(2);
        a2 = a->Child(1);
        a1x = a1->Child(0);
        a1y = a1->Child(1);
        b1 = b->Child(0);
        doc.root.SetComplete();
        a->SetExpanded(true);
        a1->SetExpanded(true);
    }
    void Move(Row from, bool up, Row expected) {
        doc.selected = from;
        doc.MoveSelection(up);
        EXPECT_EQ(doc.selected, expected) << from.Name() << (up ? " up" : " down");
    }
};

TEST_F(SelectionTree, DownFollowsDisplayOrder) {
    Move(a, false, a1);     // into an expanded folder
    Move(a1, false, a1x);
    Move(a1x, false, a1y);
    Move(a1y, false, a2);   // last child of a1: a1's next sibling
    Move(a2, false, b);     // last child of a: a's next sibling
    Move(b, false, c);      // b is collapsed: its child is skipped
    EXPECT_EQ(views.moves, 6);
    views.lists = views.moves = 0;
    Move(c, false, c);      // the last row: no change, no repaint
    EXPECT_EQ(views.lists, 0);
    EXPECT_EQ(views.moves, 0);
}

TEST_F(SelectionTree, UpTakesTheRowJustAboveAndUndoesDown) {
    Move(c, true, b);
    Move(b, true, a2);      // a is expanded: its last row
    Move(a2, true, a1y);    // a1 is expanded too: the last row of its subtree
    Move(a1y, true, a1x);
    Move(a1x, true, a1);    // first child: the parent
    Move(a1, true, a);
    // Over every row, Up undoes Down.
    for (Row row : {Row(a), Row(a1), a1x, a1y, a2, Row(b)}) {
        doc.selected = row;
        doc.MoveSelection(false);
        doc.MoveSelection(true);
        EXPECT_EQ(doc.selected, row) << row.Name();
    }
    views.lists = 0;
    Move(a, true, a);       // the first row: no change, no repaint
    EXPECT_EQ(views.lists, 0);
    doc.selected = nullptr;
    doc.MoveSelection(false);
    EXPECT_FALSE(doc.selected);
}

TEST_F(SelectionTree, CollapseKeepsInnerExpansionForTheNextExpand) {
    int shown = CountRows(a);
    EXPECT_EQ(shown, 4);  // a1, a1x, a1y, a2
    EXPECT_EQ(CountRows(&doc.root), 3 + 4);
    a->SetExpanded(false);
    EXPECT_EQ(CountRows(&doc.root), 3);
    EXPECT_TRUE(a1->Expanded());
    a->SetExpanded(true);
    EXPECT_EQ(CountRows(a), shown);
    EXPECT_EQ(CountRows(&doc.root), 3 + 4);
}

TEST_F(SelectionTree, RemovingAFolderLowersEveryAncestorAndMovesTheSelection) {
    FolderNode* a3 = build.List(a, {{"a3", true}})[0];  // a: a1/, a3/, a2 — folders stay ahead after removal
    doc.selected = a1;
    views.lists = views.fullHeaders = 0;
    int rows = doc.RemoveSelected();
    EXPECT_EQ(rows, 3);  // the row and its two visible children
    EXPECT_EQ(a->Files(), 1);
    EXPECT_EQ(a->Size(), 200u);
    EXPECT_EQ(doc.root.Files(), 3);
    EXPECT_EQ(doc.root.Size(), 1010u - 700);
    EXPECT_EQ(Names(a), (std::vector<std::string>{"a3", "a2"}));
    EXPECT_EQ(a->Folders(), 1);
    EXPECT_EQ(doc.selected, Row(a3));  // the node now at the removed one's place
    EXPECT_EQ(views.lists, 1);
    EXPECT_EQ(views.fullHeaders, 1);
}

TEST_F(SelectionTree, RemovingAFileResortsAncestorsAndSelectsThePreviousSiblingAtTheEnd) {
    doc.selected = a2;  // a stays ahead of b only while a2 counts
    a->size.store(250);
    b->size.store(100);
    doc.root.SetSorted(true);
    EXPECT_EQ(doc.RemoveSelected(), 1);
    EXPECT_EQ(a->Files(), 2);
    EXPECT_EQ(a->Size(), 50u);
    EXPECT_EQ(doc.root.Files(), 4);
    EXPECT_EQ(Names(&doc.root), (std::vector<std::string>{"b", "a", "c.txt"}));
    EXPECT_EQ(doc.selected, Row(a1));  // a2 was a's last child: the one before it
    // A folder's only child: its parent; the root's only child: nothing.
    doc.selected = b1;
    doc.RemoveSelected();
    EXPECT_EQ(doc.selected, Row(b));
    Document lone;
    Builder buildLone(lone);
    buildLone.List(&lone.root, {{"only", false, 1}});
    lone.selected = lone.root.Child(0);
    lone.RemoveSelected();
    EXPECT_FALSE(lone.selected);
}

TEST_F(SelectionTree, TearingDownSkipsTheAccounting) {
    doc.tearingDown.store(true);
    EXPECT_EQ(doc.ReleaseNode(b1), 0);
    EXPECT_EQ(b->ChildCount(), 0);
    EXPECT_EQ(b->Files(), 1);
    EXPECT_EQ(doc.root.Files(), 5);
    doc.tearingDown.store(false);
    EXPECT_EQ(doc.ReleaseNode(a2), 1);
    EXPECT_EQ(Names(a), (std::vector<std::string>{"a1"}));
    EXPECT_EQ(a->Files(), 2);
    EXPECT_EQ(doc.root.Size(), 810u);
}

TEST_F(SelectionTree, NodePathJoinsNamesBelowTheRootInTheExactForm) {
    doc.path = L"C:\\Data";
    wchar_t out[MAX_PATH] = L"untouched";
    EXPECT_FALSE(doc.NodePath(out, MAX_PATH));
    EXPECT_STREQ(out, L"untouched");
    doc.selected = a1x;
    ASSERT_TRUE(doc.NodePath(out, MAX_PATH));
    EXPECT_STREQ(out, L"\\\\?\\C:\\Data\\a\\a1\\a1x");

    // A drive root keeps its one separator; a share gets the share prefix.
    doc.path = L"D:\\";
    doc.selected = c;
    ASSERT_TRUE(doc.NodePath(out, MAX_PATH));
    EXPECT_STREQ(out, L"\\\\?\\D:\\c.txt");
    doc.path = L"\\\\server\\share\\";
    ASSERT_TRUE(doc.NodePath(out, MAX_PATH));
    EXPECT_STREQ(out, L"\\\\?\\UNC\\server\\share\\c.txt");

    // A path that does not fit is refused, the buffer left as it was.
    wchar_t small[12] = L"untouched";
    doc.path = L"C:\\Data";
    doc.selected = a1x;
    EXPECT_FALSE(doc.NodePath(small, 12));
    EXPECT_STREQ(small, L"untouched");
}

}  // namespace
