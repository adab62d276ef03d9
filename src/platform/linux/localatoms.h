// An atom table inside the program, for desktops without global atoms: names (case-insensitive) to numbers from
// 0xC000 upward, with use counts.
#pragma once

#include "platform/platform.h"
#include "runtime/errors.h"
#include "runtime/text.h"

#include <map>
#include <string>

namespace valumat::qt {

class LocalAtoms final : public platform::Atoms {
public:
    std::uint16_t globalAddAtom(const std::string& name) override {
        const std::string key = foldNoCase(name);
        for (auto& [atom, entry] : atoms_) {
            if (entry.key == key) {
                ++entry.uses;
                return atom;
            }
        }
        for (unsigned candidate = 0xC000; candidate <= 0xFFFF; ++candidate) {
            const auto atom = static_cast<std::uint16_t>(candidate);
            if (!atoms_.contains(atom)) {
                atoms_[atom] = Entry{key, 1};
                return atom;
            }
        }
        throw RuntimeError(err::kOutOfMemory);
    }

    void globalDeleteAtom(std::uint16_t atom) override {
        const auto it = atoms_.find(atom);
        if (it != atoms_.end() && --it->second.uses <= 0) {
            atoms_.erase(it);
        }
    }

    // The name an atom was added under, case folded; "" for an unknown atom.
    std::string name(std::uint16_t atom) const {
        const auto it = atoms_.find(atom);
        return it != atoms_.end() ? it->second.key : std::string();
    }

private:
    struct Entry {
        std::string key;
        int uses = 0;
    };
    std::map<std::uint16_t, Entry> atoms_;
};

} // namespace valumat::qt
