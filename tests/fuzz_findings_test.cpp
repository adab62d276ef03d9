// Inputs the fuzz targets in fuzz/ found, each kept with the fault it showed.
#include "runtime/text.h"
#include "store/currencyfile.h"
#include "testutil.h"

#include <gtest/gtest.h>

namespace valumat {
namespace {

// The rows were sorted by one key, folded name + "\x01" + folded line, so a name holding a character below "\x01"
// sorted before a shorter name it begins with, and "A\x01" before "A" (read_rates).
TEST(FuzzFindings, NamesWithControlCharactersSortByName) {
    const std::string nul("A\0;3", 4);
    test::Harness h;
    h.temp.write(kCurrencyFile, "A\x01;1\r\nA;2\r\n" + nul + "\r\n");
    ReadRates(h.state, false);
    ASSERT_EQ(h.state.currencies.count(), 3);
    EXPECT_EQ(h.state.currencies.line(0), "A;2");
    EXPECT_EQ(h.state.currencies.line(1), nul);
    EXPECT_EQ(h.state.currencies.line(2), "A\x01;1");

    CurrencyTable inserted;
    for (const std::string& line : {std::string("A\x01;1"), std::string("A;2"), nul}) {
        inserted.insert(line);
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(inserted.line(i), h.state.currencies.line(i));
    }
}

} // namespace
} // namespace valumat
