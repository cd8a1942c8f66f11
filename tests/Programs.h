// Other programs run by the tests, as the shell or an administrator would.
#pragma once

#include <windows.h>

#include <string>

// The folder of the running test program, where the built programs are.
std::string BuildDir();
// Runs a command line (UTF-8) to its end, or for `waitMs` at most; returns
// what it printed, with its exit code in `exitCode`.
std::string Capture(const std::string& command, DWORD* exitCode, DWORD waitMs = 300000);
