// The configuration window with a small currency table and a few key bindings loaded, as start-up leaves it: the
// first binding selected and in the editor, no changes pending.
#pragma once

#include "store/currencyfile.h"
#include "store/keyfile.h"
#include "windowutil.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace valumat::test {

inline const std::vector<std::string> kTestCurrencies = {
    "Euro; EUR ;Europa; 1; 1; 1; 2",
    "Yen; JPY ;Japan; 130,5; 0,0076628; 0; 0",
    "Deutsche Mark; DEM ;Deutschland; 1,95583; 0,5112919; 1; 2",
    "US-Dollar; USD ;USA; 1,1; 0,9090909; 0; 2",
};

// Slot 0: Ctrl+D, code off but a code text kept; slot 1: Ctrl+E, code after; slot 2: F5 alone, code before.
inline const std::vector<std::string> kTestBindings = {
    "Euro#:#Deutsche Mark#:#STRG#:#D#:#0#:#DM#:#2#:#,",
    "Deutsche Mark#:#Euro#:#STRG#:#E#:#2#:# €#:#3#:#,",
    "Euro#:#Yen#:#-#:#F5#:#1#:#¥#:#0#:#.",
};

inline std::string crlfLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

class KeysWindow : public ::testing::Test {
protected:
    // Loads the tables as start-up does and selects the first binding; then forgets every message box and change.
    void start(const std::vector<std::string>& bindings = kTestBindings) {
        h.temp.write(kCurrencyFile, cp1252(crlfLines(kTestCurrencies)));
        h.temp.write(kBindingFile, cp1252(crlfLines(bindings)));
        h.state.bindings = KeyBindingTable{}; // as at program start: reading leaves the slots after the last
        ReadRates(h.state, false);
        ReadKeyList(h.state, false);
        SaveKeyList(h.state, true);
        keys.fillKeyLists();
        if (keys.KeyList.count() > 0) {
            keys.KeyList.setListIndex(0);
        }
        h.window.clearChanges();
        h.desktop.clearBoxes();
    }

    std::vector<KeyBinding> slots() const {
        std::vector<KeyBinding> all;
        for (int i = 0; i < KeyBindingTable::kSlots; ++i) {
            all.push_back(h.state.bindings[i]);
        }
        return all;
    }

    // Picks a list entry by its text, as the user would.
    static void pick(ui::ComboBox& list, const std::string& text) {
        const auto items = list.items();
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (items[i] == text) {
                list.select(static_cast<int>(i));
                return;
            }
        }
        ADD_FAILURE() << "no entry " << text << " in " << list.name();
    }

    WindowHarness h;
    ui::KeysTab& keys = h.window.keys;
};

// n bindings Euro >> Yen on Ctrl+0 ... (the keys repeat), as lines of the binding file.
inline std::vector<std::string> manyBindings(int n) {
    static const std::string keys = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::vector<std::string> lines;
    for (int i = 0; i < n; ++i) {
        lines.push_back("Euro#:#Yen#:#STRG#:#" + std::string(1, keys[static_cast<std::size_t>(i) % keys.size()]) +
                        "#:#2#:#c" + std::to_string(i) + "#:#" + std::to_string(i % 10) + "#:#,");
    }
    return lines;
}

} // namespace valumat::test
