// Stands in for the program a file type opens with, or for a system program
// (PowerShell) that the installer runs: appends its arguments, one line a
// run, to the file named by TOLV_RECORD, so a test can see what was asked
// of it, and ends with the code in TOLV_RECORD_EXIT (0 without it).
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    char record[MAX_PATH], exitCode[16] = "0";
    if (!GetEnvironmentVariableA("TOLV_RECORD", record, sizeof record)) return 1;
    GetEnvironmentVariableA("TOLV_RECORD_EXIT", exitCode, sizeof exitCode);
    FILE* out = fopen(record, "a");
    if (!out) return 1;
    for (int i = 1; i < argc; ++i) fprintf(out, "%s%s", i > 1 ? " " : "", argv[i]);
    fprintf(out, "\n");
    fclose(out);
    return atoi(exitCode);
}
