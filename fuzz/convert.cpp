// The conversion: arbitrary copied text with arbitrary binding fields and rate lines taken from the input.
#include "runtime/convert.h"
#include "fuzzsupport.h"
#include "runtime/errors.h"
#include "runtime/numbers.h"
#include "runtime/text.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdio>

using namespace valumat;

namespace {

// The input: the copied text up to the first line feed, then the binding and the rate lines. An input without
// anything after the text converts with the shipped pair (Euro to Deutsche Mark, 2 decimals, decimal comma).
const char* const kNames[] = {"Euro", "Deutsche Mark", "Yen", "Yen X", "", "E"};

std::string pickName(FuzzedDataProvider& in, const std::string& preferred) {
    const auto k = in.ConsumeIntegralInRange<std::size_t>(0, std::size(kNames) + 1);
    if (k == 0) {
        return preferred;
    }
    return k <= std::size(kNames) ? kNames[k - 1] : in.ConsumeRandomLengthString(12);
}

std::string rateLine(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0:
        return pickName(in, "Yen") + "; XXX ;Land; " + in.ConsumeRandomLengthString(12) + "; 1; 0; 2";
    case 1:
        return pickName(in, "Yen") + in.ConsumeRandomLengthString(40);
    default:
        return in.ConsumeRandomLengthString(40);
    }
}

bool amountCharacters(const std::string& text) {
    return text.find_first_not_of("0123456789 ,-.\b") == std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = fuzz::bytesOf(data, size);
    const auto newline = input.find('\n');
    const std::string copied = input.substr(0, newline);
    const std::string rest = newline == std::string::npos ? std::string() : input.substr(newline + 1);
    FuzzedDataProvider in(reinterpret_cast<const std::uint8_t*>(rest.data()), rest.size());
    fuzz::Session s;

    std::vector<std::string> lines = {"Euro; EUR ;Europa; 1; 1; 1; 2",
                                      "Deutsche Mark; DEM ;Deutschland; 1,95583; 0,5112919; 1; 2"};
    const int extra = in.ConsumeIntegralInRange(0, 5);
    if (extra > 0 && in.ConsumeBool()) {
        lines.clear();
    }
    for (int i = 0; i < extra; ++i) {
        lines.push_back(rateLine(in));
    }
    s.state.currencies.assign(lines);

    KeyBinding b;
    b.sourceCurrency = pickName(in, "Euro");
    b.targetCurrency = pickName(in, "Deutsche Mark");
    b.firstKey = "STRG";
    b.secondKey = "D";
    b.codePosition = in.ConsumeIntegral<std::uint8_t>();
    b.codeText = in.ConsumeRandomLengthString(6);
    b.resultDecimals = static_cast<std::uint8_t>(in.ConsumeIntegral<std::uint8_t>() + 2);
    const char* const separators[] = {",", ".", ""};
    const auto k = in.ConsumeIntegralInRange<std::size_t>(0, std::size(separators));
    b.decimalSeparator = k < std::size(separators) ? separators[k] : in.ConsumeRandomLengthString(3);
    const int slot = in.ConsumeIntegralInRange(0, KeyBindingTable::kSlots - 1);
    s.state.bindings[slot] = b;
    std::string result;
    bool failed = false;
    try {
        result = convertAmount(s.state.currencies, b, copied);
    } catch (const RuntimeError&) {
        failed = true;
    }

    // The hot key's way: the same text, or one report and an empty text.
    const std::string calculated = Calculate(s.state, copied, slot);
    s.checkReportsName("Calculate");
    FUZZ_CHECK(s.errorReports().size() == (failed ? 1u : 0u));
    FUZZ_CHECK(calculated == (failed ? std::string() : result));

    // Not an amount: back unchanged.
    const std::string trimmed = trimSpaces(copied);
    if (!amountCharacters(copied) || trimmed.empty()) {
        FUZZ_CHECK(!failed && result == copied);
        return 0;
    }
    if (failed) {
        return 0;
    }
    float rate1 = 0;
    float rate2 = 0;
    try {
        rate1 = s.state.currencies.unitsPerEuroFor(b.sourceCurrency);
        rate2 = s.state.currencies.unitsPerEuroFor(b.targetCurrency);
    } catch (const RuntimeError&) {
        FUZZ_CHECK(false); // the conversion would have failed too
    }
    if (rate1 == 0.0f || rate2 == 0.0f) {
        // Normalised, unconverted.
        FUZZ_CHECK(amountCharacters(result));
        return 0;
    }

    // Converted: the spaces come back around it, the code stands where the binding says.
    const std::size_t leading = copied.find_first_not_of(' ');
    const std::size_t trailing = copied.size() - 1 - copied.find_last_not_of(' ');
    FUZZ_CHECK(result.size() >= leading + trailing);
    FUZZ_CHECK(result.compare(0, leading, std::string(leading, ' ')) == 0);
    FUZZ_CHECK(result.compare(result.size() - trailing, trailing, std::string(trailing, ' ')) == 0);
    std::string core = result.substr(leading, result.size() - leading - trailing);
    if (b.codePosition == 1) {
        FUZZ_CHECK(core.starts_with(b.codeText));
        core.erase(0, b.codeText.size());
    } else if (b.codePosition > 1) {
        FUZZ_CHECK(core.ends_with(b.codeText));
        core.erase(core.size() - b.codeText.size());
    }
    FUZZ_CHECK(b.decimalSeparator.empty() || core.find(b.decimalSeparator) != std::string::npos);

    // With a decimal comma and no dot in the input nothing is grouped: the value can be read back. (Not in exponent
    // form: there the zeros that pad the decimals go after the exponent, as the program has always written them.)
    if (b.decimalSeparator == "," && trimmed.find('.') == std::string::npos && core.find('E') == std::string::npos) {
        std::string normalised = trimmed;
        if (const auto comma = normalised.find(','); comma != std::string::npos) {
            normalised[comma] = '.';
        }
        const double amount = toSingle(readNumber(normalised));
        const double exact = amount / (static_cast<double>(rate1) / static_cast<double>(rate2));
        std::string back = core;
        if (const auto comma = back.find(','); comma != std::string::npos) {
            back[comma] = '.';
        }
        double value = 0;
        try {
            value = readNumber(back);
        } catch (const RuntimeError&) {
            std::fprintf(stderr, "result [%s] does not read back\n", result.c_str());
            FUZZ_CHECK(false);
        }
        const double tolerance = 0.5 * std::pow(10.0, -std::min<int>(b.resultDecimals, 40)) + 1.5e-6 * std::fabs(exact);
        FUZZ_CHECK(std::fabs(value - exact) <= tolerance * 1.0000001 + 1e-300);
    }
    return 0;
}
