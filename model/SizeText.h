// The text forms of sizes and file counts shown in the list and the header.
#pragma once

#include <cstddef>
#include <cstdint>

// Room for any text these functions write, the terminating zero included.
constexpr size_t kSizeTextMax = 32;

// "<number> <unit>" with decimal units b, Kb, Mb, Gb; at most six significant
// digits, no trailing zeros. Always returns true.
bool FormatSize(double bytes, char* out, size_t capacity = kSizeTextMax);

// The count in decimal digits, a minus sign first when negative.
void FormatCount(int32_t count, char* out, size_t capacity = kSizeTextMax);
