// A tree of millions of nodes built in memory the way a scan builds it, for the
// memory and release figures at the size a large disk reaches.
#pragma once

#include "Document.h"

struct ScaleTree {
    long long nodes = 0;     // made and linked into the tree
    double nameBytes = 0;    // the names' stored bytes (UTF-8), summed
    bool outOfMemory = false;
};

// Builds up to `nodes` nodes, folders and files, under `doc`'s root: each
// folder's entries gathered in one batch and linked at once (ChildBatch,
// Adopt) into the document's regions, as a scan's thread lists a folder;
// folders of 10 to 50 files, up to six subfolders, five levels deep, names
// in the mix and lengths of a user's disk. Stops early, saying so, when
// memory runs out; what was linked stays in the tree.
ScaleTree BuildScaleTree(Document& doc, long long nodes);
