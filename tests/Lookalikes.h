// A folder whose names the 8-bit code page and the platform's normalisation
// would turn into other names: twins that differ only by a letter outside the
// code page, a trailing space or a trailing dot; a fullwidth backslash; a name
// whose fullwidth slashes and dots spell a climb out of the folder; names
// outside the code page; a device name; a file below a 300-character path.
// The host makes them, so they are exactly what Linux holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TempTree.h"

struct Lookalike {
    std::string path;  // below the tree's root, with "\" separators
    uint64_t bytes;    // of the file, or of the one file in the folder
    bool folder;
    std::string twin;  // the item a mapped or normalised path would reach, if any
};

// Makes "chosen" with the lookalikes in it, and "victim-<tag>.txt" beside it;
// returns the items made in "chosen", each file's bytes all one letter. False
// where there is no host to make them.
bool MakeLookalikes(const TempTree& tree, const std::string& tag, std::vector<Lookalike>* made);
