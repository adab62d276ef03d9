// Resource identifiers of valumat.exe, shared by valumat.rc and the C++ sources (resource-compiler safe: plain
// #defines only).
#pragma once

// The program icon (gold coin with the euro sign): window class, tray icon, dialogs. 16, 32, 48 and 256 pixels.
#define IDI_VALUMAT 101

// The four tab icons of the configuration window's tab strip, each 16x16 and 32x32:
// keys (Tasten), coins (Währungen), check mark (Optionen), "i" (Info).
#define IDI_TAB1 111
#define IDI_TAB2 112
#define IDI_TAB3 113
#define IDI_TAB4 114

// The application manifest (common controls 6, DPI awareness) and the version information.
#define IDR_MANIFEST 1
#define IDV_VERSION 1
