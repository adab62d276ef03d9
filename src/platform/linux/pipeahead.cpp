#include "platform/linux/pipeahead.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

#include <fcntl.h>
#include <unistd.h>

namespace valumat::qt {

namespace {

std::int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

PipeReadAhead::PipeReadAhead(Open open, Trace trace) : open_(std::move(open)), trace_(std::move(trace)) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &PipeReadAhead::timeout);
}

PipeReadAhead::~PipeReadAhead() {
    closeRead();
}

void PipeReadAhead::changed(std::vector<std::string> types, bool ours) {
    closeRead();
    read_.reset();
    timer_.stop();
    types_ = std::move(types);
    book_.changed({0, ++changes_}, ours, steadyMs());
    schedule();
}

void PipeReadAhead::stop() {
    changed({}, true);
}

std::unique_ptr<AheadContent> PipeReadAhead::atHotKey(const std::function<bool(int)>& wait) {
    const std::int64_t begin = steadyMs();
    switch (book_.atHotKey()) {
    case clipsave::AtHotKey::Wait:
        while (book_.reading() && steadyMs() < begin + clipsave::kSaveMs &&
               wait(static_cast<int>(begin + clipsave::kSaveMs - steadyMs()))) {
        }
        if (!book_.holding()) {
            return nullptr;
        }
        [[fallthrough]];
    case clipsave::AtHotKey::Use:
        return book_.take();
    case clipsave::AtHotKey::Read:
        break;
    }
    return nullptr;
}

void PipeReadAhead::schedule() {
    const std::int64_t due = book_.dueMs();
    if (due < 0) {
        timer_.stop();
    } else if (!read_) {
        timer_.start(static_cast<int>(std::max<std::int64_t>(due - steadyMs(), 0)));
    }
}

void PipeReadAhead::timeout() {
    if (read_) {
        // The format under way did not come within its time.
        read_->content->late.push_back(read_->plan.fetches[read_->next].type);
        closeRead();
        ++read_->next;
        next();
        return;
    }
    if (!book_.due(steadyMs())) {
        schedule();
        return;
    }
    auto read = std::make_unique<Read>();
    read->stamp = book_.startReading();
    read->plan = clipsave::plan(types_);
    read->start = steadyMs();
    if (read->plan.secret) {
        trace_("read ahead: secret, not read");
        book_.finished(read->stamp, nullptr);
        emit finished();
        return;
    }
    read_ = std::move(read);
    next();
}

// Starts the next planned read, or keeps what was read.
void PipeReadAhead::next() {
    Read& read = *read_;
    while (read.next < read.plan.fetches.size()) {
        const clipsave::Fetch& fetch = read.plan.fetches[read.next];
        const std::int64_t left = clipsave::timeLeft(fetch, steadyMs() - read.start);
        const int fd = left > 0 ? open_(fetch.type) : -1;
        if (fd < 0) {
            read.content->late.push_back(fetch.type);
            ++read.next;
            continue;
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        read.fd = fd;
        read.bytes.clear();
        read.notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        connect(read.notifier.get(), &QSocketNotifier::activated, this, &PipeReadAhead::readable);
        timer_.start(static_cast<int>(left));
        return;
    }
    trace_("read ahead: " + std::to_string(read.plan.fetches.size() - read.content->late.size()) + " of " +
           std::to_string(types_.size()) + " targets read in " + std::to_string(steadyMs() - read.start) + " ms, " +
           std::to_string(read.kept) + " bytes");
    end(true);
}

void PipeReadAhead::readable() {
    Read& read = *read_;
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(read.fd, buffer, sizeof buffer);
        if (n > 0) {
            read.bytes.append(buffer, static_cast<std::size_t>(n));
            if (read.kept + read.bytes.size() > clipsave::kAheadBytes) {
                trace_("read ahead: more than " + std::to_string(clipsave::kAheadBytes >> 20) + " MiB, not kept");
                end(false);
                return;
            }
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            return; // more to come
        }
        break; // the end (or a broken pipe: what came is all there is)
    }
    timer_.stop();
    closeRead();
    const clipsave::Fetch& fetch = read.plan.fetches[read.next];
    read.kept += read.bytes.size();
    for (const std::string& alias : fetch.aliases) {
        read.content->formats.emplace_back(alias, read.bytes);
    }
    read.content->formats.emplace_back(fetch.type, std::move(read.bytes));
    ++read.next;
    next();
}

// The read is over: what it got is kept when `keep` and whole (a read some types came too late for is dropped).
void PipeReadAhead::end(bool keep) {
    closeRead();
    timer_.stop();
    const std::unique_ptr<Read> done = std::move(read_);
    const bool complete = keep && done->content->late.empty();
    book_.finished(done->stamp, keep ? std::move(done->content) : nullptr, complete);
    emit finished();
}

void PipeReadAhead::closeRead() {
    if (read_ && read_->notifier) {
        read_->notifier.reset();
        ::close(read_->fd);
        read_->fd = -1;
    }
}

} // namespace valumat::qt
