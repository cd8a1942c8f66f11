// Stands in for the program a file type opens with: appends its argument to
// the file named by TOLV_RECORD, so a test can see what the shell opened.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    char record[MAX_PATH];
    if (!GetEnvironmentVariableA("TOLV_RECORD", record, sizeof record)) return 1;
    FILE* out = fopen(record, "a");
    if (!out) return 1;
    fprintf(out, "%s\n", argc > 1 ? argv[1] : "");
    fclose(out);
    return 0;
}
