// The user's clipboard content read ahead of a hot key, as the saving rule says (runtime/clipsave.h), on an X
// connection and a thread of its own: the hot keys, the window and Qt's X connection never wait for it.
#pragma once

#include "runtime/clipsave.h"

#include <QByteArray>
#include <QString>

#include <xcb/xcb.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace valumat::x11 {

// What a save keeps: the formats as Qt offers them again, with their bytes.
using SavedFormats = std::vector<std::pair<QString, QByteArray>>;

// Adds the bytes read for `fetch` under the names Qt keeps them (its aliases too; the X text targets are Qt's
// "text/plain"). STRING is Latin-1 and is kept as UTF-8.
void addFetched(SavedFormats& formats, const clipsave::Fetch& fetch, std::string bytes);

// The names of a TARGETS reply's atoms, each once, in the owner's order, with the atom of each name.
struct TargetNames {
    std::vector<std::string> names;
    std::map<std::string, xcb_atom_t> atomOf;
};
TargetNames targetNames(xcb_connection_t* connection, const std::string& targetsReply);

// Appends the whole of `property` on `window` to `out`, deletes it (in a piecewise transfer that asks the owner
// for the next piece) and gives its type; false when the reply did not come.
bool takeProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property, std::string& out,
                  xcb_atom_t* type);

class ReadAhead {
public:
    // A content read ahead, with the types that did not come within the save's time.
    struct Content {
        SavedFormats formats;
        std::vector<std::string> late;
    };

    // ourClient: the client bits of this program's own X connection (its content is not read again).
    ReadAhead(std::uint32_t ourClient, bool tracing);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Whether it runs (a connection of its own, with XFixes); without it every save reads at the hot key.
    bool running() const;
    // A hot key was pressed: a content still settling is read at once.
    void hurry();
    // At the hot key: the content read ahead, when it is still the clipboard's (a read under way is waited for
    // until deadlineMs on the steady clock); nullptr: it is to be read now. No read starts until release().
    std::unique_ptr<Content> take(std::int64_t deadlineMs);
    // The conversion is over.
    void release();

private:
    struct Worker;
    std::unique_ptr<Worker> worker_;
};

} // namespace valumat::x11
