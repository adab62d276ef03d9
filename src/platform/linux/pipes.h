// Clipboard bytes through pipes, as Wayland compositors and mutter's remote-desktop service hand them over, and the
// image types made from a saved PNG. Shared by the backends that move clipboard content through file descriptors.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace valumat::qt {

// Milliseconds of the monotonic clock.
std::int64_t steadyMs();

// Reads until the writer closes its end or `maxMilliseconds` passed; true when everything came. The descriptor is
// made non-blocking and left open.
bool readAll(int fd, int maxMilliseconds, std::string& bytes);

// Writes all bytes to a pipe whose reader reads them while we write; false when the reader went away or stopped
// reading for a second.
bool writeAll(int fd, const std::string& bytes);

// The image types Qt can make from the PNG among `saved` (type, bytes) that `saved` does not hold already; none
// when it holds no "image/png".
std::vector<std::string> derivedImageTypes(const std::vector<std::pair<std::string, std::string>>& saved);

// The PNG in another image type Qt can write; "" when it cannot be.
std::string derivedImage(const std::string& png, const std::string& type);

} // namespace valumat::qt
