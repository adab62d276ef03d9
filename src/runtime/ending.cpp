#include "runtime/ending.h"

#include <utility>
#include <vector>

namespace valumat {

namespace {

struct Entry {
    unsigned id;
    std::function<void()> cleanup;
};

std::vector<Entry>& entries() {
    static std::vector<Entry> list;
    return list;
}

unsigned nextId = 1;

} // namespace

void runEndCleanups() {
    auto& list = entries();
    while (!list.empty()) {
        // Taken out before it runs: a cleanup that ends up here again does not run twice.
        std::function<void()> cleanup = std::move(list.back().cleanup);
        list.pop_back();
        try {
            if (cleanup) {
                cleanup();
            }
        } catch (...) {
            // the program is ending: what cannot be done is left
        }
    }
}

EndCleanup::EndCleanup(std::function<void()> cleanup) : id_(nextId++) {
    entries().push_back(Entry{id_, std::move(cleanup)});
}

EndCleanup::~EndCleanup() {
    auto& list = entries();
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->id == id_) {
            list.erase(it);
            return;
        }
    }
}

} // namespace valumat
