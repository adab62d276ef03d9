// The user's clipboard content read ahead of a hot key (runtime/clipsave.h) where each format comes through a pipe
// (Wayland data control, mutter's remote-desktop clipboard): the saving rule's book-keeping, the settle timer and
// the planned formats read one after the other as they come, while the event loop goes on.
#pragma once

#include "runtime/clipsave.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace valumat::qt {

// What a read ahead kept: the formats as the save keeps them (aliases too), and the planned types that did not come
// in time.
struct AheadContent {
    std::vector<std::pair<std::string, std::string>> formats;
    std::vector<std::string> late;
};

class PipeReadAhead final : public QObject {
    Q_OBJECT
public:
    // `open(type)`: the reading end of a pipe the owner writes the type's bytes to and then closes (ours to close
    // from then on), -1 when it cannot be asked. `trace`: a line for the clipboard's trace.
    using Open = std::function<int(const std::string& type)>;
    using Trace = std::function<void(const std::string&)>;
    PipeReadAhead(Open open, Trace trace);
    ~PipeReadAhead() override;
    PipeReadAhead(const PipeReadAhead&) = delete;
    PipeReadAhead& operator=(const PipeReadAhead&) = delete;

    // The selection changed: `types` offered by another client, or `ours` (this program's, or none). What was kept or
    // is being read of the one before goes; another client's is read once it settled.
    void changed(std::vector<std::string> types, bool ours);
    // The save at the hot key, once every change up to it was reported: what was read ahead goes into `formats`
    // (true; the types that came too late said through `note`), a read under way waited for within the save's time
    // (`wait(ms)` waits for events, false once waiting is over for good); false when the save is to read now.
    // Nothing is read ahead from here until release().
    bool saveInto(std::vector<std::pair<std::string, std::string>>& formats, const std::function<bool(int)>& wait,
                  const std::function<void(const std::string&)>& note);
    // The conversion is over: what comes now is ours.
    void release() { book_.release(); }
    // Ends a read under way and forgets what was kept (the connection is gone).
    void stop();

signals:
    // A read ahead ended, kept or not.
    void finished();

private:
    struct Read {
        clipsave::Stamp stamp;
        clipsave::Plan plan;
        std::size_t next = 0; // the planned read under way
        std::int64_t start = 0;
        int fd = -1;
        std::unique_ptr<QSocketNotifier> notifier;
        std::string bytes;
        std::unique_ptr<AheadContent> content = std::make_unique<AheadContent>();
        std::size_t kept = 0;
    };
    void schedule();
    void timeout();
    void next();
    void readable();
    void end(bool keep);
    void closeRead();

    Open open_;
    Trace trace_;
    clipsave::ReadAhead<AheadContent> book_;
    std::vector<std::string> types_; // offered by the selection read ahead
    std::uint64_t changes_ = 0;
    QTimer timer_; // the settle, then each format's time
    std::unique_ptr<Read> read_;
};

} // namespace valumat::qt
