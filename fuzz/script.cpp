// The keystroke-script interpreter: an arbitrary script run by a hot key against a simulated editor (or
// spreadsheet), with arbitrary clipboard contents, timing, and second hot keys arriving while it runs.
#include "runtime/script.h"
#include "fuzzsupport.h"
#include "runtime/dispatch.h"
#include "runtime/hotkeys.h"

#include <cstdint>

using namespace valumat;

namespace {

KeyBinding binding(const char* from, const char* to, const char* key, std::uint8_t decimals) {
    KeyBinding b;
    b.sourceCurrency = from;
    b.targetCurrency = to;
    b.firstKey = "STRG";
    b.secondKey = key;
    b.resultDecimals = decimals;
    b.decimalSeparator = ",";
    return b;
}

} // namespace

// The input: eight bytes of set-up, then the script (the bytes of a script file, or the script text as it is).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kSetUp = 8;
    if (size < kSetUp) {
        return 0;
    }
    fuzz::Session s;
    s.state.currencies.assign({"Euro; EUR ;Europa; 1; 1; 1; 2",
                               "Deutsche Mark; DEM ;Deutschland; 1,95583; 0,5112919; 1; 2", "Kaputt; KPT ;Nirgends"});
    s.state.bindings[0] = binding("Euro", "Deutsche Mark", "D", 2);
    s.state.bindings[1] = binding("Deutsche Mark", "Euro", "E", 2);
    s.state.bindings[2] = binding("Euro", "Kaputt", "K", 2); // its rate line is broken: CALCULATE reports
    SetHotKeys(s.state);
    FUZZ_CHECK(s.desktop.registeredCount() == 3);

    static const char* const kTexts[] = {"Betrag: 100 Euro", "12.345,60", "", "-1.234,56 DM", "1,5\r\n", "abc"};
    const char keys[] = {'D', 'E', 'K', 'D'};
    const bool spreadsheet = (data[0] & 7) == 7;
    const char firstKey = keys[(data[0] >> 3) & 3];
    const char nestedKey = keys[(data[0] >> 5) & 3];
    const bool raw = (data[0] & 0x80) != 0;
    s.desktop.setInputLatency(data[1] % 41);
    s.desktop.setFetchDelay(data[2] * 3);

    // What the user has on the clipboard: text, another format, both or nothing.
    const int clip = data[3] & 3;
    if (clip == 1 || clip == 3) {
        s.desktop.setClipboardText(kTexts[(data[3] >> 2) % std::size(kTexts)]);
    }
    if (clip >= 2) {
        // A format of the owner's own: kept beside the text (a picture beside a text is not saved).
        s.desktop.setClipboardFormat("application/x-zeichnung", std::string("\x89PNG\r\n\x1a\n\0", 9));
    }
    const auto before = s.desktop.clipboardFormats();

    // Second hot keys pressed while a script runs: on every n-th key event, a bounded number of times.
    int nestedLeft = data[4] & 3;
    const int nestedEvery = ((data[4] >> 2) & 7) + 1;
    int events = 0;
    s.desktop.onKeyEvent([&](std::uint8_t, std::uint32_t) {
        if (nestedLeft > 0 && ++events % nestedEvery == 0) {
            --nestedLeft;
            s.desktop.pressHotKey(platform::kModControl, static_cast<unsigned>(nestedKey));
        }
    });

    const std::string text = kTexts[data[7] % std::size(kTexts)];
    auto editor = std::make_shared<fake::FakeEditor>(text);
    editor->select(data[5] % 24, data[6] % 24);
    if (spreadsheet) {
        s.desktop.setForeground(std::make_shared<fake::FakeSpreadsheet>(std::vector<std::string>{text, "x"}));
    } else {
        s.desktop.setForeground(editor);
    }

    const std::string script = fuzz::bytesOf(data + kSetUp, size - kSetUp);
    s.state.scriptText = raw ? script : scriptFromBytes(script);

    FUZZ_CHECK(s.desktop.pressHotKey(platform::kModControl, static_cast<unsigned>(firstKey)));
    s.desktop.runUntilIdle();
    s.desktop.onKeyEvent(nullptr);

    // No key left down, and every format of the user's clipboard is back.
    FUZZ_CHECK(s.desktop.keysDown().empty());
    FUZZ_CHECK(s.desktop.clipboardFormats() == before);
    s.checkReportsName("Calculate", SIZE_MAX); // one per CALCULATE with the broken rate line
    return 0;
}
