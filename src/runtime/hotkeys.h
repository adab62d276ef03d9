// Hot-key registration and the window hook that routes hot-key messages to the dispatcher.
#pragma once

#include "runtime/tables.h"

#include <string>
#include <vector>

namespace valumat {

// The virtual-key code of a binding's second key: one character gives its Windows-1252 code, "F" and a number
// gives the number plus 111, an empty key gives 45 (no key; "-" gives 45 too).
int hotKeyCode(const std::string& secondKey);

// Registers one hot key per binding (slot i under the atom "Rate<i>") and hooks the configuration window's
// procedure. Errors are reported ("SetHotKeys").
void SetHotKeys(AppState& state);

// The slots whose combination the system refused because another program holds it, in slot order.
std::vector<int> refusedHotKeys(const AppState& state);

// Restores the window procedure, unregisters every registered hot key and deletes its atom, then runs the message
// pump. Does nothing before the first SetHotKeys. Errors are reported ("RemoveHotKeys").
void RemoveHotKeys(AppState& state);

} // namespace valumat
