// Console front end of the folder model: scans a folder as the navigator does
// and prints its top level in the navigator's order, with sizes and file counts.
// Names are printed as the tree stores them, UTF-8, as a listing made on Linux
// prints them.
//   tolvscan.exe FOLDER
#include <cstdio>
#include <cstring>

#include "Document.h"
#include "Name.h"
#include "SizeText.h"
#include "ToolSupport.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: tolvscan FOLDER\n");
        return 2;
    }
    Document doc;
    if (!FolderArgument(argv[1], &doc.path)) return 2;
    DWORD start = GetTickCount();
    if (!doc.Load(nullptr)) {
        fprintf(stderr, "tolvscan: not a folder path: %s\n", EncodeName(doc.path).c_str());
        return 2;
    }
    doc.StartWorkers();
    doc.WaitForScan(INFINITE);
    DWORD elapsed = GetTickCount() - start;

    char size[kSizeTextMax], count[kSizeTextMax];
    printf("%s\n", EncodeName(doc.path).c_str());
    ForEachChild(&doc.root, [&](Row row) {
        FormatSize(static_cast<double>(row.Size()), size);
        if (row.IsFolder()) {
            FormatCount(row.Files(), count);
            printf("  [+] %s  %s  %s\n", row.Name(), count, size);
        } else {
            printf("      %s  %s\n", row.Name(), size);
        }
    });
    FormatSize(static_cast<double>(doc.root.Size()), size);
    FormatCount(doc.root.Files(), count);
    printf("Files: %s  Size: %s  (%lu ms)\n", count, size, elapsed);
    return 0;
}
