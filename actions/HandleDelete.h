// A permanent delete that nothing can redirect. Each folder is opened once
// and its entries are opened relative to that handle, never through a path
// built again; every entry opened is proven on its handle to be the one
// listed, where it was listed, before it goes. A link is never entered: on
// Windows the link itself is removed; under Wine, where no call removes a
// host's link without its target, it stays and is reported. Whatever another
// program changes meanwhile, nothing outside the item can be reached.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ItemPath.h"
#include "Listing.h"

// Told of each item as it goes; false from Step stops the delete there.
class DeleteProgress {
public:
    virtual bool Step(uint64_t done) = 0;

protected:
    ~DeleteProgress() = default;
};

struct DeleteReport {
    bool itemGone = false;      // the item itself went
    bool cancelled = false;
    uint64_t removed = 0;       // items removed, the item's own included
    uint64_t failed = 0;        // items that stayed for a reason of their own
    DWORD firstError = ERROR_SUCCESS;
    // Where the item stayed, what the disk still holds: the ids of the
    // folders that were listed, and each entry of theirs that stayed (by id
    // and stored name, Name.h). Whatever else such a folder held has gone.
    std::vector<uint64_t> listed;
    std::vector<std::pair<uint64_t, std::string>> kept;
};

// Deletes the item at `exact` (the ItemPath of a row), which must be the
// item `identity` names, in the folder `parent` names, of the kind `folder`
// says, and no link.
DeleteReport DeleteByHandles(const ItemPath& exact, const ItemIdentity& identity, const ItemIdentity& parent,
                             bool folder, DeleteProgress* progress);
