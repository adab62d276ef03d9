#include "runtime/convert.h"

#include "runtime/errors.h"
#include "runtime/numbers.h"
#include "runtime/report.h"
#include "runtime/text.h"

namespace valumat {
namespace {

bool amountCharacter(char c) {
    return (c >= '0' && c <= '9') || c == ' ' || c == ',' || c == '-' || c == '.' || c == '\b';
}

void eraseAll(std::string& s, char c) {
    std::erase(s, c);
}

// Inserts the grouping mark between groups of three digits of the integer part, counted from the right; a leading
// "-" stays in front.
std::string groupDigits(const std::string& integerPart, const std::string& mark) {
    std::string sign;
    std::string digits = integerPart;
    if (!digits.empty() && digits[0] == '-') {
        sign = "-";
        digits.erase(0, 1);
    }
    std::string out;
    const std::size_t n = digits.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0) {
            out += mark;
        }
        out += digits[i];
    }
    return sign + out;
}

} // namespace

std::string convertAmount(const CurrencyTable& currencies, const KeyBinding& binding, const std::string& copied) {
    std::string s = copied;

    // Only amounts are converted: anything else goes back as it came.
    for (const char c : s) {
        if (!amountCharacter(c)) {
            return copied;
        }
    }
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos) {
        return copied; // empty or spaces only
    }
    const std::size_t leading = first;
    const std::size_t trailing = s.size() - 1 - s.find_last_not_of(' ');
    s = trimSpaces(s);

    // Which mark is the decimal point and which the grouping mark.
    std::string thousands;
    const auto comma = s.find(',');
    const auto dot = s.find('.');
    if (comma != std::string::npos && dot != std::string::npos && dot > comma) {
        eraseAll(s, ',');
        thousands = ",";
    } else if (comma != std::string::npos) {
        if (dot != std::string::npos) {
            thousands = ".";
        }
        eraseAll(s, '.');
        s[s.find(',')] = '.';
    } else if (dot != std::string::npos) {
        const auto last = s.rfind('.');
        std::string kept;
        for (std::size_t i = 0; i < s.size(); ++i) {
            if (s[i] != '.' || i == last) {
                kept += s[i];
            }
        }
        s = kept;
        const auto point = s.find('.');
        const std::size_t decimalsAfter = s.size() - point - 1;
        if (decimalsAfter > binding.resultDecimals) {
            s.erase(point, 1);
            thousands = ".";
        }
    }

    const float amount = toSingle(readNumber(s));
    const float rate1 = currencies.unitsPerEuroFor(binding.sourceCurrency);
    const float rate2 = currencies.unitsPerEuroFor(binding.targetCurrency);
    if (rate1 == 0.0f || rate2 == 0.0f) {
        return s;
    }

    float result = toSingle(static_cast<double>(amount) / (static_cast<double>(rate1) / static_cast<double>(rate2)));
    result = RoundTo(result, binding.resultDecimals);

    std::string t = writeSingle(result);
    // Only a result written in exponent form goes ungrouped: a mark inside "1E+07" would make it unreadable. Known
    // here, where the number is written: the separator added below may be any text, an "E" included.
    const bool exponentForm = t.find('E') != std::string::npos;
    if (result > 0.0f && result < 1.0f) {
        t.insert(0, "0");
    }
    if (result > -1.0f && result < 0.0f) {
        t.insert(1, "0"); // "-.5" becomes "-0.5"
    }

    const std::string& separator = binding.decimalSeparator;
    if (const auto point = t.find('.'); point != std::string::npos) {
        while (t.size() - point - 1 < binding.resultDecimals) {
            t += '0';
        }
        t.replace(point, 1, separator);
    } else {
        t += separator + "00";
    }

    if (!thousands.empty() && !exponentForm) {
        const auto at = separator.empty() ? std::string::npos : t.find(separator);
        if (at != std::string::npos) {
            const std::string integerPart = t.substr(0, at);
            if (integerPart.size() > 3) {
                t = groupDigits(integerPart, thousands) + t.substr(at);
            }
        }
    }

    if (binding.codePosition == 1) {
        t = binding.codeText + t;
    } else if (binding.codePosition > 0) {
        t += binding.codeText;
    }
    return std::string(leading, ' ') + t + std::string(trailing, ' ');
}

std::string Calculate(AppState& state, const std::string& copied, int slot) {
    try {
        return convertAmount(state.currencies, state.bindings.at(slot), copied);
    } catch (const RuntimeError& e) {
        reportError(state.platform, "Calculate", e.description());
        return {};
    }
}

std::string RateToText(float rate) {
    std::string text = roundToDecimal(rate, 7).plainText();
    if (const auto point = text.find('.'); point != std::string::npos) {
        text[point] = ',';
    }
    if (!text.empty() && text[0] == ',') {
        text.insert(0, "0");
    }
    return text;
}

float TextToRate(std::string& text) {
    if (trimSpaces(text).empty()) {
        return 0.0f;
    }
    if (const auto comma = text.find(','); comma != std::string::npos) {
        text[comma] = '.';
    }
    return toSingle(readNumber(text));
}

} // namespace valumat
