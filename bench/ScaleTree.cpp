#include "ScaleTree.h"

#include <algorithm>
#include <new>
#include <vector>

namespace {

// Fixed seeds: every run builds the same tree, so runs compare.
constexpr uint32_t kNameSeed = 20190612;
constexpr uint32_t kShapeSeed = 4711;
constexpr int kDeepest = 6;           // levels below the root
constexpr int kMostSubfolders = 6;
constexpr int kFewestFiles = 10, kMostFiles = 50;
// Nodes one top-level folder holds on average with the shape above: 364
// folders (three subfolders each, six levels) of 30 files.
constexpr long long kNodesPerTop = 11000;

class Random {
public:
    explicit Random(uint32_t seed) : seed_(seed) {}
    // 0 .. range-1; the LCG's low bits repeat too soon to use.
    uint32_t Pick(uint32_t range) {
        seed_ = seed_ * 1664525u + 1013904223u;
        return (seed_ >> 8) % range;
    }

private:
    uint32_t seed_;
};

// Names as a user's disk holds them, in one buffer reused for each: photos,
// sources, libraries, documents, build output, names in other scripts.
// About 15 stored (UTF-8) bytes on average, as on real disks.
class NameMaker {
public:
    void File();
    void Folder();
    const wchar_t* Text() const { return text_; }
    size_t Units() const { return units_; }
    size_t Bytes() const { return bytes_; }  // stored, as UTF-8

private:
    void Start() { units_ = bytes_ = 0; }
    void Append(const wchar_t* part);
    void AppendDigits(uint32_t value, int digits);
    void AppendHex(uint32_t value, int digits);
    template <size_t N>
    void AppendOneOf(const wchar_t* const (&parts)[N]) {
        Append(parts[random_.Pick(N)]);
    }

    Random random_{kNameSeed};
    wchar_t text_[96];
    size_t units_ = 0, bytes_ = 0;
};

const wchar_t* const kStems[] = {L"index", L"main", L"utils", L"config", L"App", L"server",
                                 L"package", L"styles", L"README", L"helpers", L"Program", L"__init__"};
const wchar_t* const kSourceTypes[] = {L".js", L".ts", L".json", L".css", L".cpp", L".h", L".py", L".md"};
const wchar_t* const kLibraries[] = {L"Microsoft.Extensions.Logging.dll", L"System.Runtime.dll", L"Newtonsoft.Json.dll",
                                     L"libcrypto-3-x64.dll", L"vcruntime140.dll", L"Qt5Core.dll"};
const wchar_t* const kDocuments[] = {L"invoice", L"report", L"notes", L"Scan", L"statement", L"minutes"};
const wchar_t* const kDocumentTypes[] = {L".pdf", L".docx", L".txt", L".xlsx"};
const wchar_t* const kOtherScripts[] = {L"\u5199\u771f", L"\u00dcbersicht", L"\u0424\u043e\u0442\u043e",
                                        L"r\u00e9sum\u00e9"};
const wchar_t* const kPictureTypes[] = {L".png", L".jpg", L".xlsx"};
const wchar_t* const kFolders[] = {L"src", L"assets", L"node_modules", L"bin", L"Debug", L"images", L"Documents",
                                   L"lib", L"packages", L"Photos", L"Downloads", L"components"};

void NameMaker::Append(const wchar_t* part) {
    for (; *part; ++part) {
        text_[units_++] = *part;
        bytes_ += *part < 0x80 ? 1 : *part < 0x800 ? 2 : 3;
    }
}

void NameMaker::AppendDigits(uint32_t value, int digits) {
    for (int i = digits - 1; i >= 0; --i, value /= 10) text_[units_ + i] = static_cast<wchar_t>(L'0' + value % 10);
    units_ += digits;
    bytes_ += digits;
}

void NameMaker::AppendHex(uint32_t value, int digits) {
    for (int i = digits - 1; i >= 0; --i, value >>= 4) text_[units_ + i] = L"0123456789abcdef"[value & 15];
    units_ += digits;
    bytes_ += digits;
}

void NameMaker::File() {
    Start();
    switch (random_.Pick(10)) {
        case 0:  // IMG_20190612_183455.jpg
            Append(L"IMG_20");
            AppendDigits(10 + random_.Pick(14), 2);
            AppendDigits(1 + random_.Pick(12), 2);
            AppendDigits(1 + random_.Pick(28), 2);
            Append(L"_");
            AppendDigits(random_.Pick(24) * 10000 + random_.Pick(60) * 100 + random_.Pick(60), 6);
            Append(L".jpg");
            break;
        case 1:
        case 2:
        case 3:
        case 4:  // index.js
            AppendOneOf(kStems);
            AppendOneOf(kSourceTypes);
            break;
        case 5:  // Microsoft.Extensions.Logging.dll
            AppendOneOf(kLibraries);
            break;
        case 6:
        case 7:  // report-2021-03.pdf
            AppendOneOf(kDocuments);
            Append(L"-20");
            AppendDigits(10 + random_.Pick(14), 2);
            Append(L"-");
            AppendDigits(1 + random_.Pick(12), 2);
            AppendOneOf(kDocumentTypes);
            break;
        case 8:  // chunk-3f9a2c1b.js
            Append(L"chunk-");
            AppendHex(random_.Pick(1u << 24) * 256 + random_.Pick(256), 8);
            Append(L".js");
            break;
        default:  // Übersicht_0042.xlsx
            AppendOneOf(kOtherScripts);
            Append(L"_");
            AppendDigits(random_.Pick(10000), 4);
            AppendOneOf(kPictureTypes);
            break;
    }
}

void NameMaker::Folder() {
    Start();
    AppendOneOf(kFolders);
    if (random_.Pick(2)) AppendDigits(random_.Pick(100), 2);
}

struct Pending {
    FolderNode* folder;
    int depth;
};

class ScaleBuilder {
public:
    ScaleBuilder(NodeRegions& regions, long long target) : target_(target), arena_(regions) {}
    ScaleTree Build(FolderNode* root);

private:
    bool Link(FolderNode* folder, int depth, int folders, int files);
    bool Gather(int folders, int files);

