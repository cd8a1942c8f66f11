// Names as the file system holds them. The platform's names are UTF-16 and
// may hold any 16-bit unit but the separator, unpaired surrogates included.
// The tree keeps each name as 8-bit text in the generalised UTF-8 form that
// encodes every unit on its own terms (a lone surrogate as its own three
// bytes), so that an ASCII name costs one byte a character and every stored
// name converts back to the very units the listing gave. These two functions
// are the only conversions between the forms.
#pragma once

#include <cstddef>
#include <string>

// Writes the stored form of `count` UTF-16 units and its zero into `out`, when
// `out` is given; returns its length in bytes, without the zero.
size_t EncodeName(const wchar_t* wide, size_t count, char* out);

// Appends the UTF-16 units of a stored name to `out`.
void AppendDecodedName(const char* name, std::wstring& out);

// The units of the character at `at` of a UTF-16 text: 2 for a surrogate
// pair, which is never cut in two, else 1.
size_t CharacterUnits(const std::wstring& text, size_t at);

// The same, for callers that want a whole string.
std::wstring DecodeName(const char* name);
std::string EncodeName(const std::wstring& wide);
