// The folder tree: loading, ordering, selection, removal and paths.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Document.h"
#include "RootOrder.h"
#include "TempTree.h"

namespace {

// A listing entry as the platform would give it, for the length of one call.
struct Entry {
    Entry(const char* utf8, bool folder, uint64_t bytes = 0) : name(Wide(utf8)) {
        entry = {name.c_str(), name.size(), folder ? DWORD{FILE_ATTRIBUTE_DIRECTORY} : DWORD{FILE_ATTRIBUTE_ARCHIVE},
                 bytes, 0, 0};
    }
    operator const ListedEntry&() const { return entry; }
    std::wstring name;
    ListedEntry entry;
};

// Adds a node as a finished walk would leave it: a file's size and count added
// to every ancestor.
FolderNode* AddFile(FolderNode* parent, const char* name, uint64_t bytes) {
    FolderNode* node = CreateNode(Entry(name, false, bytes), parent);
    for (FolderNode* up = parent; up->parent; up = up->parent) {
        up->size.store(up->Size() + static_cast<double>(bytes));
        if (up != parent) up->fileCount.store(up->Files() + 1);
    }
    return node;
}

FolderNode* AddFolder(FolderNode* parent, const char* name) {
    FolderNode* node = CreateNode(Entry(name, true), parent);
    node->complete.store(true);
    return node;
}

std::vector<std::string> Names(const FolderNode* node) {
    std::vector<std::string> names;
    for (int32_t i = 0; i < node->ChildCount(); ++i) names.push_back(node->Child(i)->Name());
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
        const FolderNode* child = doc.root.Child(i);
        EXPECT_EQ(child->isFolder != 0, i < 2) << child->Name();
        EXPECT_NE(child->Name()[0], '.');
        EXPECT_EQ(child->Level(), 1);
        EXPECT_EQ(child->parent, &doc.root);
        if (child->isFolder) {
            EXPECT_EQ(child->Size(), 0);  // sized by the scan, not by Load
        }
    }
    EXPECT_EQ(doc.root.Files(), 2);  // only the files directly in the folder
    EXPECT_EQ(doc.root.Size(), 0);
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
    EXPECT_EQ(doc.root.Child(0)->Size(), static_cast<double>(big));
}

TEST(Nodes, ChildArraysGrowInFixedSteps) {
    Document doc;
    FolderNode* files = AddFolder(&doc.root, "files");
    AddFile(files, "f0", 1);
    EXPECT_EQ(files->children->capacity, 10);  // first file child
    for (int i = 1; i < 10; ++i) AddFile(files, "f", 1);
    EXPECT_EQ(files->children->capacity, 10);
    AddFile(files, "f10", 1);
    EXPECT_EQ(files->children->capacity, 20);  // +10 below 100
    while (files->ChildCount() < 100) AddFile(files, "f", 1);
    EXPECT_EQ(files->children->capacity, 100);
    AddFile(files, "f100", 1);
    EXPECT_EQ(files->children->capacity, 150);  // +50 from 100 on

    FolderNode* folders = AddFolder(&doc.root, "folders");
    AddFolder(folders, "d0");
    EXPECT_EQ(folders->children->capacity, 20);  // first folder child
    EXPECT_EQ(doc.root.children->capacity, 20);
}

TEST(Nodes, FoldersStayAheadOfFilesInListingOrderUntilSorted) {
    Document doc;
    AddFile(&doc.root, "big.iso", 5000000);
    AddFolder(&doc.root, "small");
    AddFile(&doc.root, "tiny", 1);
    FolderNode* second = AddFolder(&doc.root, "second");
    AddFile(second, "kb", 1000);
    EXPECT_EQ(Names(&doc.root), (std::vector<std::string>{"small", "second", "big.iso", "tiny"}));
    EXPECT_EQ(second->Level(), 2 - 1);
    EXPECT_EQ(second->Child(0)->Level(), 2);

    SortChildren(&doc.root);
    EXPECT_EQ(Names(&doc.root), (std::vector<std::string>{"second", "small", "big.iso", "tiny"}));
    EXPECT_TRUE(doc.root.sorted.load());

    // While the flag is set the order is kept, whatever the sizes do.
    doc.root.Child(3)->size.store(9e9);
    SortChildren(&doc.root);
    EXPECT_EQ(Names(&doc.root)[2], "big.iso");
    doc.root.sorted.store(false);
    SortChildren(&doc.root);
    EXPECT_EQ(Names(&doc.root)[2], "tiny");
}

