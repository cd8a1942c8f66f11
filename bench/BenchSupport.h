// Shared parts of the benchmarks: synthetic trees on disk, the plain walks
// the model is measured against, timing and memory.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "Document.h"

double Now();
// A deterministic tree: 20 top-level folders, each with a two-level subtree of
// folders, the files spread evenly over all folders, sizes from a fixed LCG.
// Files are made sparse, so the tree costs directory entries, not disk space.
// Made once; later runs find it complete.
bool MakeTree(const std::string& root, int folders, int files);
// `folders` top-level folders of one small file each.
bool MakeWideRoot(const std::string& root, int folders);
// One folder of `files` empty files.
bool MakeFlatFolder(const std::string& root, int files);
// The baseline: one thread, depth first, counting files and bytes.
void PlainWalk(char* path, size_t len, long long* files, double* bytes);
// The same walk on several threads, each taking the next top-level folder.
long long PlainWalkThreads(const std::string& root, int threads);
long long CountNodes(const FolderNode* node);
// Committed private memory of this process, summed over its address space
// (the process counters' PrivateUsage is not filled in under Wine).
SIZE_T PrivateBytes();
double Median(std::vector<double> values);
// The bench's folders: in TOLV_BENCH_DIR when it is set (both builds then
// share them), else in the prefix's temporary folder.
std::string BenchFolder(const std::string& name);
