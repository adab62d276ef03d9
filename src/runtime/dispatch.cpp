#include "runtime/dispatch.h"

#include "runtime/convert.h"
#include "runtime/ending.h"
#include "runtime/errors.h"
#include "runtime/keysender.h"
#include "runtime/numbers.h"
#include "runtime/text.h"

#include <cmath>
#include <memory>

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
    platform::Clipboard& clipboard = *state.platform.clipboard;
    platform::MessagePump& pump = *state.platform.pump;

    std::unique_ptr<platform::Clipboard::Snapshot> saved;
    try {
        saved = clipboard.save();
    } catch (const RuntimeError&) {
    }
    try {
        clipboard.clear();
    } catch (const RuntimeError&) {
    }

    // A result we put on the clipboard that the target has not fetched yet. The paste is asynchronous: a PRESS
    // after the paste (Enter in a spreadsheet, say) and the final restore must wait until it was taken, with every
    // format the target asks for.
    // The result stays until the restore: a key sent after the paste may make the target paste once more (Enter
    // after a copy, in some spreadsheets), and then it must find the result again, not the user's content.
    bool resultSet = false;
    bool pressedSinceWait = false;
    bool noCopy = false; // a CALCULATE found no copy: no further key goes out
    auto awaitFetch = [&] {
        if (resultSet && pressedSinceWait) {
            clipboard.waitFetched(kFetchWaitMilliseconds);
        }
        pressedSinceWait = false;
    };
    bool restored = false;
    auto restoreUsers = [&] {
        if (restored) {
            return;
        }
        restored = true;
        if (saved) {
            clipboard.restore(*saved);
        } else {
            clipboard.clear();
        }
    };
    // Should the program end while the script runs, the user's clipboard goes back first.
    const EndCleanup onEnd([&] { restoreUsers(); });

    std::string remaining = state.scriptText;
    while (remaining.size() >= 2 && remaining.ends_with("\r\n") && !state.endRequested) {
        const auto end = remaining.find("\r\n");
        const std::string line = trimSpaces(std::string_view(remaining).substr(0, end));
        const std::string word = upperAscii(line.substr(0, 9));
        try {
            if (word.starts_with("PRESS")) {
                const std::string argument = scriptArgument(line);
                if (!argument.empty() && !noCopy) {
                    awaitFetch(); // a paste sent before must be over
                    SendKeyCombination(state.platform, argument);
                    pressedSinceWait = true;
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
                // The application's copy may still be on its way: wait for it (no fixed pause needed). Until a
                // result is on the clipboard no further key goes out (a failing step here leaves it so).
                noCopy = true;
                clipboard.waitCopied(kCopyWaitMilliseconds);
                const std::string copied = clipboard.getText();
                if (!copied.empty()) {
                    std::string result = Calculate(state, copied, slot);
                    pump.pumpMessages();
                    // After an error (the user chose to go on) the paste puts the selection back as it was, as it
                    // does for a text that is not an amount, which comes back unchanged.
                    if (result.empty()) {
                        result = copied;
                    }
                    clipboard.setText(result); // replaces the copy in one step
                    noCopy = false;
                    resultSet = true; // the paste must have fetched it before the user's content comes back
                    pressedSinceWait = false;
                } else {
                    // No copy: nothing may be pasted. Whatever the clipboard held then (the user's content coming
                    // back, a clipboard manager's), and even a clipboard without any format, can end up in the
                    // document (some applications, refused a format they expected, try again later and paste what
                    // they find then). So the keys that follow are not sent.
                }
                if (!copied.empty()) {
                    pump.pumpMessages();
                }
            }
        } catch (const RuntimeError&) {
            // the failing step is skipped; the script goes on with its next line
        }
        remaining = trimSpaces(std::string_view(remaining).substr(end + 2));
    }

    awaitFetch();
    try {
        restoreUsers();
    } catch (const RuntimeError&) {
    }
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
