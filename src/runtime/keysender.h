// Synthetic key combinations for the PRESS command of the keystroke script.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <string>
#include <vector>

namespace valumat {

// The key codes of a PRESS argument's tokens (the argument followed by "+", cut at every "+"), modifier names
// skipped, zeros dropped, in token order. Fails with RuntimeError when a code lies outside 1..255: then nothing
// may be pressed.
std::vector<std::uint8_t> keyCodesOf(const std::string& argument);

// Sends one combination: releases Alt, Ctrl and Shift, presses the modifiers the argument names (substring test:
// ALT, STRG or CTRL, SHIFT), presses the numbered keys in order (extended flag), runs the message pump once,
// releases the keys in the same order, then the modifiers. All codes are checked before the first event, so a bad
// code sends nothing and fails with RuntimeError.
void SendKeyCombination(const platform::Platform& services, const std::string& argument);

} // namespace valumat
