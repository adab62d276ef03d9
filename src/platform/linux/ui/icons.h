// The program's pictures, drawn rather than shipped: the program icon (a gold coin with the euro sign) and the
// four small icons of the configuration window's tabs. They need a running QGuiApplication (fonts).
#pragma once

#include <QIcon>

#include <string>

namespace valumat::qtui {

// The program icon, in the usual sizes from 16 to 256 pixels: window icon, tray icon and the info tab's picture.
QIcon valumatIcon();

// The tab icons by their image names "tab1" to "tab4" (keys, currencies, options, info); an empty icon for any
// other name.
QIcon tabIcon(const std::string& name);

} // namespace valumat::qtui
