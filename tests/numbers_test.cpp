#include "runtime/errors.h"
#include "runtime/numbers.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace valumat {
namespace {

TEST(ReadNumber, ReadsLikeTheRunTime) {
    struct C {
        const char* text;
        double value;
    };
    for (const C& c :
         {C{"", 0},      C{"abc", 0},     C{"12", 12},         C{" 1 2 3 ", 123},  C{"1\t2\n3", 123}, C{"-5", -5},
          C{"+5", 5},    C{"- 5", -5},    C{"1.5.5", 1.5},     C{".5", 0.5},       C{"1,5", 1},       C{"1e3", 1000},
          C{"1D2", 100}, C{"1E", 1},      C{"1E+", 1},         C{"2.5e-1x", 0.25}, C{"4999", 4999},   C{"&H56", 86},
          C{"&h1f", 31}, C{"&HFFFF", -1}, C{"&H10000", 65536}, C{"&O17", 15},      C{"&", 0},         C{"12abc", 12},
          C{"--5", 0},   C{"1e-99999", 0}}) {
        EXPECT_DOUBLE_EQ(readNumber(c.text), c.value) << c.text;
    }
    EXPECT_THROW(readNumber("1e400"), RuntimeError);
    EXPECT_THROW(readNumber("&H1FFFFFFFFF"), RuntimeError);
}

TEST(WriteSingle, SevenSignificantDigits) {
    struct C {
        float value;
        const char* text;
    };
    for (const C& c :
         {C{0.0f, "0"}, C{-0.0f, "0"}, C{195.58f, "195.58"}, C{0.5f, ".5"}, C{-0.5f, "-.5"}, C{123456.789f, "123456.8"},
          C{1234567.0f, "1234567"}, C{9999999.0f, "9999999"}, C{10000000.0f, "1E+07"}, C{12345678.0f, "1.234568E+07"},
          C{0.0001f, ".0001"}, C{0.00001f, "1E-05"}, C{-0.000012345f, "-1.2345E-05"}, C{6312.205f, "6312.205"},
          C{3.4028235e38f, "3.402823E+38"}, C{1e-45f, "1.401298E-45"}}) {
        EXPECT_EQ(writeSingle(c.value), c.text) << c.value;
    }
}

TEST(RoundTo, HalfUpOnTheSevenDigitDecimal) {
    struct C {
        float x;
        int n;
        float expected;
    };
    for (const C& c : {C{2.675f, 2, 2.68f}, C{-2.5f, 0, -2.0f}, C{-2.6f, 0, -3.0f}, C{2.5f, 0, 3.0f},
                       C{195.583f, 2, 195.58f}, C{0.125f, 2, 0.13f}, C{-0.125f, 2, -0.12f}, C{1.005f, 2, 1.01f},
                       C{0.04f, 1, 0.0f}, C{0.05f, 1, 0.1f}, C{0.0000004f, 0, 0.0f}, C{123456.789f, 2, 123456.8f},
                       C{12345678.0f, 0, 12345680.0f}, C{1.5f, 255, 1.5f}, C{0.00001f, 255, 0.00001f}}) {
        EXPECT_EQ(RoundTo(c.x, c.n), c.expected) << c.x << " to " << c.n;
    }
    EXPECT_EQ(roundToDecimal(0.3333333f, 7).plainText(), ".3333333");
    EXPECT_EQ(roundToDecimal(-1234.5f, 0).plainText(), "-1234");
    EXPECT_EQ(roundToDecimal(12345678.0f, 2).plainText(), "12345680");
}

} // namespace
} // namespace valumat

// The desktop program runs under the user's locale (a German one writes "," for the point in the C library): the
// reading, the writing and the conversion must not notice.
TEST(Numbers, IndependentOfTheCLocale) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    bool german = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "German_Germany.1252"}) {
        if (std::setlocale(LC_ALL, name) != nullptr) {
            german = true;
            break;
        }
    }
    if (!german) {
        GTEST_SKIP() << "no German locale on this machine";
    }
    const double read = valumat::readNumber("12345.6");
    const std::string written = valumat::writeSingle(12345.6f);
    const double big = valumat::readNumber("1.5E+3");
    const double small = valumat::readNumber("2e-999");
    std::setlocale(LC_ALL, before.c_str());
    EXPECT_EQ(read, 12345.6);
    EXPECT_EQ(written, "12345.6");
    EXPECT_EQ(big, 1500.0);
    EXPECT_EQ(small, 0.0);
}
