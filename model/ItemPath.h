// Full paths of items, built in the one form that the platform takes as it
// stands: "\\?\" before a drive path, "\\?\UNC\" before a share. In that form
// no name is mapped or normalised (a trailing dot or space stays, "CON" is a
// file) and paths past 260 characters reach their items. The scan, the views
// and the actions all build their paths here.
#pragma once

#include <cstddef>
#include <string>

class ItemPath {
public:
    // The longest path the platform's calls take, in UTF-16 units.
    static constexpr size_t kMaxUnits = 32767;

    // Starts the path at a folder as the shell or a command line names it; a
    // relative path is made full first. False for a path that names no folder
    // of a drive or a share.
    bool SetFolder(const wchar_t* folder);
    // Appends a separator and a stored name (Name.h); false, leaving the path
    // as it was, when the result would pass kMaxUnits or the name is not one
    // name (empty, or holding a separator or a colon).
    bool Append(const char* name);
    void Truncate(size_t length) { path_.resize(length); }
    size_t Length() const { return path_.size(); }
    const wchar_t* Exact() const { return path_.c_str(); }
    // Where the last name begins (the whole path for a folder just set).
    size_t LastNameAt() const;
    // The folder that holds the last name, in the same exact form: a
    // drive's root keeps its separator. The whole path for a folder just set.
    std::wstring Folder() const;

    // The same path in the ordinary form that the shell's calls take, when that
    // form provably names the same item: it fits MAX_PATH, and every name in it
    // passes the platform's normalisation unchanged (no trailing dot or space,
    // no device name such as "CON" or "aux.txt", no wildcard, separator or
    // stream character). False otherwise.
    bool Ordinary(std::wstring* out) const;

private:
    std::wstring path_;
    size_t prefix_ = 0;  // the units of "\\?\" or "\\?\UNC\"
    size_t root_ = 0;    // the units up to the first name below the drive or share
};

// True for a name that the platform's ordinary paths would change or read as
// something else than a file of that name.
bool IsNormalisedName(const wchar_t* name, size_t count);
