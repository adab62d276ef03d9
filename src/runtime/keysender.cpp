#include "runtime/keysender.h"

#include "runtime/errors.h"
#include "runtime/numbers.h"
#include "runtime/text.h"

#include <cmath>

namespace valumat {
namespace {

constexpr std::uint8_t kAlt = 18;
constexpr std::uint8_t kCtrl = 17;
constexpr std::uint8_t kShift = 16;

bool isModifierName(const std::string& upperToken) {
    return upperToken == "ALT" || upperToken == "STRG" || upperToken == "CTRL" || upperToken == "SHIFT";
}

} // namespace

std::vector<std::uint8_t> keyCodesOf(const std::string& argument) {
    std::vector<std::uint8_t> codes;
    const std::string text = argument + "+";
    std::size_t start = 0;
    for (auto plus = text.find('+'); plus != std::string::npos; plus = text.find('+', start)) {
        const std::string token = text.substr(start, plus - start);
        start = plus + 1;
        if (isModifierName(upperAscii(token))) {
            continue;
        }
        const double value = std::nearbyint(readNumber(token)); // halves to even
        if (value == 0) {
            continue;
        }
        if (value < 1 || value > 255) {
            throw RuntimeError(err::kOverflow);
        }
        codes.push_back(static_cast<std::uint8_t>(value));
    }
    return codes;
}

void SendKeyCombination(const platform::Platform& services, const std::string& argument) {
    const std::vector<std::uint8_t> codes = keyCodesOf(argument);
    const std::string upper = upperAscii(argument);
    const bool alt = upper.find("ALT") != std::string::npos;
    const bool ctrl = upper.find("STRG") != std::string::npos || upper.find("CTRL") != std::string::npos;
    const bool shift = upper.find("SHIFT") != std::string::npos;
    platform::KeyEvents& keys = *services.keyEvents;
    using platform::kKeyEventExtended;
    using platform::kKeyEventKeyUp;

    keys.keyEvent(kAlt, kKeyEventKeyUp);
    keys.keyEvent(kCtrl, kKeyEventKeyUp);
    keys.keyEvent(kShift, kKeyEventKeyUp);

    // Everything pressed so far, so that a failing event never leaves a key down.
    std::vector<std::uint8_t> down;
    auto press = [&](std::uint8_t code, std::uint32_t flags) {
        keys.keyEvent(code, flags);
        down.push_back(code);
    };
    auto releaseAll = [&] {
        for (const auto code : down) {
            try {
                keys.keyEvent(code, kKeyEventKeyUp);
            } catch (const RuntimeError&) {
                // best effort: go on with the other keys
            }
        }
    };
    try {
        if (alt) {
            press(kAlt, 0);
        }
        if (ctrl) {
            press(kCtrl, 0);
        }
        if (shift) {
            press(kShift, 0);
        }
        const std::size_t modifierCount = down.size();
        for (const auto code : codes) {
            press(code, kKeyEventExtended);
        }
        services.pump->pumpMessages();
        // Keys in token order, then the modifiers in the order they went down.
        std::vector<std::uint8_t> order(down.begin() + static_cast<std::ptrdiff_t>(modifierCount), down.end());
        order.insert(order.end(), down.begin(), down.begin() + static_cast<std::ptrdiff_t>(modifierCount));
        down = order;
        while (!down.empty()) {
            keys.keyEvent(down.front(), kKeyEventKeyUp);
            down.erase(down.begin());
        }
    } catch (const RuntimeError&) {
        releaseAll();
        throw;
    }
}

} // namespace valumat