    long long target_;
    ScaleTree tree_;
    NameMaker names_;
    Random shape_{kShapeSeed};
    // As one thread of a scan: its own arena, one batch reused per listing.
    NodeArena arena_;
    ChildBatch batch_;
    std::vector<FolderNode*> made_;  // the folders of the last listing
    std::vector<Pending> pending_;  // folders made, not yet listed: depth first, as deep trees keep it short
};

// Depth first from the top-level folders, with more of them (as a second
// listing of the root) should those run out before the count is reached.
ScaleTree ScaleBuilder::Build(FolderNode* root) {
    int tops = static_cast<int>(target_ / kNodesPerTop + 1);
    // Room for the longest pending list and listing up front: once nodes are
    // being made, only they and the batch need memory, and running out leaves
    // nothing half linked.
    try {
        pending_.reserve(static_cast<size_t>(tops + kDeepest * kMostSubfolders));
        made_.reserve(static_cast<size_t>(std::max(tops, kMostSubfolders)));
    } catch (const std::bad_alloc&) {
        tree_.outOfMemory = true;
        return tree_;
    }
    while (tree_.nodes < target_) {
        if (pending_.empty()) {
            if (!Link(root, 0, tops, 0)) break;
            continue;
        }
        Pending next = pending_.back();
        pending_.pop_back();
        int folders = next.depth < kDeepest ? static_cast<int>(shape_.Pick(kMostSubfolders + 1)) : 0;
        int files = kFewestFiles + static_cast<int>(shape_.Pick(kMostFiles - kFewestFiles + 1));
        if (!Link(next.folder, next.depth, folders, files)) break;
    }
    return tree_;
}

// One listing: its entries gathered in a batch, then linked at once, as
// ListInto does; cut short at the count. False when memory ran out, with
// none of this listing linked.
bool ScaleBuilder::Link(FolderNode* folder, int depth, int folders, int files) {
    long long left = target_ - tree_.nodes;
    if (folders > left) folders = static_cast<int>(left);
    if (files > left - folders) files = static_cast<int>(left - folders);
    made_.clear();
    if (!Gather(folders, files) || !Adopt(folder, batch_, arena_, &made_)) {
        tree_.outOfMemory = true;
        return false;
    }
    tree_.nodes += static_cast<long long>(batch_.Count());
    for (FolderNode* made : made_) pending_.push_back({made, depth + 1});
    return true;
}

bool ScaleBuilder::Gather(int folders, int files) {
    batch_.Clear();
    double bytes = 0;
    for (int i = 0; i < folders + files; ++i) {
        bool isFolder = i < folders;
        if (isFolder)
            names_.Folder();
        else
            names_.File();
        uint64_t size = isFolder ? 0 : shape_.Pick(1000000);
        ListedEntry entry{names_.Text(), names_.Units(),
                          static_cast<DWORD>(isFolder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE), size, 0, 0};
        if (!batch_.Add(entry)) return false;
        bytes += static_cast<double>(names_.Bytes());
    }
    tree_.nameBytes += bytes;
    return true;
}

}  // namespace

ScaleTree BuildScaleTree(Document& doc, long long nodes) { return ScaleBuilder(doc.regions, nodes).Build(&doc.root); }
