// The replacement window procedure of the configuration window: hot-key messages run the keystroke script.
#pragma once

#include "runtime/tables.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace valumat {

// Hot keys pressed while a script runs wait for it; more than this many waiting are not taken.
inline constexpr std::size_t kMaxQueuedHotKeys = 16;

// Said beside the tray icon when the program in front runs with higher rights than ours (our keys would not reach
// it), followed by the program's name in brackets.
inline constexpr std::string_view kUnreachableMessage =
    "Valumat kann in Programmen, die als Administrator laufen, nicht umrechnen";

// The argument of a script line: the text between the first pair of double quotes (all after an unmatched
// quote; the whole line when there is none).
std::string scriptArgument(const std::string& line);

// Runs the keystroke script for slot i: saves the clipboard, runs PRESS / SLEEP / CALCULATE, restores the
// clipboard once the target has taken the result. Never fails.
void RunScript(AppState& state, int slot);

// What the user is told of a result the application did not take: "100 Euro = 195,58 Deutsche Mark" (the
// result as the binding formats it; the target's name when the binding adds no currency code).
std::string unpastedMessage(const AppState& state, int slot, const std::string& copied, const std::string& result);

// Runs the script for slot i now, or, while another script runs, after it (in the order pressed).
void RunHotKey(AppState& state, int slot);

// Hot-key messages run the script of every registered slot whose identifier matches (RunHotKey); every other
// message goes to the previous window procedure.
std::intptr_t HotKeyWindowProc(AppState& state, platform::WindowHandle window, unsigned message, std::intptr_t wParam,
                               std::intptr_t lParam);

} // namespace valumat
