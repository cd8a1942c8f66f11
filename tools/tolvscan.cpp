// Console front end of the folder model: scans a folder as the navigator does
// and prints its top level in the navigator's order, with sizes and file counts.
//   tolvscan.exe FOLDER
#include <cstdio>
#include <cstring>

#include "Document.h"
#include "SizeText.h"
#include "ToolSupport.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: tolvscan FOLDER\n");
        return 2;
    }
    Document doc;
    char full[MAX_PATH];
    if (!FolderArgument(argv[1], full)) return 2;
    memcpy(doc.path, full, sizeof doc.path);
    DWORD start = GetTickCount();
    doc.Load(nullptr);
    doc.StartWorkers();
    doc.WaitForScan(INFINITE);
    DWORD elapsed = GetTickCount() - start;

    char size[kSizeTextMax], count[kSizeTextMax];
    printf("%s\n", doc.path);
    for (int32_t i = 0; i < doc.root.ChildCount(); ++i) {
        const FolderNode* node = doc.root.Child(i);
        FormatSize(node->Size(), size);
        if (node->isFolder) {
            FormatCount(node->Files(), count);
            printf("  [+] %-45.45s %10s %12s\n", node->name, count, size);
        } else {
            printf("      %-45.45s %10s %12s\n", node->name, "", size);
        }
    }
    FormatSize(doc.root.Size(), size);
    FormatCount(doc.root.Files(), count);
    printf("Files: %s  Size: %s  (%lu ms)\n", count, size, elapsed);
    return 0;
}
