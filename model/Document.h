// Everything the navigator knows about the chosen folder: the tree, the
// selection, and the threads that fill the tree in the background.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>

#include "FolderNode.h"

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
    // The window and module that the actions' dialogs belong to.
    virtual HWND ViewWindow() { return nullptr; }
    virtual HINSTANCE ViewInstance() { return nullptr; }

protected:
    ~DocumentViews() = default;
};

class Document {
public:
    Document();
    virtual ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    // Names the root and lists the chosen folder's own entries (not deeper).
    bool Load(DocumentViews* owner);
    // Starts the scan: the coordinator with its folder workers, and the refresher.
    bool StartWorkers();
    void RepaintViews(bool header, bool full);
    void MoveSelection(bool up);
    // Removes the selected node after the shell has deleted its item. Returns
    // how many list rows went with it: the row itself and, for an expanded
    // folder, the rows it showed.
    int RemoveSelected();
    // The selected node's full path; false, leaving `out` untouched, when nothing
    // is selected or the path does not fit `capacity` bytes with its zero.
    bool NodePath(char* out, size_t capacity) const;
    // The actions on the selected node (actions/Actions.cpp).
    void OpenSelected();
    void DeleteSelected();
    // Takes a node out of its ancestors' totals (unless the document is being
    // torn down) and out of its parent's children, then frees it with its
    // subtree. Returns the position it had among its siblings, or -1.
    int ReleaseNode(FolderNode* node);

    // Asks the scan to stop; workers leave their walks at their next entry.
    void RequestStop() { stopRequested.store(true, std::memory_order_relaxed); }
    // Waits up to `ms` for every thread of the scan to end; true once they have
    // (or when no scan was started).
    bool WaitForScan(DWORD ms);
    // Most folder workers seen running at once during this document's scan.
    int PeakWorkers() const { return peakWorkers_.load(); }

    FolderNode root;
    char path[MAX_PATH];
    FolderNode* selected;
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

    HANDLE coordinator_ = nullptr;
    HANDLE refresher_ = nullptr;
    std::atomic<int> runningWorkers_{0};
    std::atomic<int> peakWorkers_{0};
};

// The scan's thread procedures (model/Scan.cpp).
DWORD WINAPI Coordinator(LPVOID document);
DWORD WINAPI Refresher(LPVOID document);
DWORD WINAPI FolderWorker(LPVOID slot);
