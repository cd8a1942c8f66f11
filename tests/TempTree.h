// A folder tree made on disk for one test and removed after it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class TempTree {
public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    // The tree's root as a Windows path, without a trailing separator.
    const std::string& Root() const { return root_; }
    std::string Path(const std::string& relative) const { return root_ + "\\" + relative; }

    void Dir(const std::string& relative) const;
    // A file of `bytes` bytes; large sizes are made sparse (only the end is set).
    void File(const std::string& relative, uint64_t bytes) const;
    // A directory symbolic link at `relative` pointing at `target` (as the link
    // would resolve it). False when the platform cannot make one.
    bool Link(const std::string& relative, const std::string& target) const;

    // An empty file made by the host under the tree's root, with a name the
    // platform's own calls could not make (one holding "?", say). False when
    // there is no host to ask.
    bool HostFile(const std::string& name) const;
    // Takes away the permission to list a folder; false where that does not
    // keep this process from listing it. Allow gives the permission back.
    bool Deny(const std::string& relative) const;
    void Allow(const std::string& relative) const;

private:
    std::string root_;
};

// Removes a folder and everything in it; links are removed, never followed.
void RemoveTree(const std::string& path);

// The number of threads this process has now.
int ThreadCount();
