// Everything the navigator knows about the chosen folder: the tree, the
// selection, and the threads that fill the tree in the background.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>

#include "FolderNode.h"
#include "ItemPath.h"
#include "NodeArena.h"

// The views the document repaints. The main window implements it; the model
// knows nothing more of windows than this.
class DocumentViews {
public:
    // Repaint the list pane now, on the calling thread.
    virtual void RepaintList() = 0;
    // Repaint the header now: all of it when `full`, else its summary line.
    virtual void RepaintHeader(bool full) = 0;
    // Bracket a change of the tree that the views read without node locks
    // (a removal), so that no paint on another thread runs meanwhile.
    virtual void BeginTreeChange() {}
    virtual void EndTreeChange() {}
    // `rows` list rows went with a removed node.
    virtual void RowsRemoved(int rows) {}
    // The selection moved to another row (MoveSelection).
    virtual void SelectionMoved() {}
    // The rows changed order: the scan's refresher re-sorted the top level,
    // or the scan ended. Called on the scan's threads.
    virtual void RowsReordered() {}
    // The chosen folder's own entries are in the tree, or it could not be
    // listed (RootError). Called on the scan's thread, before any folder
    // worker starts.
    virtual void RootListed() {}
    // The window and module that the actions' dialogs belong to.
    virtual HWND ViewWindow() { return nullptr; }
    virtual HINSTANCE ViewInstance() { return nullptr; }
    // Bracket an action (Open, Delete): the note and the shell's windows run
    // message loops of their own, so the views hold still meanwhile, and the
    // document outlives the action whatever closes.
    virtual void BeginAction() {}
    virtual void EndAction() {}
    // False once the views have closed: an action that comes back from the
    // shell then touches nothing more.
    virtual bool ViewsOpen() { return true; }

protected:
    ~DocumentViews() = default;
};

// Starts a thread with the default stack (CreateThread).
HANDLE StartThread(LPTHREAD_START_ROUTINE procedure, LPVOID argument);

class Document {
public:
    Document();
    virtual ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    // Lists the chosen folder's own entries (not deeper) on the calling
    // thread. False when `path` names no folder that a path can be built
    // for; the tree then stays empty.
    bool Load(DocumentViews* owner);
    // Starts the scan: the coordinator with its folder workers, and the
    // refresher. The coordinator lists the chosen folder first, unless Load
    // did: a share may take seconds to answer, and the caller's thread (the
    // shell's) must never wait on it.
    bool StartWorkers();
    // The views' way to start: the tree is empty until the coordinator has
    // listed the chosen folder, which the views hear of through RootListed.
    bool StartScan(DocumentViews* views) {
        owner = views;
        return StartWorkers();
    }
    // Waits up to `ms` for the chosen folder's own listing; true once it is
    // done (whether or not the folder could be listed).
    bool WaitForRoot(DWORD ms) { return WaitForSingleObject(rootListedEvent_, ms) == WAIT_OBJECT_0; }
    bool IsRootListed() const { return rootListed_.load(std::memory_order_acquire); }
    // Why the chosen folder could not be listed, as a system error code; 0
    // when it was listed (an empty folder too).
    DWORD RootError() const { return rootError_.load(std::memory_order_acquire); }
    void RepaintViews(bool header, bool full);
    void MoveSelection(bool up);
    // Removes the selected node after the shell has deleted its item. Returns
    // how many list rows went with it: the row itself and, for an expanded
    // folder, the rows it showed; none for a node no row shows.
    int RemoveSelected() { return RemoveNode(selected); }
    // The same for any node of the tree; the selection moves on (to the next
    // sibling, else the previous one, else the parent) only when it was that
    // node, and is cleared when it was below it.
    int RemoveNode(Row row);
    // How many removals the tree has seen. A file's row may name another
    // file after a removal (its run closes up), so a row kept across the
    // views' own loops is used only while this stays the same.
    unsigned Removals() const { return removals_; }
    // Removes every row below `folder` that `gone` names (with its subtree),
    // its totals with it, in one change of the views: what a delete took
    // from a folder that stayed. Returns the list rows that went.
    int RemoveWithin(FolderNode* folder, const std::function<bool(Row)>& gone);
    // The selected node's full path in its exact form (ItemPath); false,
    // leaving `out` untouched, when nothing is selected or the path does not
    // fit `capacity` units with its zero.
    bool NodePath(wchar_t* out, size_t capacity) const;
    // Any row's path; false when it would pass the platform's limit or a
    // name on the way is not one name (ItemPath::Append).
    bool NodePath(Row row, ItemPath* out) const;
    // The item a row stands for: the listing's id on the chosen folder's volume.
    ItemIdentity Identity(Row row) const { return {volume_, row.FileId()}; }
    // The actions on the selected node (actions/Actions.cpp). Each acts on
    // the node selected when it starts, and on its own item or on nothing.
    void OpenSelected();
    void DeleteSelected();
    // Takes a row out of its ancestors' totals (unless the document is being
    // torn down) and out of its parent's children; its records stay in their
    // region until the document closes. Returns the position it had among its
    // siblings, or -1.
    int ReleaseNode(Row row);

