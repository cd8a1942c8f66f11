// A folder tree made on disk for one test and removed after it. Paths and
// names are UTF-8 here and reach the platform through its wide calls in the
// exact "\\?\" form, so a name ending in a dot or a space is made as written.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class TempTree {
public:
    TempTree();
    // A tree at a fixed place (whatever an earlier run left there goes first),
    // for a picture whose title must not change from run to run.
    explicit TempTree(const std::string& root);
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

    // A file of `bytes` bytes (each one the byte `fill`) made by the host under
    // the tree's root, with a name as Linux holds it: one the platform's own
    // calls could not make (one holding "?", say). False when there is no host.
    bool HostFile(const std::string& name, uint64_t bytes = 0, char fill = 'x') const;
    // Runs a shell script of the host in the tree's root (under Wine): names
    // made there are as Linux holds them. False when there is no host.
    bool Host(const std::string& script, bool makesLinks = false) const;
    // What such a script prints; "<no host>" when there is no host.
    std::string HostOutput(const std::string& script) const;
    // The host's own account of the tree: every file's length and digest and
    // every link's target, by the names Linux holds (which the platform may
    // list as the same text, or read as several names).
    std::string HostSnapshot() const;
    // Takes away the permission to list a folder; false where that does not
    // keep this process from listing it. Allow gives the permission back.
    bool Deny(const std::string& relative) const;
    void Allow(const std::string& relative) const;

private:
    std::string root_;
    mutable bool madeLinks_ = false;
};

// Removes a folder and everything in it; links are removed, never followed.
void RemoveTree(const std::string& path);

// UTF-8 and UTF-16, for the tests' own texts.
std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);
// The exact form of a path for the platform's wide calls.
std::wstring Exact(const std::string& path);
// The bytes of a file, or "<missing>".
std::string FileBytes(const std::string& path);

// The number of threads this process has now.
int ThreadCount();
