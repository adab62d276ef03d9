#include "runtime/text.h"

#include <gtest/gtest.h>

namespace valumat {
namespace {

TEST(Text, Cp1252RoundTripsEveryByte) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    const std::string utf8 = cp1252ToUtf8(all);
    EXPECT_EQ(utf8ToCp1252(utf8), all);
    EXPECT_TRUE(fitsCp1252(utf8));
    EXPECT_EQ(cp1252ToUtf8("W\xE4hrung \x80"), "Währung €");
    EXPECT_EQ(utf8ToCp1252("Grüße ₽"), "Gr\xFC\xDF"
                                           "e ?");
    EXPECT_FALSE(fitsCp1252("₽"));
    EXPECT_EQ(utf8ToCp1252("\xC3"), "?"); // truncated sequence
}

TEST(Text, LinesEndAtCrLfOrLoneCrButNotLoneLf) {
    using V = std::vector<std::string>;
    EXPECT_EQ(splitLines(""), V{});
    EXPECT_EQ(splitLines("a\r\nb\r\n"), (V{"a", "b"}));
    EXPECT_EQ(splitLines("a\rb"), (V{"a", "b"}));
    EXPECT_EQ(splitLines("a\nb\r\n"), (V{"a\nb"}));
    EXPECT_EQ(splitLines("\r\n\r\nx"), (V{"", "", "x"}));
    EXPECT_EQ(splitLines("a\r\r\n"), (V{"a", ""}));
}

TEST(Text, TrimAndCase) {
    EXPECT_EQ(trimSpaces("  a b  "), "a b");
    EXPECT_EQ(trimSpaces("\ta "), "\ta"); // only blanks
    EXPECT_EQ(upperAscii("strg+86 ä"), "STRG+86 ä");
    EXPECT_EQ(compareNoCase("euro", "EURO"), 0);
    EXPECT_LT(compareNoCase("Dänische Krone", "Österreich"), 0);
    EXPECT_EQ(compareNoCase("ä", "Ä"), 0);
    EXPECT_LT(compareNoCase("Euro", "Yen"), 0);
    EXPECT_EQ(utf8Length("Währung"), 7u);
    EXPECT_EQ(utf8Left("Währung", 2), "Wä");
}

} // namespace
} // namespace valumat
