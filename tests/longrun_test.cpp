// Many hot-key presses on the fake desktop: random scripts (PRESS, SLEEP, CALCULATE and garbage lines), random
// bindings re-registered now and then, random clipboard contents in several formats, and second hot keys pressed
// while a script runs. After every press no key may be down and the user's clipboard must be back in every format;
// over the second half the memory in use must not grow. VALUMAT_LONGRUN sets the number of presses.
#include "runtime/dispatch.h"
#include "runtime/hotkeys.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>

#if defined(__SANITIZE_ADDRESS__)
#define VALUMAT_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VALUMAT_ASAN 1
#endif
#endif

#ifdef VALUMAT_ASAN
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace valumat {
namespace {

#ifndef VALUMAT_LONGRUN_DEFAULT
#define VALUMAT_LONGRUN_DEFAULT 20000
#endif

int presses() {
    const char* text = std::getenv("VALUMAT_LONGRUN");
    const int n = text != nullptr ? std::atoi(text) : VALUMAT_LONGRUN_DEFAULT;
    return n > 0 ? n : VALUMAT_LONGRUN_DEFAULT;
}

// Bytes the allocator has handed out and not got back.
std::size_t bytesInUse() {
#ifdef VALUMAT_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

const char* const kCurrencies[] = {"Euro; EUR ;Europa; 1; 1; 1; 2",
                                   "Deutsche Mark; DEM ;Deutschland; 1,95583; 0,5112919; 1; 2",
                                   "Yen; JPY ;Japan; 156,33; 0,0063967; 0; 0", "Kaputt; KPT ;Nirgends"};
const char* const kNames[] = {"Euro", "Deutsche Mark", "Yen", "Kaputt", "Unbekannt", ""};
constexpr const char* kTextScript = "PRESS \"STRG+67\"\r\nSLEEP \"100\"\r\nCALCULATE\r\nPRESS \"STRG+86\"\r\n";

class Generator {
public:
    explicit Generator(unsigned seed) : rng_(seed) {}

    int number(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    bool chance(int percent) { return number(1, 100) <= percent; }
    template <typename T, std::size_t N> const T& pick(const T (&items)[N]) {
        return items[static_cast<std::size_t>(number(0, static_cast<int>(N) - 1))];
    }

    std::string amount() {
        static const char* const kAmounts[] = {"100", "12.345,60", " 1.000 ", "-1.234,56", "12.5",    "1,234.56",
                                               "0,5", "1e5",       "EUR 5",   "",          "1,5\r\n", "99999999999"};
        if (chance(50)) {
            return pick(kAmounts);
        }
        std::string text;
        for (int i = number(1, 12); i > 0; --i) {
            text += "0123456789.,- "[number(0, 13)];
        }
        return text;
    }

    std::string pressArgument() {
        static const char* const kKeys[] = {"67", "86", "36", "35", "113", "13", "27", "0", "300", "x", "&H56", ""};
        std::string argument;
        if (chance(50)) {
            argument += "STRG+";
        }
        if (chance(20)) {
            argument += "SHIFT+";
        }
        if (chance(10)) {
            argument += "ALT+";
        }
        for (int i = number(0, 3); i > 0; --i) {
            argument += chance(80) ? pick(kKeys) : std::to_string(number(1, 255));
            argument += '+';
        }
        if (!argument.empty() && chance(70)) {
            argument.pop_back();
        }
        return argument;
    }

    std::string scriptLine() {
        switch (number(0, 9)) {
        case 0:
        case 1:
        case 2:
            return (chance(80) ? "PRESS \"" : "press \"") + pressArgument() + (chance(95) ? "\"" : "");
        case 3:
        case 4:
            return "SLEEP \"" + std::to_string(number(-5, 5200)) + "\"";
        case 5:
        case 6:
            return chance(90) ? "CALCULATE" : "calculate now";
        default: {
            std::string garbage;
            for (int i = number(0, 20); i > 0; --i) {
                garbage += static_cast<char>(number(32, 126));
            }
            return garbage;
        }
        }
    }

    std::string script() {
        if (chance(40)) {
            return kTextScript;
        }
        std::string text;
        for (int i = number(0, 8); i > 0; --i) {
            text += scriptLine() + "\r\n";
        }
        return text;
    }

    KeyBinding binding() {
        static const char* const kSeparators[] = {",", ".", "", " "};
        KeyBinding b;
        b.sourceCurrency = pick(kNames);
        b.targetCurrency = pick(kNames);
        b.firstKey = chance(80) ? "STRG" : "-";
        switch (number(0, 2)) {
        case 0:
            b.secondKey = std::string(1, static_cast<char>('A' + number(0, 25)));
            break;
        case 1:
            b.secondKey = std::string(1, static_cast<char>('0' + number(0, 9)));
            break;
        default:
            b.secondKey = "F" + std::to_string(number(1, 12));
        }
        b.codePosition = static_cast<std::uint8_t>(number(0, 2));
        b.codeText = chance(50) ? " DM" : "";
        b.resultDecimals = static_cast<std::uint8_t>(number(0, 4));
        b.decimalSeparator = pick(kSeparators);
        return b;
    }

private:
    std::mt19937 rng_;
};

TEST(LongRun, HotKeysNeverLeaveAKeyDownOrTheClipboardChanged) {
    const int total = presses();
    test::Harness h;
    h.state.currencies.assign({std::begin(kCurrencies), std::end(kCurrencies)});
    auto editor = std::make_shared<fake::FakeEditor>();
    h.desktop.setForeground(editor);
    Generator g(20240611);

    std::vector<int> slots; // the slots whose hot key can be pressed
    auto rebind = [&] {
        RemoveHotKeys(h.state);
        ASSERT_EQ(h.desktop.registeredCount(), 0u);
        ASSERT_EQ(h.desktop.atomCount(), 0u); // every atom given back
        h.state.bindings = KeyBindingTable{};
        slots.clear();
        for (int i = g.number(1, 12); i > 0; --i) {
            const int slot = g.number(0, KeyBindingTable::kSlots - 1);
            h.state.bindings[slot] = g.binding();
            slots.push_back(slot);
        }
        SetHotKeys(h.state);
    };

    long long delivered = 0;
    long long keyEvents = 0;
    long long nested = 0;
    long long reports = 0;
    std::size_t halfway = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int press = 0; press < total; ++press) {
        if (press % 500 == 0) {
            rebind();
            if (press == (total / 2) / 500 * 500 && press > 0) {
                halfway = bytesInUse();
            }
        }
        h.state.scriptText = g.script();
        editor->setText(g.amount());
        editor->select(static_cast<std::size_t>(g.number(0, 3)), static_cast<std::size_t>(g.number(0, 20)));
        h.desktop.setInputLatency(g.chance(80) ? 0 : g.number(1, 60));
        h.desktop.setFetchDelay(g.chance(70) ? 0 : g.number(1, 700));

        if (g.chance(85)) {
            h.desktop.setClipboardText(g.amount());
        } else {
            h.desktop.setClipboardFormat("application/x-leer", "");
        }
        if (g.chance(25)) {
            h.desktop.setClipboardFormat("application/x-zeichnung", std::string("\x89PNG\r\n\x1a\n", 8) + g.amount());
        }
        const auto before = h.desktop.clipboardFormats();

        const KeyBinding& b =
            h.state.bindings[slots[static_cast<std::size_t>(g.number(0, static_cast<int>(slots.size()) - 1))]];
        const unsigned modifiers = b.firstKey == "STRG" ? platform::kModControl : 0;
        const auto code = static_cast<unsigned>(hotKeyCode(b.secondKey));
        // Sometimes a second hot key arrives while the script runs (at the pump after some key event).
        int second = g.chance(10) ? g.number(1, 6) : 0;
        const KeyBinding& other =
            h.state.bindings[slots[static_cast<std::size_t>(g.number(0, static_cast<int>(slots.size()) - 1))]];
        const unsigned otherModifiers = other.firstKey == "STRG" ? platform::kModControl : 0;
        const auto otherCode = static_cast<unsigned>(hotKeyCode(other.secondKey));
        h.desktop.onKeyEvent([&](std::uint8_t, std::uint32_t) {
            if (second > 0 && --second == 0 && h.desktop.pressHotKey(otherModifiers, otherCode)) {
                ++nested;
            }
        });

        if (!h.desktop.pressHotKey(modifiers, code)) {
            h.desktop.onKeyEvent(nullptr);
            continue; // another binding took the combination first
        }
        ++delivered;
        h.desktop.runUntilIdle();
        h.desktop.onKeyEvent(nullptr);

        // Checked when the program is done. (A slow application may still be working through key strokes the
        // script sent last; a copy among them would land on the clipboard later, as the script asked.)
        ASSERT_TRUE(h.desktop.keysDown().empty()) << "press " << press << ": " << h.desktop.transcript();
        ASSERT_EQ(h.desktop.clipboardFormats(), before) << "press " << press << ": " << h.desktop.transcript();
        h.state.platform.sleeper->sleep(1000); // the user pauses: the application catches up
        for (const fake::ShownBox& box : h.desktop.boxes()) {
            ASSERT_TRUE(box.text.starts_with("Folgender Fehler ist im Modul Calculate aufgetreten: ")) << box.text;
        }
        reports += static_cast<long long>(h.desktop.boxes().size());
        h.desktop.clearBoxes();
        const std::string transcript = h.desktop.transcript();
        for (const char* kind : {" down", " up"}) {
            for (auto at = transcript.find(kind); at != std::string::npos; at = transcript.find(kind, at + 1)) {
                ++keyEvents;
            }
        }
        h.desktop.clearTranscript();
    }
    rebind();
    const std::size_t end = bytesInUse();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf(
        "long run: %d presses, %lld delivered (%lld during a script, %lld error reports), %lld key events, %.1f s; "
        "bytes in use at half %zu, at end %zu\n",
        total, delivered, nested, reports, keyEvents, seconds, halfway, end);
    if (halfway != 0) {
        EXPECT_LT(static_cast<long long>(end) - static_cast<long long>(halfway), 64 * 1024);
    }
}

} // namespace
} // namespace valumat
