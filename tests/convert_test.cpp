#include "runtime/convert.h"
#include "runtime/errors.h"
#include "testutil.h"

#include <gtest/gtest.h>

namespace valumat {
namespace {

CurrencyTable table() {
    CurrencyTable t;
    t.assign({"Euro; EUR ;Europäische Union; 1; 1; 1; 2", "Deutsche Mark; DEM ;Deutschland; 1,95583; 0,5112919; 1; 2",
              "Yen; JPY ;Japan; 156.33; 0,0063967; 0; 0", "Null; NUL ;Nirgendwo; 0; 0; 0; 2"});
    return t;
}

KeyBinding binding(const std::string& from, const std::string& to, int decimals = 2, std::string separator = ",") {
    KeyBinding b;
    b.sourceCurrency = from;
    b.targetCurrency = to;
    b.firstKey = "STRG";
    b.secondKey = "D";
    b.resultDecimals = static_cast<std::uint8_t>(decimals);
    b.decimalSeparator = std::move(separator);
    return b;
}

struct Case {
    std::string copied;
    std::string from;
    std::string to;
    int decimals;
    std::string expected;
};

class ConvertTable : public ::testing::TestWithParam<Case> {};

TEST_P(ConvertTable, Converts) {
    const Case& c = GetParam();
    EXPECT_EQ(convertAmount(table(), binding(c.from, c.to, c.decimals), c.copied), c.expected)
        << "copied: " << c.copied;
}

INSTANTIATE_TEST_SUITE_P(WorkedExample, ConvertTable,
                         ::testing::Values(Case{"12.345,60", "Deutsche Mark", "Euro", 2, "6.312,21"},
                                           Case{" 1.000 ", "Deutsche Mark", "Euro", 2, " 511,29 "},
                                           Case{"12.5", "Deutsche Mark", "Euro", 2, "6,39"},
                                           Case{"-1.234,56", "Deutsche Mark", "Euro", 2, "-631,22"},
                                           // the typical conversion and the spreadsheet cell
                                           Case{"100", "Euro", "Deutsche Mark", 2, "195,58"},
                                           Case{"12.345,60", "Euro", "Deutsche Mark", 2, "24.145,89"}),
                         [](const auto& p) { return std::to_string(p.index); });

// How the separators are read: Euro to Euro only rounds and reformats.
INSTANTIATE_TEST_SUITE_P(
    Separators, ConvertTable,
    ::testing::Values(Case{"1,5", "Euro", "Euro", 2, "1,50"}, Case{"1.234,56", "Euro", "Euro", 2, "1.234,56"},
                      Case{"1,234.56", "Euro", "Euro", 2, "1,234,56"}, // grouping mark "," kept
                      Case{"1,234,567", "Euro", "Euro", 2, "1,23"},    // reading stops at the second comma
                      Case{"1.234", "Euro", "Euro", 2, "1.234,00"}, Case{"1.234", "Euro", "Euro", 3, "1,234"},
                      Case{"1.234.56", "Euro", "Euro", 2, "1234,56"}, Case{"1 234,5", "Euro", "Euro", 2, "1234,50"},
                      Case{"1.234.567", "Euro", "Euro", 2, "1.234.567,00"},
                      Case{"-1.234.567,5", "Euro", "Euro", 2, "-1.234.568,00"} /* 7 digits */),
    [](const auto& p) { return std::to_string(p.index); });

INSTANTIATE_TEST_SUITE_P(
    Writing, ConvertTable,
    ::testing::Values(Case{"12", "Euro", "Euro", 0, "12,00"},   // whole numbers always get "00"
                      Case{"12,4", "Euro", "Euro", 0, "12,00"}, // rounded to a whole number
                      Case{"6,4", "Euro", "Euro", 3, "6,400"}, Case{"-0,5", "Euro", "Euro", 2, "-0,50"},
                      Case{"0,5", "Euro", "Euro", 2, "0,50"}, Case{"0", "Euro", "Euro", 2, "0,00"},
                      Case{"-", "Euro", "Euro", 2, "0,00"}, Case{"0,004", "Euro", "Euro", 2, "0,00"},
                      Case{"2,675", "Euro", "Euro", 2, "2,68"}, // half up on the 7-digit decimal
                      Case{"-2,5", "Euro", "Euro", 0, "-2,00"}, // halves go toward plus infinity
                      Case{"-2,6", "Euro", "Euro", 0, "-3,00"},
                      Case{"123456,789", "Euro", "Euro", 2, "123456,80"}, // single precision
                      Case{"1.234.567,8", "Deutsche Mark", "Euro", 2, "631.224,50"},
                      Case{"12.345.678,9", "Euro", "Euro", 2, "1,234568E+07"}, // exponent form, not grouped
                      Case{"100", "Euro", "Yen", 0, "15633,00"}, Case{"100", "Euro", "Yen", 9, "15633,00"}),
    [](const auto& p) { return std::to_string(p.index); });

INSTANTIATE_TEST_SUITE_P(
    NotConverted, ConvertTable,
    ::testing::Values(Case{"EUR 100", "Euro", "Deutsche Mark", 2, "EUR 100"},
                      Case{"100\r\n", "Euro", "Deutsche Mark", 2, "100\r\n"}, // a copied cell's line break
                      Case{"1\t00", "Euro", "Deutsche Mark", 2, "1\t00"},
                      Case{"100\xC2\xA0", "Euro", "Deutsche Mark", 2, "100\xC2\xA0"}, // non-breaking space
                      Case{"+100", "Euro", "Deutsche Mark", 2, "+100"}, Case{"", "Euro", "Deutsche Mark", 2, ""},
                      Case{"   ", "Euro", "Deutsche Mark", 2, "   "},
                      // no row for the name, or a rate of 0: the normalised number, spaces not restored
                      Case{" 1.234,5 ", "Lira", "Euro", 2, "1234.5"}, Case{"1,5", "Euro", "Null", 2, "1.5"},
                      // an empty name is a prefix of every line: the first row's rate
                      Case{"12.5", "Euro", "", 2, "24,45"}),
    [](const auto& p) { return std::to_string(p.index); });

TEST(Convert, CurrencyCodeBeforeOrAfterWithoutAddedSpace) {
    KeyBinding b = binding("Euro", "Deutsche Mark");
    b.codeText = "DM";
    b.codePosition = 2;
    EXPECT_EQ(convertAmount(table(), b, " 100"), " 195,58DM");
    b.codePosition = 1;
    b.codeText = "DM ";
    EXPECT_EQ(convertAmount(table(), b, "100"), "DM 195,58");
    b.codePosition = 7; // any other value above 0 writes the code after
    EXPECT_EQ(convertAmount(table(), b, "100"), "195,58DM ");
}

TEST(Convert, SeparatorVariants) {
    KeyBinding b = binding("Euro", "Euro");
    b.decimalSeparator = "";
    EXPECT_EQ(convertAmount(table(), b, "1.234,5"), "123450"); // no separator: no integer part, no grouping
    b.decimalSeparator = " Komma ";
    EXPECT_EQ(convertAmount(table(), b, "1.234,5"), "1.234 Komma 50");
}

// A separator holding a capital "E" (tasten.dat allows any text) is no exponent form: the input's grouping stays.
// Only a result that is written in exponent form goes ungrouped, whatever the separator.
TEST(Convert, SeparatorWithACapitalEIsStillGrouped) {
    struct C {
        const char* separator;
        const char* copied;
        const char* expected;
    };
    for (const C& c : {C{"E", "12.345,60", "12.345E60"}, C{"xE", "1,234.5", "1,234xE50"}, C{"E", "1.234", "1.234E00"},
                       C{"E", "12.345.678,9", "1E234568E+07"}, C{"e", "12.345,60", "12.345e60"}}) {
        KeyBinding b = binding("Euro", "Euro");
        b.decimalSeparator = c.separator;
        EXPECT_EQ(convertAmount(table(), b, c.copied), c.expected) << c.separator << " " << c.copied;
    }
}

TEST(Convert, NamePrefixSelectsFirstMatchingRow) {
    CurrencyTable t;
    t.assign({"Dollar (Kanada); CAD ;Kanada; 1,5; 0,6666667; 0; 2", "Dollar; USD ;USA; 1,1; 0,9090909; 0; 2",
              "Euro; EUR ;EU; 1; 1; 1; 2"});
    // the rows stand in the order of the names, so "Dollar" is its own row ...
    EXPECT_EQ(t.name(0), "Dollar");
    EXPECT_EQ(convertAmount(t, binding("Euro", "Dollar"), "100"), "110,00");
    // ... and a shorter name picks the first row its line begins with
    EXPECT_EQ(convertAmount(t, binding("Euro", "Doll"), "100"), "110,00");
    EXPECT_EQ(convertAmount(t, binding("Euro", "Dollar ("), "100"), "150,00");
    // case-sensitive
    EXPECT_EQ(convertAmount(t, binding("Euro", "dollar"), "100"), "100");
}

TEST(Convert, MalformedRateLineAndOverflowFail) {
    CurrencyTable t;
    t.assign({"Euro; EUR ;EU; 1; 1; 1; 2", "Kaputt; KPT ;Nirgends; 2"});
    EXPECT_THROW(convertAmount(t, binding("Euro", "Kaputt"), "1"), RuntimeError);
    const std::string huge = "3" + std::string(38, '0');
    EXPECT_THROW(convertAmount(table(), binding("Euro", "Deutsche Mark"), huge), RuntimeError);              // result
    EXPECT_THROW(convertAmount(table(), binding("Euro", "Euro"), "4" + std::string(38, '0')), RuntimeError); // amount
}

TEST(Convert, CalculateReportsErrorsAndGivesEmptyText) {
    test::Harness h;
    h.state.currencies.assign({"Euro; EUR ;EU; 1; 1; 1; 2", "Kaputt; KPT ;Nirgends; 2"});
    h.state.bindings[5] = binding("Euro", "Kaputt");
    EXPECT_EQ(Calculate(h.state, "12", 5), "");
    ASSERT_EQ(h.desktop.boxes().size(), 1u);
    const auto& box = h.desktop.boxes()[0];
    EXPECT_EQ(box.text, "Folgender Fehler ist im Modul Calculate aufgetreten: Ungültiger Prozeduraufruf oder "
                        "ungültiges Argument.\n\rSoll das Programm fortgeführt werden?");
    EXPECT_EQ(box.title, "Fehler!");
    EXPECT_EQ(box.icon, platform::MessageIcon::Critical);
    EXPECT_EQ(box.buttons, platform::MessageButtons::YesNo);
    EXPECT_EQ(box.defaultButton, platform::DefaultButton::Second);

    h.errorAnswer = platform::MessageAnswer::No;
    EXPECT_THROW(Calculate(h.state, "12", 5), ProgramEnded);
    EXPECT_TRUE(h.desktop.ended());
}

TEST(RateText, ReciprocalsAndParsing) {
    struct R {
        const char* typed;
        const char* reciprocal;
    };
    for (const R& r : {R{"1,95583", "0,5112919"}, R{"2", "0,5"}, R{"0,5", "2"}, R{"3", "0,3333333"},
                       R{"1,5,5", "0,6666667"}, R{"1.2.3", "0,8333333"}, R{"1936,27", "0,0005165"}}) {
        std::string text = r.typed;
        const float x = TextToRate(text);
        EXPECT_EQ(RateToText(1.0f / x), r.reciprocal) << r.typed;
    }
    std::string blank = "  ";
    EXPECT_EQ(TextToRate(blank), 0.0f);
    std::string comma = "1,5";
    TextToRate(comma);
    EXPECT_EQ(comma, "1.5"); // the first comma is replaced in place
    EXPECT_EQ(RateToText(0.00000004f), "0");
    EXPECT_EQ(RateToText(12345678.0f), "12345680");
}

} // namespace
} // namespace valumat
