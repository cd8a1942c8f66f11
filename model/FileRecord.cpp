#include "FileRecord.h"

#include <cstring>

namespace FileRecord {

namespace {

constexpr size_t kIdBytes = 8, kWordBytes = 4;

uint32_t Word(const char* record) {
    uint32_t word;
    memcpy(&word, record + kIdBytes, sizeof word);
    return word;
}

bool IsWide(uint32_t word) { return word >= kWide; }

bool IsWide(bool link, uint64_t size) { return link || size >= kWide; }

}  // namespace

uint64_t Id(const char* record) {
    uint64_t id;
    memcpy(&id, record, sizeof id);
    return id;
}

uint64_t Size(const char* record) {
    uint32_t word = Word(record);
    if (!IsWide(word)) return word;
    uint64_t size;
    memcpy(&size, record + kIdBytes + kWordBytes, sizeof size);
    return size;
}

bool IsLink(const char* record) { return Word(record) == kWideLink; }

const char* Name(const char* record) {
    return record + kIdBytes + kWordBytes + (IsWide(Word(record)) ? sizeof(uint64_t) : 0);
}

const char* Next(const char* record) {
    const char* name = Name(record);
    return name + strlen(name) + 1;
}

const char* Skip(const char* record, int32_t count) {
    for (; count > 0; --count) record = Next(record);
    return record;
}

size_t Bytes(uint64_t size, bool link, size_t nameBytes) {
    return kIdBytes + kWordBytes + (IsWide(link, size) ? sizeof(uint64_t) : 0) + nameBytes + 1;
}

char* Write(char* out, uint64_t id, uint64_t size, bool link, const char* name, size_t nameBytes) {
    memcpy(out, &id, sizeof id);
    out += kIdBytes;
    bool wide = IsWide(link, size);
    uint32_t word = link ? kWideLink : wide ? kWide : static_cast<uint32_t>(size);
    memcpy(out, &word, sizeof word);
    out += kWordBytes;
    if (wide) {
        memcpy(out, &size, sizeof size);
        out += sizeof size;
    }
    memcpy(out, name, nameBytes);
    out[nameBytes] = 0;
    return out + nameBytes + 1;
}

}  // namespace FileRecord
