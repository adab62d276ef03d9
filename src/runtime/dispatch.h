// The replacement window procedure of the configuration window: hot-key messages run the keystroke script.
#pragma once

#include "runtime/tables.h"

#include <cstdint>
#include <string>

namespace valumat {

// The longest we wait for the target application to fetch a pasted result before going on.
inline constexpr int kFetchWaitMilliseconds = 500;

// The argument of a script line: the text between the first pair of double quotes (all after an unmatched
// quote; the whole line when there is none).
std::string scriptArgument(const std::string& line);

// Runs the keystroke script for slot i: saves the clipboard, runs PRESS / SLEEP / CALCULATE, restores the
// clipboard once the target has taken the result. Never fails.
void RunScript(AppState& state, int slot);

// Hot-key messages run the script of every registered slot whose identifier matches; every other message goes to
// the previous window procedure.
std::intptr_t HotKeyWindowProc(AppState& state, platform::WindowHandle window, unsigned message, std::intptr_t wParam,
                               std::intptr_t lParam);

} // namespace valumat