    // Asks the scan to stop; workers leave their walks at their next entry.
    void RequestStop() { stopRequested.store(true, std::memory_order_relaxed); }
    // Waits up to `ms` for every thread of the scan to end; true once they have
    // (or when no scan was started).
    bool WaitForScan(DWORD ms);
    // Most folder workers seen running at once during this document's scan.
    int PeakWorkers() const { return peakWorkers_.load(); }
    // Every thread of the scan has left its walk: the totals are final, or,
    // when the scan was cut short, final for this scan.
    bool ScanEnded() const { return scanEnded_.load(std::memory_order_acquire); }
    // The scan stopped because memory ran out: the totals are what it
    // counted until then, and the root is not complete.
    bool ShortOfMemory() const { return shortOfMemory_.load(std::memory_order_acquire); }
    // What the scan's listings watch: the stop request and the test's budget.
    ListWatch Watch() { return {&stopRequested, &allocationsBeforeShortage}; }
    // The scan has ended for lack of memory: its totals are what it counted,
    // and its rows are to be used as they are.
    bool CutShort() const { return ShortOfMemory() && ScanEnded(); }
    // Stops the scan for lack of memory, on every thread.
    void RanShortOfMemory() {
        shortOfMemory_.store(true, std::memory_order_release);
        RequestStop();
    }

    // How the scan starts its threads; null when none could be started.
    using ThreadStarter = HANDLE (*)(LPTHREAD_START_ROUTINE procedure, LPVOID argument);
    ThreadStarter startThread = StartThread;
    // Runs on the scan's thread right before a folder is listed, the chosen
    // one (the root) or any below it: where a test holds a listing, as a
    // slow share would.
    std::function<void(const FolderNode* folder)> beforeListing;
    // Stands in for a full address space (ListWatch): the allocations the
    // scan may still make; below zero, no limit.
    std::atomic<long> allocationsBeforeShortage{-1};

    FolderNode root;
    // Where the tree's records live; the scan's threads each fill their own
    // arena from it. Freed whole with the document.
    NodeRegions regions;
    // The chosen folder as the shell named it, set before the scan starts.
    std::wstring path;
    Row selected;
    DocumentViews* owner;
    HANDLE finishedEvent;
    // Held per document, so that closing one navigator never stops another's
    // scan or changes how another releases its nodes.
    std::atomic<bool> stopRequested;
    std::atomic<bool> tearingDown;

private:
    friend DWORD WINAPI Coordinator(LPVOID);
    friend DWORD WINAPI Refresher(LPVOID);
    friend DWORD WINAPI FolderWorker(LPVOID);

    static bool IsUnder(Row row, const FolderNode* folder);
    // The rows a row stands for in the list now (its own and those it shows).
    static int ShownRows(Row row);
    bool ViewsOpen() const;
    // Lists the chosen folder's own entries; then tells the views.
    void ListRoot();
    void RootDone(DWORD error);
    // Ends the scan on its last thread (model/Scan.cpp); one that is not
    // `ready` (ReadyThread) only totals the root and marks the end.
    void FinishScan(bool ready);

    NodeArena rootArena_{regions};  // the chosen folder's own listing's
    ItemPath folder_;  // the chosen folder's exact path, once it is listed
    DWORD volume_ = 0;  // the chosen folder's volume, once it is listed
    bool actionRunning_ = false;
    unsigned removals_ = 0;
    HANDLE coordinator_ = nullptr;
    HANDLE refresher_ = nullptr;
    HANDLE rootListedEvent_;
    std::atomic<bool> rootListed_{false};
    std::atomic<DWORD> rootError_{0};
    std::atomic<int> runningWorkers_{0};
    std::atomic<int> peakWorkers_{0};
    std::atomic<bool> scanEnded_{false};
    std::atomic<bool> shortOfMemory_{false};
};

// The scan's thread procedures (model/Scan.cpp).
DWORD WINAPI Coordinator(LPVOID document);
DWORD WINAPI Refresher(LPVOID document);
DWORD WINAPI FolderWorker(LPVOID slot);
