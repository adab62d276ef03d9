// The clipboard of a Wayland seat through wlr data control: read, emptied and set in the background, without a
// window of ours having the keyboard focus.
#pragma once

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

// Every format (mime type) is kept across a conversion.
//
// Recognising the application's copy. After clear() (the selection emptied by setting none: we do not own the
// clipboard then), the first new selection that arrives after a key of ours went out is the copy. Data control does
// not say which client set a selection; a clipboard manager that takes an emptied clipboard back at once does so
// before our Ctrl+C, and is not taken for the copy.
//
// Knowing when the paste is over. The target asks our source for the data (a send event per format it reads); it
// has the result once it asked for a text format after our paste keys went out (a clipboard history reads every new
// selection at once, before that), and the paste counts as finished when no further request has come for
// kPasteQuietMs after that. Until then the result stays on the clipboard.
class Clipboard final : public QObject, public platform::Clipboard {
    Q_OBJECT
public:
    // keysSent: how many key events have gone out so far (the virtual keyboard's count).
    Clipboard(Connection& connection, std::function<std::uint64_t()> keysSent);
    ~Clipboard() override;
    Clipboard(const Clipboard&) = delete;
    Clipboard& operator=(const Clipboard&) = delete;

    std::unique_ptr<Snapshot> save() override;
    void restore(const Snapshot& snapshot) override;
    std::string getText() override;
    void clear() override;
    bool waitCopied(int maxMilliseconds) override;
    void setText(const std::string& text) override;
    bool resultPending() override;
    bool waitFetched(int maxMilliseconds) override;

    // Ends every wait at once (the program is ending).
    void abandonWaits();

    static constexpr int kPasteQuietMs = 40;
    static constexpr int kLaterPasteMs = 60;
    static constexpr int kFetchTextMs = 500;
    // All formats of the user's clipboard together: the longest we wait for their owner to hand them over.
    static constexpr int kSaveMs = 1500;

    struct Offer {
        zwlr_data_control_offer_v1* proxy = nullptr;
        std::vector<std::string> types;
    };
    struct Source {
        Clipboard* owner = nullptr;
        zwlr_data_control_source_v1* proxy = nullptr;
        std::vector<std::pair<std::string, std::string>> formats; // mime type, bytes
        bool result = false;                                      // our result (not the user's content)
    };

signals:
    void news();

private:
    friend struct Listeners;
    std::string copiedText(); // the copy's text as offered, empty when it cannot be read
    void onSelection(zwlr_data_control_offer_v1* offer);
    void onSend(Source* source, const char* mimeType, int fd);
    void onCancelled(Source* source);
    Source* offerSource(std::vector<std::pair<std::string, std::string>> formats, bool result);
    // Reads one format of an offer by another client; false when it did not come in time.
    bool readOffer(zwlr_data_control_offer_v1* offer, const std::string& type, int maxMilliseconds, std::string& bytes);
    bool pasteFinished() const;
    void waitForNews(int milliseconds);
    void trace(const std::string& what) const;

    Connection& connection_;
    std::function<std::uint64_t()> keysSent_;
    zwlr_data_control_device_v1* device_ = nullptr;
    std::map<zwlr_data_control_offer_v1*, Offer> offers_; // introduced, not yet dropped
    zwlr_data_control_offer_v1* selection_ = nullptr;     // the current selection of another client
    Source* ownSelection_ = nullptr;                      // our source while it is the selection
    std::vector<std::unique_ptr<Source>> sources_;        // ours, until cancelled
    bool tracing_ = false;
    bool abandoned_ = false;

    // the copy
    bool watching_ = false;
    bool copied_ = false;
    std::uint64_t keysAtClear_ = 0;
    zwlr_data_control_offer_v1* copy_ = nullptr;

    // the paste
    bool resultSet_ = false;
    bool fetched_ = false;
    bool lost_ = false;
    std::int64_t lastRequestMs_ = 0;
    bool fetchGaveUp_ = false;
    std::uint64_t keysAtResult_ = 0;
};

} // namespace valumat::wayland
