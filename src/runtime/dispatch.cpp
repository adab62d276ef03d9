#include "runtime/dispatch.h"

#include "runtime/convert.h"
#include "runtime/ending.h"
#include "runtime/errors.h"
#include "runtime/keysender.h"
#include "runtime/numbers.h"
#include "runtime/roundtrip.h"
#include "runtime/text.h"

#include <cmath>

namespace valumat {

std::string scriptArgument(const std::string& line) {
    const auto open = line.find('"');
    if (open == std::string::npos) {
        return line;
    }
    const auto close = line.find('"', open + 1);
    return close == std::string::npos ? line.substr(open + 1) : line.substr(open + 1, close - open - 1);
}

namespace {

// Whether our keys can reach the program in front. Keys sent to a program with higher rights are lost without a
// word: the user is told, once per such program, and nothing is touched, not even the clipboard.
bool KeysReachFront(AppState& state) {
    const platform::KeyEvents::Front front = state.platform.keyEvents->front();
    if (front.reachable) {
        return true;
    }
    if (state.unreachablePrograms.insert(front.program).second && state.platform.tray != nullptr) {
        const std::string which = front.program.empty() ? "" : " (" + front.program + ")";
        state.platform.tray->showMessage("Valumat", std::string(kUnreachableMessage) + which + ".");
    }
    return false;
}

} // namespace

void RunScript(AppState& state, int slot) {
    if (!KeysReachFront(state)) {
        return;
    }
    platform::MessagePump& pump = *state.platform.pump;
    RoundTrip trip(*state.platform.clipboard, [&state] { return state.endRequested; });
    trip.begin();
    // Should the program end while the script runs, the user's clipboard goes back first.
    const EndCleanup onEnd([&trip] { trip.finish(); });

    bool noCopy = false; // a CALCULATE found no copy: no further key goes out
    std::string copied;  // the last copy converted, and its result
    std::string result;
    std::string remaining = state.scriptText;
    while (remaining.size() >= 2 && remaining.ends_with("\r\n") && !state.endRequested) {
        const auto end = remaining.find("\r\n");
        const std::string line = trimSpaces(std::string_view(remaining).substr(0, end));
        const std::string word = upperAscii(line.substr(0, 9));
        try {
            if (word.starts_with("PRESS")) {
                const std::string argument = scriptArgument(line);
                if (!argument.empty() && !noCopy) {
                    trip.awaitPaste(); // a paste sent before must be over
                    trip.keysGoingOut();
                    SendKeyCombination(state.platform, argument);
                    pump.pumpMessages();
                }
            } else if (word.starts_with("SLEEP")) {
                const std::string argument = scriptArgument(line);
                if (!argument.empty()) {
                    const double ms = readNumber(argument);
                    if (ms > 0 && ms < 5000) {
                        state.platform.sleeper->sleep(static_cast<int>(std::nearbyint(ms)));
                    }
                    pump.pumpMessages();
                }
            } else if (word == "CALCULATE") {
                // The application's copy may still be on its way: the round trip waits for it (no fixed pause
                // needed). Until a result is on the clipboard no further key goes out (a failing step here leaves
                // it so): without a copy, whatever the clipboard held then (the user's content coming back, a
                // clipboard manager's), and even a clipboard without any format, could end up in the document.
                noCopy = true;
                copied = trip.copiedText();
                result.clear();
                if (!copied.empty()) {
                    result = Calculate(state, copied, slot);
                    pump.pumpMessages();
                    // After an error (the user chose to go on) the paste puts the selection back as it was, as it
                    // does for a text that is not an amount, which comes back unchanged.
                    if (result.empty()) {
                        result = copied;
                    }
                    trip.offer(result); // replaces the copy in one step
                    noCopy = false;
                    pump.pumpMessages();
                }
            }
        } catch (const RuntimeError&) {
            // the failing step is skipped; the script goes on with its next line
        }
        remaining = trimSpaces(std::string_view(remaining).substr(end + 2));
    }

    trip.awaitPaste();
    try {
        trip.finish();
    } catch (const RuntimeError&) {
    }
    // A converted amount the application did not take (a read-only text): the user's clipboard is back, and the
    // user is told the result, which they can copy from there.
    if (trip.pasteGivenUp() && !state.endRequested && result != copied) {
        state.unpastedResult = result;
        if (state.resultNotPasted) {
            state.resultNotPasted(unpastedMessage(state, slot, copied, result));
        }
    }
}

std::string unpastedMessage(const AppState& state, int slot, const std::string& copied, const std::string& result) {
    const KeyBinding& binding = state.bindings[slot];
    std::string message = trimSpaces(copied) + " " + binding.sourceCurrency + " = " + result;
    if (binding.codePosition == 0) {
        message += " " + binding.targetCurrency; // without a code the amount says no currency
    }
    return message;
}

void RunHotKey(AppState& state, int slot) {
    if (state.endRequested) {
        return;
    }
    if (state.scriptRunning) {
        // One script at a time: they share the clipboard. This one runs when the running one has ended.
        if (state.queuedHotKeys.size() < kMaxQueuedHotKeys) {
            state.queuedHotKeys.push_back(slot);
        }
        return;
    }
    struct Running {
        AppState& state;
        explicit Running(AppState& s) : state(s) { state.scriptRunning = true; }
        ~Running() { state.scriptRunning = false; }
    } running(state);
    RunScript(state, slot);
    while (!state.queuedHotKeys.empty() && !state.endRequested) {
        const int next = state.queuedHotKeys.front();
        state.queuedHotKeys.pop_front();
        RunScript(state, next);
    }
    state.queuedHotKeys.clear();
}

std::intptr_t HotKeyWindowProc(AppState& state, platform::WindowHandle window, unsigned message, std::intptr_t wParam,
                               std::intptr_t lParam) {
    if (message != platform::kWmHotKey) {
        return state.previousWindowProc ? state.previousWindowProc(window, message, wParam, lParam) : 0;
    }
    for (int i = 0; i < KeyBindingTable::kSlots; ++i) {
        const HotKeySlot& slot = state.hotKeys[static_cast<std::size_t>(i)];
        if (slot.registered == -1 && wParam == static_cast<std::int16_t>(slot.id)) {
            RunHotKey(state, i);
        }
    }
    return 0;
}

} // namespace valumat
