// What must still happen when the program ends in the middle of a conversion (the error box's "Nein", a signal,
// the end of the session): the user's clipboard goes back before the program goes.
#pragma once

#include <functional>

namespace valumat {

// Runs the registered cleanups, newest first, each at most once, and forgets them. Never fails.
void runEndCleanups();

// Registers a cleanup for as long as it lives (one user-interface thread: no locking).
class EndCleanup {
public:
    explicit EndCleanup(std::function<void()> cleanup);
    ~EndCleanup();
    EndCleanup(const EndCleanup&) = delete;
    EndCleanup& operator=(const EndCleanup&) = delete;

private:
    unsigned id_;
};

} // namespace valumat
