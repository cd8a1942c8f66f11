#include "SizeText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kDigits = 17;  // the rounding is decided on this many significant digits

// Writes value rounded to `decimals` places, half away from zero, as plain
// fixed-point text with trailing zeros (and a bare point) removed. value >= 0.
void WriteFixed(double value, int decimals, char* out, size_t capacity) {
    char sci[40];
    snprintf(sci, sizeof sci, "%.*e", kDigits - 1, value);  // d.ddddde+XX
    char digits[kDigits];
    int n = 0;
    const char* p = sci;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9' && n < kDigits) digits[n++] = *p;
    int exponent = *p == 'e' ? atoi(p + 1) : 0;
    if (value == 0) exponent = 0;

    // The rounded value times 10^decimals as a digit string; `kept` is how many
    // significant digits reach down to the last decimal place.
    char whole[400];
    int len = 0;
    int kept = exponent + 1 + decimals;
    if (kept <= 0) {
        whole[len++] = (kept == 0 && digits[0] >= '5') ? '1' : '0';
    } else {
        for (int i = 0; i < kept && len < static_cast<int>(sizeof whole) - 2; ++i)
            whole[len++] = i < n ? digits[i] : '0';
        if (kept < n && digits[kept] >= '5') {
            int i = len - 1;
            while (i >= 0 && whole[i] == '9') whole[i--] = '0';
            if (i >= 0) {
                whole[i]++;
            } else {
                memmove(whole + 1, whole, static_cast<size_t>(len));
                whole[0] = '1';
                ++len;
            }
        }
        int lead = 0;  // only a zero value has leading zeros here
        while (lead < len - 1 && whole[lead] == '0') ++lead;
        memmove(whole, whole + lead, static_cast<size_t>(len - lead));
        len -= lead;
    }
    whole[len] = 0;

    // Place the point `decimals` digits from the right, padding with zeros.
    char text[440];
    int t = 0;
    int intDigits = len - decimals;
    if (intDigits <= 0) {
        text[t++] = '0';
        text[t++] = '.';
        for (int i = 0; i < -intDigits; ++i) text[t++] = '0';
        for (int i = 0; i < len; ++i) text[t++] = whole[i];
    } else {
        for (int i = 0; i < intDigits; ++i) text[t++] = whole[i];
        if (decimals > 0) {
            text[t++] = '.';
            for (int i = intDigits; i < len; ++i) text[t++] = whole[i];
        }
    }
    if (decimals > 0) {
        while (text[t - 1] == '0') --t;
        if (text[t - 1] == '.') --t;
    }
    text[t] = 0;
    snprintf(out, capacity, "%s", text);
}

}  // namespace

bool FormatSize(double bytes, char* out, size_t capacity) {
    if (capacity == 0) return true;
    if (!std::isfinite(bytes)) bytes = 0;
    const char* sign = "";
    if (bytes < 0) {
        sign = "-";
        bytes = -bytes;
    }
    double value = bytes;
    const char* unit = " b";
    if (bytes > 1000000000.0) {
        value = bytes / 1000000000.0;
        unit = " Gb";
    } else if (bytes > 1000000.0) {
        value = bytes / 1000000.0;
        unit = " Mb";
    } else if (bytes > 1000.0) {
        value = bytes / 1000.0;
        unit = " Kb";
    }
    int significant = value / 1000 > 0.1 ? 6 : value / 100 > 0.1 ? 5 : 4;
    // Digits before the point, counted against exact powers of ten.
    int intDigits = 1;
    for (double power = 10; intDigits < 308 && value >= power; power *= 10) ++intDigits;
    // From a million Gb on, six significant digits would fall inside the integer
    // part; such sizes are shown to the whole Gb instead.
    int decimals = significant > intDigits ? significant - intDigits : 0;
    char number[kSizeTextMax * 2];
    WriteFixed(value, decimals, number, sizeof number);
    snprintf(out, capacity, "%s%s%s", sign, number, unit);
    return true;
}

void FormatCount(int32_t count, char* out, size_t capacity) {
    if (capacity == 0) return;
    snprintf(out, capacity, "%ld", static_cast<long>(count));
}
