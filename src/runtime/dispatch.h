// The replacement window procedure of the configuration window: hot-key messages run the keystroke script.
#pragma once

#include "runtime/tables.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace valumat {

// The longest we wait for the target application to fetch a pasted result before going on. Both waits end as
// soon as the application has done its part; the bounds only matter for an application that is busy (saving,
// starting up on a cold machine), and giving up early there costs the user the conversion or, after a paste,
// lets a late paste take the user's own clipboard content.
inline constexpr int kFetchWaitMilliseconds = 2000;
// The longest CALCULATE waits for the application's copy to arrive.
inline constexpr int kCopyWaitMilliseconds = 2000;
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

// Runs the script for slot i now, or, while another script runs, after it (in the order pressed).
void RunHotKey(AppState& state, int slot);

// Hot-key messages run the script of every registered slot whose identifier matches (RunHotKey); every other
// message goes to the previous window procedure.
std::intptr_t HotKeyWindowProc(AppState& state, platform::WindowHandle window, unsigned message, std::intptr_t wParam,
                               std::intptr_t lParam);

} // namespace valumat
