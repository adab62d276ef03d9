#include "platform/linux/pipeahead.h"

#include "platform/linux/pipes.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace valumat::qt {

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

bool PipeReadAhead::saveInto(std::vector<std::pair<std::string, std::string>>& formats,
                             const std::function<bool(int)>& wait,
                             const std::function<void(const std::string&)>& note) {
    const std::int64_t begin = steadyMs();
    switch (book_.atHotKey()) {
    case clipsave::AtHotKey::Wait:
        while (book_.reading() && steadyMs() < begin + clipsave::kSaveMs &&
               wait(static_cast<int>(begin + clipsave::kSaveMs - steadyMs()))) {
        }
        if (book_.reading() && read_) {
            // The owner is still at it after the save's time: what came stands for the save, the rest is late (a
            // new read would give the owner the same time again, and mutter refuses a second read while one runs).
            for (std::size_t k = read_->next; k < read_->plan.fetches.size(); ++k) {
                read_->content->late.push_back(read_->plan.fetches[k].type);
            }
            trace_("read ahead: not done within the save's time, what came is kept");
            closeRead();
            timer_.stop();
            const std::unique_ptr<Read> cut = std::move(read_);
            book_.finished(cut->stamp, std::move(cut->content));
        }
        if (!book_.holding()) {
            return false;
        }
        break;
    case clipsave::AtHotKey::Use:
        break;
    case clipsave::AtHotKey::Read:
        return false;
    }
    const std::unique_ptr<AheadContent> ahead = book_.take();
    formats = std::move(ahead->formats);
    if (!ahead->late.empty()) {
        note(clipsave::lateNote(ahead->late));
    }
    trace_("save: read ahead, " + std::to_string(formats.size()) + " formats, waited " +
           std::to_string(steadyMs() - begin) + " ms");
    return true;
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
