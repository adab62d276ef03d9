// The clipboard under GNOME on Wayland through a remote-desktop session of its own (remotedesktop.h), which GNOME
// lets read and set the clipboard while another window is in front: SelectionOwnerChanged tells of new content,
// SelectionRead reads one of its formats, SetSelection offers ours and SelectionTransfer asks for it. The session is
// never started (no indicator shows for it) and is made anew after GNOME closed it (the screen lock).
//
// GNOME does not say who set a selection nor who asks for ours: every owner change and request is reported with an
// unknown origin. A request the round trip refuses (one before our paste keys: mutter's own clipboard manager reads
// every new selection at once) gets no data. Another program's content is read ahead of the hot key, as on the
// other desktops.
#pragma once

#include "platform/linux/pipeahead.h"
#include "platform/platform.h"

#include <QObject>
#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace valumat::gnome {

class Session;

class Clipboard final : public QObject, public platform::Clipboard {
    Q_OBJECT
public:
    Clipboard();
    ~Clipboard() override;
    Clipboard(const Clipboard&) = delete;
    Clipboard& operator=(const Clipboard&) = delete;

    // Makes the session and turns its clipboard on; on failure `problem` says why.
    bool open(std::string& problem);

    void setListener(Listener* listener) override { listener_ = listener; }
    std::unique_ptr<Snapshot> save() override;
    void restore(const Snapshot& snapshot) override;
    // Takes the clipboard with an empty content of ours: GNOME empties it only for its owner.
    void empty() override;
    std::string readText(int maxMilliseconds) override;
    void offerText(const std::string& text) override;
    bool isOurs() override { return ours_; }
    std::int64_t nowMs() override;
    void waitForEvents(int maxMilliseconds) override;
    void trace(const std::string& what) override;

    // Ends every wait at once (the program is ending).
    void abandonWaits();

    using Formats = std::vector<std::pair<std::string, std::string>>; // mime type, bytes

signals:
    void news();

private slots:
    void onOwnerChanged(const QVariantMap& options);
    void onTransfer(const QString& mimeType, uint serial);
    void onClosed();

private:
    // The session with its clipboard on, made anew when GNOME closed it; false when that fails.
    bool ensure();
    bool offer(Formats formats, bool result, bool placeholder, std::vector<std::string> derived = {});
    bool readFormat(const std::string& type, int maxMilliseconds, std::string& bytes);
    // The reading end of a pipe mutter writes the selection's `type` to; -1 when it refused.
    int selectionRead(const std::string& type);

    std::unique_ptr<Session> session_;
    Listener* listener_ = nullptr;
    std::vector<std::string> types_; // the formats of another program's content, as announced
    bool ours_ = false;
    Formats offered_;
    std::vector<std::string> derived_; // offered too, made from the offered PNG when asked for
    bool offeredResult_ = false;
    bool placeholder_ = false; // what we offer is the emptied clipboard
    int pendingOwn_ = 0;       // selections of ours whose owner change has not come back yet
    bool tracing_ = false;
    bool abandoned_ = false;
    qt::PipeReadAhead ahead_; // the user's content read ahead of the hot key
};

} // namespace valumat::gnome
