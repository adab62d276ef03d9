#include "platform/linux/pipes.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace valumat::qt {

std::int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool readAll(int fd, int maxMilliseconds, std::string& bytes) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    bytes.clear();
    const std::int64_t deadline = steadyMs() + maxMilliseconds;
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0) {
            return true;
        }
        if (errno != EAGAIN && errno != EINTR) {
            return false;
        }
        const std::int64_t left = deadline - steadyMs();
        if (left <= 0) {
            return false;
        }
        pollfd ready{fd, POLLIN, 0};
        ::poll(&ready, 1, static_cast<int>(left));
    }
}

bool writeAll(int fd, const std::string& bytes) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd ready{fd, POLLOUT, 0};
            if (::poll(&ready, 1, 1000) <= 0) {
                return false;
            }
        } else {
            return false; // the reader went away
        }
    }
    return true;
}

std::vector<std::string> derivedImageTypes(const std::vector<std::pair<std::string, std::string>>& saved) {
    auto holds = [&saved](const std::string& type) {
        return std::any_of(saved.begin(), saved.end(), [&type](const auto& format) { return format.first == type; });
    };
    std::vector<std::string> derived;
    if (!holds("image/png")) {
        return derived;
    }
    for (const QByteArray& mime : QImageWriter::supportedMimeTypes()) {
        std::string type = mime.toStdString();
        if (!holds(type)) {
            derived.push_back(std::move(type));
        }
    }
    return derived;
}

std::string derivedImage(const std::string& png, const std::string& type) {
    const QList<QByteArray> names = QImageWriter::imageFormatsForMimeType(QByteArray::fromStdString(type));
    const QImage image = names.isEmpty() ? QImage() : QImage::fromData(QByteArray::fromStdString(png), "PNG");
    if (image.isNull()) {
        return {};
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    return image.save(&buffer, names.front().constData()) ? bytes.toStdString() : std::string();
}

} // namespace valumat::qt
