// Shared parts of the benchmarks: the synthetic trees' check, the plain walks
// the model is measured against, timing and memory.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "Document.h"

double Now();
// True when the synthetic tree at `root` is complete; else says so on stderr.
// The trees are made on the host, each to its one layout, by
// tools/make-bench-trees.py.
bool TreeComplete(const std::string& root);
// The baseline: one thread, depth first, counting files and bytes.
void PlainWalk(char* path, size_t len, long long* files, double* bytes);
// The same walk on several threads, each taking the next top-level folder.
long long PlainWalkThreads(const std::string& root, int threads);
// A folder and everything beneath it, its files counted as nodes too, so
// that the figures per node keep comparing with earlier runs.
long long CountNodes(const FolderNode* node);
// Committed private memory of this process, summed over its address space
// (the process counters' PrivateUsage is not filled in under Wine).
SIZE_T PrivateBytes();
double Median(std::vector<double> values);
// The bench's folders: in TOLV_BENCH_DIR when it is set (both builds then
// share them), else in the prefix's temporary folder.
std::string BenchFolder(const std::string& name);