// The refresher's order tells when a row moved: screen readers hear of it.
TEST(Nodes, RootOrderTellsWhetherAnyPositionMoved) {
    Document doc;
    FolderNode* small = AddFolder(&doc.root, "small");
    FolderNode* large = AddFolder(&doc.root, "large");
    AddFile(&doc.root, "tiny", 1);
    AddFile(&doc.root, "big", 500);
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
}

// A small tree, already sorted:
//   a/          (expanded)  a1/ (expanded: a1x, a1y), a2
//   b/          (collapsed) b1
//   c.txt
struct SelectionTree : ::testing::Test {
    Document doc;
    CountingViews views;
    FolderNode *a, *a1, *a1x, *a1y, *a2, *b, *b1, *c;
    void SetUp() override {
        doc.owner = &views;
        a = AddFolder(&doc.root, "a");
        b = AddFolder(&doc.root, "b");
        c = AddFile(&doc.root, "c.txt", 10);
        a1 = AddFolder(a, "a1");
        a1x = AddFile(a1, "a1x", 400);
        a1y = AddFile(a1, "a1y", 300);
        a2 = AddFile(a, "a2", 200);
        b1 = AddFile(b, "b1", 100);
        for (FolderNode* folder : {a, a1, b}) folder->fileCount.store(0);
        a->fileCount.store(3);
        a1->fileCount.store(2);
        b->fileCount.store(1);
        doc.root.fileCount.store(5);
        doc.root.size.store(1010);
        doc.root.complete.store(true);
        a->SetExpanded(true);
        a1->SetExpanded(true);
    }
    void Move(FolderNode* from, bool up, FolderNode* expected) {
        doc.selected = from;
        doc.MoveSelection(up);
        EXPECT_EQ(doc.selected, expected) << from->Name() << (up ? " up" : " down");
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
    for (FolderNode* row : {a, a1, a1x, a1y, a2, b}) {
        doc.selected = row;
        doc.MoveSelection(false);
        doc.MoveSelection(true);
        EXPECT_EQ(doc.selected, row) << row->Name();
    }
    views.lists = 0;
    Move(a, true, a);       // the first row: no change, no repaint
    EXPECT_EQ(views.lists, 0);
    doc.selected = nullptr;
    doc.MoveSelection(false);
    EXPECT_EQ(doc.selected, nullptr);
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
    FolderNode* a3 = AddFolder(a, "a3");  // a: a1/, a3/, a2 — folders stay ahead after removal
    doc.selected = a1;
    views.lists = views.fullHeaders = 0;
    int rows = doc.RemoveSelected();
    EXPECT_EQ(rows, 3);  // the row and its two visible children
    EXPECT_EQ(a->Files(), 1);
    EXPECT_EQ(a->Size(), 200);
    EXPECT_EQ(doc.root.Files(), 3);
    EXPECT_EQ(doc.root.Size(), 1010 - 700);
    EXPECT_EQ(Names(a), (std::vector<std::string>{"a3", "a2"}));
    EXPECT_EQ(a->Folders(), 1);
    EXPECT_EQ(doc.selected, a3);  // the node now at the removed one's place
    EXPECT_EQ(views.lists, 1);
    EXPECT_EQ(views.fullHeaders, 1);
}

TEST_F(SelectionTree, RemovingAFileResortsAncestorsAndSelectsThePreviousSiblingAtTheEnd) {
    doc.selected = a2;  // a stays ahead of b only while a2 counts
    a->size.store(250);
    b->size.store(100);
    doc.root.sorted.store(true);
    EXPECT_EQ(doc.RemoveSelected(), 1);
    EXPECT_EQ(a->Files(), 2);
    EXPECT_EQ(a->Size(), 50);
    EXPECT_EQ(doc.root.Files(), 4);
    EXPECT_EQ(Names(&doc.root), (std::vector<std::string>{"b", "a", "c.txt"}));
    EXPECT_EQ(doc.selected, a1);  // a2 was a's last child: the one before it
    // A folder's only child: its parent; the root's only child: nothing.
    doc.selected = b1;
    doc.RemoveSelected();
    EXPECT_EQ(doc.selected, b);
    Document lone;
    FolderNode* only = AddFile(&lone.root, "only", 1);
    lone.selected = only;
    lone.RemoveSelected();
    EXPECT_EQ(lone.selected, nullptr);
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
    EXPECT_EQ(doc.root.Size(), 810);
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
