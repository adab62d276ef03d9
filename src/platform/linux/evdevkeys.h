// The keys Valumat sends on the Linux desktops that take input key codes (Wayland compositors, GNOME's remote
// desktop): Windows virtual-key codes as Linux input key codes on a US keyboard.
#pragma once

#include <cstdint>

namespace valumat::qt {

// The Linux input key code (KEY_A = 30, ...) of the key that a Windows virtual-key code names on a US keyboard;
// 0 when there is no such key. Left and right variants of a modifier map to their own keys; the plain modifier
// codes (16, 17, 18) to the left one.
unsigned evdevKeyForVirtualKey(std::uint8_t virtualKey);

} // namespace valumat::qt
