#include "runtime/dispatch.h"

#include "runtime/convert.h"
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

void RunScript(AppState& state, int slot) {
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
    // after the paste (Enter in a spreadsheet, say) and the final restore must wait until it was taken.
    bool resultSet = false;
    int pressesSinceResult = 0;
    auto awaitFetch = [&] {
        if (resultSet && clipboard.resultPending()) {
            clipboard.waitFetched(kFetchWaitMilliseconds);
        }
        resultSet = false;
    };

    std::string remaining = state.scriptText;
    while (remaining.size() >= 2 && remaining.ends_with("\r\n")) {
        const auto end = remaining.find("\r\n");
        const std::string line = trimSpaces(std::string_view(remaining).substr(0, end));
        const std::string word = upperAscii(line.substr(0, 9));
        try {
            if (word.starts_with("PRESS")) {
                const std::string argument = scriptArgument(line);
                if (!argument.empty()) {
                    if (pressesSinceResult > 0) {
                        awaitFetch();
                    }
                    SendKeyCombination(state.platform, argument);
                    ++pressesSinceResult;
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
                std::string text = clipboard.getText();
                if (!text.empty()) {
                    text = Calculate(state, text, slot);
                    pump.pumpMessages();
                    clipboard.clear();
                    clipboard.setText(text);
                    resultSet = true;
                    pressesSinceResult = 0;
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
        clipboard.clear();
        if (saved) {
            clipboard.restore(*saved);
        }
    } catch (const RuntimeError&) {
    }
}

std::intptr_t HotKeyWindowProc(AppState& state, platform::WindowHandle window, unsigned message, std::intptr_t wParam,
                               std::intptr_t lParam) {
    if (message != platform::kWmHotKey) {
        return state.previousWindowProc ? state.previousWindowProc(window, message, wParam, lParam) : 0;
    }
    for (int i = 0; i < KeyBindingTable::kSlots; ++i) {
        const HotKeySlot& slot = state.hotKeys[static_cast<std::size_t>(i)];
        if (slot.registered == -1 && wParam == static_cast<std::int16_t>(slot.id)) {
            RunScript(state, i);
        }
    }
    return 0;
}

} // namespace valumat
