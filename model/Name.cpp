#include "Name.h"

#include <cstdint>
#include <cstring>

namespace {

bool IsHigh(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLow(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

size_t EncodeName(const wchar_t* wide, size_t count, char* out) {
    size_t bytes = 0;
    auto put = [&](uint32_t byte) {
        if (out) out[bytes] = static_cast<char>(byte);
        ++bytes;
    };
    for (size_t i = 0; i < count; ++i) {
        uint32_t code = static_cast<uint16_t>(wide[i]);
        // A paired surrogate is one code point; a lone one is kept as it is.
        if (IsHigh(code) && i + 1 < count && IsLow(static_cast<uint16_t>(wide[i + 1]))) {
            code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<uint16_t>(wide[i + 1]) - 0xDC00);
            ++i;
        }
        if (code < 0x80) {
            put(code);
        } else if (code < 0x800) {
            put(0xC0 | (code >> 6));
            put(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            put(0xE0 | (code >> 12));
            put(0x80 | ((code >> 6) & 0x3F));
            put(0x80 | (code & 0x3F));
        } else {
            put(0xF0 | (code >> 18));
            put(0x80 | ((code >> 12) & 0x3F));
            put(0x80 | ((code >> 6) & 0x3F));
            put(0x80 | (code & 0x3F));
        }
    }
    if (out) out[bytes] = 0;
    return bytes;
}

void AppendDecodedName(const char* name, std::wstring& out) {
    auto at = reinterpret_cast<const unsigned char*>(name);
    while (*at) {
        uint32_t lead = *at, code = lead;
        int follow = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        if (follow) code = lead & (0x3F >> follow);
        ++at;
        for (int i = 0; i < follow && (*at & 0xC0) == 0x80; ++i) code = (code << 6) | (*at++ & 0x3F);
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(code));
        }
    }
}

size_t CharacterUnits(const std::wstring& text, size_t at) {
    bool pair = at + 1 < text.size() && IsHigh(static_cast<uint16_t>(text[at])) &&
                IsLow(static_cast<uint16_t>(text[at + 1]));
    return pair ? 2 : 1;
}

std::wstring DecodeName(const char* name) {
    std::wstring wide;
    AppendDecodedName(name, wide);
    return wide;
}

std::string EncodeName(const std::wstring& wide) {
    std::string text(EncodeName(wide.data(), wide.size(), nullptr), '\0');
    EncodeName(wide.data(), wide.size(), &text[0]);
    return text;
}
