// A file's record in its folder's run (FolderNode), written once when the
// folder is listed and packed with no alignment: the file system's id (8
// bytes), the size (4 bytes), the name in the stored form of Name.h with its
// zero. A size past the 4-byte range, and a link, take an escape in the size
// word and the full size in 8 more bytes before the name.
#pragma once

#include <cstddef>
#include <cstdint>

namespace FileRecord {

constexpr uint32_t kWide = 0xFFFFFFFEu;      // the size follows in 8 bytes
constexpr uint32_t kWideLink = 0xFFFFFFFFu;  // a link; its size follows in 8 bytes

uint64_t Id(const char* record);
uint64_t Size(const char* record);
bool IsLink(const char* record);
const char* Name(const char* record);
const char* Next(const char* record);
// The record `count` records on from this one in the same run.
const char* Skip(const char* record, int32_t count);
// The bytes a record takes, and writing one; Write returns its end.
size_t Bytes(uint64_t size, bool link, size_t nameBytes);
char* Write(char* out, uint64_t id, uint64_t size, bool link, const char* name, size_t nameBytes);

}  // namespace FileRecord
