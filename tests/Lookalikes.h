// A folder whose names the 8-bit code page and the platform's normalisation
// would turn into other names: twins that differ only by a letter outside the
// code page, a trailing space or a trailing dot; a fullwidth backslash; a name
// whose fullwidth slashes and dots spell a climb out of the folder; names
// outside the code page; a device name; a file below a 300-character path;
// names the host holds that reach the platform as the same text (bytes that
// are no UTF-8), or as more than one name (a backslash); case twins. The
// host makes them, so they are exactly what Linux holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TempTree.h"

struct Lookalike {
    std::string name;  // the row's name, as the platform lists it (UTF-8)
    std::string host;  // the item below the tree's root as the host names it (its bytes)
    uint64_t bytes;    // of the file, or of the one file in the folder
    bool folder;
    // Whether a path reaches it: every item but one whose name the platform
    // reads as more than one name (never made into a path) and, of twins
    // listed as the same text, whichever the platform's lookup does not find.
    enum Reach { kReached, kUnreachable, kTwin } reach;
};

// Makes "chosen" with the lookalikes in it, and "victim-<tag>.txt" beside it;
// returns the rows of "chosen", each file's bytes all one letter. False where
// there is no host to make them.
bool MakeLookalikes(const TempTree& tree, const std::string& tag, std::vector<Lookalike>* made);
