// The size and file-count texts that every row and the header show.
#include <gtest/gtest.h>

#include <string>

#include "SizeText.h"

namespace {

std::string Size(double bytes) {
    char text[kSizeTextMax];
    EXPECT_TRUE(FormatSize(bytes, text));
    return text;
}

std::string Count(int32_t count) {
    char text[kSizeTextMax];
    FormatCount(count, text);
    return text;
}

TEST(SizeText, UnitsAndRoundingAsListed) {
    const struct {
        double bytes;
        const char* text;
    } cases[] = {
        {0, "0 b"},
        {999, "999 b"},
        {1000, "1000 b"},
        {1001, "1.001 Kb"},
        {1500, "1.5 Kb"},
        {12345, "12.345 Kb"},
        {999999, "999.999 Kb"},
        {1000000, "1000 Kb"},
        {1000001, "1 Mb"},
        {1062500, "1.063 Mb"},  // an exact tie rounds up, not to even
        {1234567, "1.235 Mb"},
        {999999999, "1000 Mb"},  // the carry lengthens the integer part
        {1000000001, "1 Gb"},
        {2500000000.0, "2.5 Gb"},
        {123456789012.0, "123.457 Gb"},
        {1234567890000.0, "1234.57 Gb"},
        {12345678900000.0, "12345.7 Gb"},
    };
    for (const auto& c : cases) EXPECT_EQ(Size(c.bytes), c.text) << "bytes " << c.bytes;
}

TEST(SizeText, SignificantDigitsFollowTheValue) {
    EXPECT_EQ(Size(5), "5 b");
    EXPECT_EQ(Size(1234), "1.234 Kb");       // 4 digits below 10
    EXPECT_EQ(Size(12345678), "12.346 Mb");  // 5 digits below 100
    EXPECT_EQ(Size(123456789), "123.457 Mb");
    EXPECT_EQ(Size(4294967296.0), "4.295 Gb");
    EXPECT_EQ(Size(1002000), "1.002 Mb");  // inner zeros stay, trailing ones go
}

// From a million Gb on, the text is the size in whole Gb.
TEST(SizeText, PetabyteSizesShowWholeGigabytes) {
    EXPECT_EQ(Size(999999999999999.0), "1000000 Gb");  // rounds up into the next power
    EXPECT_EQ(Size(1e15), "1000000 Gb");
    EXPECT_EQ(Size(1234567890123456.0), "1234568 Gb");
    EXPECT_EQ(Size(9.2e18), "9200000000 Gb");
    char small[6];
    EXPECT_TRUE(FormatSize(1e15, small, sizeof small));  // cut, but terminated
    EXPECT_EQ(std::string(small), "10000");
}

TEST(SizeText, FileCountIsPlainDecimal) {
    EXPECT_EQ(Count(0), "0");
    EXPECT_EQ(Count(7), "7");
    EXPECT_EQ(Count(1234567), "1234567");
    EXPECT_EQ(Count(-3), "-3");
    EXPECT_EQ(Count(INT32_MAX), "2147483647");
}

}  // namespace
