// The clipboard of a Wayland seat through wlr data control: read, emptied and set in the background, without a
// window of ours having the keyboard focus.
#pragma once

#include "platform/linux/pipeahead.h"
#include "platform/platform.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct zwlr_data_control_device_v1;
struct zwlr_data_control_offer_v1;
struct zwlr_data_control_source_v1;

namespace valumat::wayland {

class Connection;

// Every format (mime type) is kept across a conversion. Data control does not say which client set a selection, nor
// who asks for our data: every owner change and request is reported with an unknown origin. A request the round trip
// refuses (one made before our paste keys went out: a clipboard history reading every new selection at once) is
// answered with no data.
class Clipboard final : public QObject, public platform::Clipboard {
    Q_OBJECT
public:
    explicit Clipboard(Connection& connection);
    ~Clipboard() override;
    Clipboard(const Clipboard&) = delete;
    Clipboard& operator=(const Clipboard&) = delete;

    void setListener(Listener* listener) override { listener_ = listener; }
    std::unique_ptr<Snapshot> save() override;
    void restore(const Snapshot& snapshot) override;
    void empty() override;
    std::string readText(int maxMilliseconds) override;
    void offerText(const std::string& text) override;
    bool isOurs() override { return ownSelection_ != nullptr; }
    std::int64_t nowMs() override;
    void waitForEvents(int maxMilliseconds) override;
    void trace(const std::string& what) override;

    // Ends every wait at once (the program is ending).
    void abandonWaits();

    struct Offer {
        zwlr_data_control_offer_v1* proxy = nullptr;
        std::vector<std::string> types;
    };
    struct Source {
        Clipboard* owner = nullptr;
        zwlr_data_control_source_v1* proxy = nullptr;
        std::vector<std::pair<std::string, std::string>> formats; // mime type, bytes
        std::vector<std::string> derived; // image types made from the PNG among formats when asked for
        bool result = false;              // our result (not the user's content)
    };

signals:
    void news();

private:
    friend struct Listeners;
    void onSelection(zwlr_data_control_offer_v1* offer);
    void onSend(Source* source, const char* mimeType, int fd);
    void onCancelled(Source* source);
    Source* offerSource(std::vector<std::pair<std::string, std::string>> formats, bool result,
                        std::vector<std::string> derived = {});
    // Reads one format of the selection of another client; false when it did not come in time.
    bool readOffer(const std::string& type, int maxMilliseconds, std::string& bytes);

    // The reading end of a pipe the selection's owner writes `type` to; -1 when there is none.
    int receive(const std::string& type);

    Connection& connection_;
    Listener* listener_ = nullptr;
    zwlr_data_control_device_v1* device_ = nullptr;
    std::map<zwlr_data_control_offer_v1*, Offer> offers_; // introduced, not yet dropped
    zwlr_data_control_offer_v1* selection_ = nullptr;     // the current selection of another client
    Source* ownSelection_ = nullptr;                      // our source while it is the selection
    std::vector<std::unique_ptr<Source>> sources_;        // ours, until cancelled
    bool tracing_ = false;
    bool abandoned_ = false;
    qt::PipeReadAhead ahead_; // the user's content read ahead of the hot key
};

} // namespace valumat::wayland
