#include "runtime/numbers.h"

#include "runtime/errors.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <system_error>

namespace valumat {

namespace {

// A number written with "." as the point and an optional exponent, read the same under every locale (strtod would
// take "," for the point under a German one). An overflow gives infinity, an underflow 0, as strtod does.
double parseDecimal(const std::string& text) {
    const char* first = text.data();
    const char* last = text.data() + text.size();
    bool negative = false;
    if (first != last && (*first == '+' || *first == '-')) {
        negative = *first == '-';
        ++first;
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
    if (error == std::errc::result_out_of_range) {
        const auto e = std::string_view(first, static_cast<std::size_t>(last - first)).find_first_of("eE");
        const bool tiny =
            e != std::string_view::npos && e + 1 < static_cast<std::size_t>(last - first) && first[e + 1] == '-';
        value = tiny ? 0.0 : HUGE_VAL;
    } else if (error != std::errc()) {
        value = 0.0;
    }
    static_cast<void>(end);
    return negative ? -value : value;
}

} // namespace
namespace {

bool ignorable(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

// Whole numbers after "&H" / "&O": digits of the given base, wrapped like the run-time's literals.
double readRadix(std::string_view text, std::size_t pos, int base) {
    std::uint64_t value = 0;
    int digits = 0;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (ignorable(c)) {
            continue;
        }
        int d = -1;
        if (c >= '0' && c <= '9') {
            d = c - '0';
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            d = c - 'a' + 10;
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            d = c - 'A' + 10;
        }
        if (d < 0 || d >= base) {
            break;
        }
        if (value > (UINT64_C(1) << 40)) {
            throw RuntimeError(err::kOverflow);
        }
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(d);
        ++digits;
    }
    if (digits == 0) {
        return 0;
    }
    if (value <= 0xFFFF) {
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
    }
    if (value <= 0xFFFFFFFFu) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    }
    throw RuntimeError(err::kOverflow);
}

} // namespace

double readNumber(std::string_view text) {
    std::size_t pos = 0;
    auto skip = [&] {
        while (pos < text.size() && ignorable(text[pos])) {
            ++pos;
        }
    };
    skip();
    if (pos < text.size() && text[pos] == '&') {
        ++pos;
        skip();
        if (pos < text.size() && (text[pos] == 'H' || text[pos] == 'h')) {
            return readRadix(text, pos + 1, 16);
        }
        if (pos < text.size() && (text[pos] == 'O' || text[pos] == 'o')) {
            return readRadix(text, pos + 1, 8);
        }
        return readRadix(text, pos, 8);
    }
    std::string clean;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
        clean += text[pos++];
    }
    bool anyDigit = false;
    bool point = false;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (ignorable(c)) {
            continue;
        }
        if (c >= '0' && c <= '9') {
            clean += c;
            anyDigit = true;
        } else if (c == '.' && !point) {
            clean += c;
            point = true;
        } else {
            break;
        }
    }
    if (!anyDigit) {
        return 0;
    }
    if (pos < text.size() && (text[pos] == 'E' || text[pos] == 'e' || text[pos] == 'D' || text[pos] == 'd')) {
        std::size_t p = pos + 1;
        std::string exponent = "e";
        while (p < text.size() && ignorable(text[p])) {
            ++p;
        }
        if (p < text.size() && (text[p] == '-' || text[p] == '+')) {
            exponent += text[p++];
        }
        bool expDigit = false;
        for (; p < text.size(); ++p) {
            const char c = text[p];
            if (ignorable(c)) {
                continue;
            }
            if (c < '0' || c > '9') {
                break;
            }
            // Keep the exponent text bounded; a huge exponent over- or underflows either way.
            if (exponent.size() < 12) {
                exponent += c;
            }
            expDigit = true;
        }
        if (expDigit) {
            clean += exponent;
        }
    }
    const double value = parseDecimal(clean);
    if (std::isinf(value)) {
        throw RuntimeError(err::kOverflow);
    }
    return value;
}

float toSingle(double value) {
    if (std::isnan(value)) {
        throw RuntimeError(err::kOverflow);
    }
    if (std::fabs(value) > static_cast<double>(FLT_MAX)) {
        // Values that round down to FLT_MAX still fit.
        const float f = static_cast<float>(value);
        if (std::isinf(f)) {
            throw RuntimeError(err::kOverflow);
        }
        return f;
    }
    return static_cast<float>(value);
}

