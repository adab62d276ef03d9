// Clipboard bytes through pipes, as Wayland compositors and mutter's remote-desktop service hand them over, and the
// image types made from a saved PNG. Shared by the backends that move clipboard content through file descriptors.
#pragma once

#include <string>
#include <vector>

namespace valumat::qt {

// Reads until the writer closes its end or `maxMilliseconds` passed; true when everything came. The descriptor is
// made non-blocking and left open.
bool readAll(int fd, int maxMilliseconds, std::string& bytes);

// Writes all bytes to a pipe whose reader reads them while we write; false when the reader went away or stopped
// reading for a second.
bool writeAll(int fd, const std::string& bytes);

// The image types Qt can make from a PNG that `offered` does not hold already, given that it holds "image/png".
std::vector<std::string> derivedImageTypes(const std::vector<std::string>& offered);

// The PNG in another image type Qt can write; "" when it cannot be.
std::string derivedImage(const std::string& png, const std::string& type);

} // namespace valumat::qt