namespace {

// The 7 significant digits of a float: digits (no trailing zeros, at least one), decimal exponent of the first
// digit, sign. Zero gives "0", exponent 0.
struct Digits {
    std::string digits;
    int exponent = 0;
    bool negative = false;
};

Digits sevenDigits(float value) {
    Digits d;
    if (value == 0.0f) {
        d.digits = "0";
        return d;
    }
    // Written without the C library's locale: under a German locale "%e" would write a comma.
    char buf[32] = {};
    std::to_chars(buf, buf + sizeof buf - 1, static_cast<double>(value), std::chars_format::scientific, 6);
    const char* p = buf;
    if (*p == '-') {
        d.negative = true;
        ++p;
    }
    for (; *p && *p != 'e'; ++p) {
        if (*p != '.') {
            d.digits += *p;
        }
    }
    d.exponent = std::atoi(p + 1);
    while (d.digits.size() > 1 && d.digits.back() == '0') {
        d.digits.pop_back();
    }
    return d;
}

} // namespace

std::string writeSingle(float value) {
    const Digits d = sevenDigits(value);
    if (d.digits == "0") {
        return "0";
    }
    std::string out = d.negative ? "-" : "";
    if (d.exponent >= 7 || d.exponent < -4) {
        out += d.digits[0];
        if (d.digits.size() > 1) {
            out += '.';
            out += d.digits.substr(1);
        }
        char exp[16];
        std::snprintf(exp, sizeof exp, "E%c%02d", d.exponent < 0 ? '-' : '+', std::abs(d.exponent));
        out += exp;
        return out;
    }
    if (d.exponent >= 0) {
        const auto whole = static_cast<std::size_t>(d.exponent) + 1;
        if (d.digits.size() <= whole) {
            out += d.digits + std::string(whole - d.digits.size(), '0');
        } else {
            out += d.digits.substr(0, whole) + "." + d.digits.substr(whole);
        }
    } else {
        out += "." + std::string(static_cast<std::size_t>(-d.exponent - 1), '0') + d.digits;
    }
    return out;
}

std::string Decimal::plainText() const {
    if (mantissa == 0) {
        return "0";
    }
    std::int64_t m = mantissa;
    int e = exponent;
    while (m % 10 == 0) {
        m /= 10;
        ++e;
    }
    const bool negative = m < 0;
    std::string digits = std::to_string(negative ? -m : m);
    std::string out = negative ? "-" : "";
    if (e >= 0) {
        out += digits + std::string(static_cast<std::size_t>(e), '0');
    } else {
        const auto frac = static_cast<std::size_t>(-e);
        if (digits.size() > frac) {
            out += digits.substr(0, digits.size() - frac) + "." + digits.substr(digits.size() - frac);
        } else {
            out += "." + std::string(frac - digits.size(), '0') + digits;
        }
    }
    return out;
}

double Decimal::toDouble() const {
    return parseDecimal(std::to_string(mantissa) + "e" + std::to_string(exponent));
}

Decimal roundToDecimal(float x, int decimals) {
    const Digits d = sevenDigits(x);
    std::int64_t m = std::stoll(d.digits);
    if (d.negative) {
        m = -m;
    }
    // x = m × 10^e
    const int e = d.exponent - static_cast<int>(d.digits.size()) + 1;
    if (m == 0 || e + decimals >= 0) {
        return Decimal{m, e}; // no digits below the rounding place
    }
    const int k = -(e + decimals); // x · 10^decimals = m / 10^k
    if (k >= 8) {
        return Decimal{0, 0}; // |x · 10^decimals| < 0.1
    }
    std::int64_t p = 1;
    for (int i = 0; i < k; ++i) {
        p *= 10;
    }
    // floor((m + p/2) / p) = floor((2m + p) / 2p)
    const std::int64_t num = 2 * m + p;
    const std::int64_t den = 2 * p;
    std::int64_t q = num / den;
    if (num % den != 0 && num < 0) {
        --q;
    }
    return Decimal{q, -decimals};
}

float RoundTo(float x, int decimals) {
    return toSingle(roundToDecimal(x, decimals).toDouble());
}

} // namespace valumat
