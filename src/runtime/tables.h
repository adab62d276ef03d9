// The in-memory tables and the program-wide state: currencies, key bindings, hot-key registration, the loaded
// keystroke script, and the plain state of the configuration window that the tables feed (the currency editor,
// the binding list lines, the options). The window logic binds its controls to this state; it keeps no copy.
#pragma once

#include "platform/platform.h"
#include "runtime/files.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace valumat {

// ---------------------------------------------------------------------------------------------------------------
// Currencies. Each row is its record line exactly as loaded or entered: seven fields separated by ";"
// (name; code ;country; units per Euro; Euro per unit; fixed; decimals). Rows stand in ascending case-insensitive
// order of their names (ties by the whole line, then in order of insertion).
class CurrencyTable {
public:
    static constexpr int kMaxRows = 32000;

    int count() const { return static_cast<int>(rows_.size()); }
    bool empty() const { return rows_.empty(); }
    // Record line of a row; fails with RuntimeError (subscript out of range) for a row that does not exist.
    const std::string& line(int row) const;
    // The name shown in the currency list: the part of the trimmed line before its first ";".
    std::string name(int row) const;
    // Inserts a line at its place in the order; returns its row.
    int insert(std::string line);
    // Replaces a whole table at once (keeps the order rule); faster than inserting one by one.
    void assign(std::vector<std::string> lines);
    // Replaces a row's line in place (the row keeps its position until the table is next sorted by a reload).
    void replace(int row, std::string line);
    void remove(int row);
    void clear() { rows_.clear(); }
    // First row whose line equals the text exactly, or -1.
    int find(const std::string& line) const;
    // Units per Euro of the currency a binding names: the first row, in table order, whose record line begins with
    // the name (case-sensitive); its fourth field, trimmed, first "," made ".", read as a number and stored as a
    // 32-bit value. 0 when no row matches. Fails with RuntimeError when the matching line lacks the ";" that ends
    // the fourth field, or the value overflows.
    float unitsPerEuroFor(const std::string& name) const;

private:
    struct Row {
        std::string line;
        std::string nameKey; // folded name, then
        std::string lineKey; // folded line: the sort key
    };
    static Row makeRow(std::string line);
    static bool before(const Row& a, const Row& b);
    std::vector<Row> rows_;
};

// ---------------------------------------------------------------------------------------------------------------
// Key bindings: 201 slots, 0 to 200.
struct KeyBinding {
    std::string sourceCurrency;
    std::string targetCurrency;
    std::string firstKey;          // "STRG" or "-"
    std::string secondKey;         // "0".."9", "A".."Z", "F1".."F12"; "" or "-" = no key
    std::uint8_t codePosition = 0; // 0 none, 1 before the amount, 2 (or more) after it
    std::string codeText;
    std::uint8_t resultDecimals = 0;
    std::string decimalSeparator;

    bool operator==(const KeyBinding&) const = default;
};

class KeyBindingTable {
public:
    static constexpr int kSlots = 201;
    // Fails with RuntimeError (subscript out of range) outside 0..200.
    KeyBinding& at(int slot);
    const KeyBinding& at(int slot) const;
    KeyBinding& operator[](int slot) { return at(slot); }
    const KeyBinding& operator[](int slot) const { return at(slot); }

private:
    std::array<KeyBinding, kSlots> slots_{};
};

// Registration state of one slot's hot key. `registered` is -1 for true, 0 for false.
struct HotKeySlot {
    std::int16_t registered = 0;
    std::uint16_t id = 0; // the global atom, also the hot-key identifier
    // The system refused the combination because another program holds it (the slot still counts as registered;
    // a combination that an earlier slot of ours holds is no refusal of that kind).
    bool refused = false;
};

// ---------------------------------------------------------------------------------------------------------------
// The window-side state that the tables feed.

// The seven edit boxes of the currencies tab.
struct CurrencyFields {
    std::string name;         // tName
    std::string code;         // tKurz
    std::string country;      // tLand
    std::string unitsPerEuro; // t1Euro
    std::string euroPerUnit;  // t1Waehrung
    int fixed = 0;            // cFix, 0 or 1
    std::string decimals;     // tNachkomma
    bool operator==(const CurrencyFields&) const = default;
};

struct CurrencyEditor {
    CurrencyFields fields;
    std::string codeLabel;     // Label6: "1 " + code + " ="
    int selectedRow = -1;      // List1's selection
    bool fieldsEnabled = true; // the six boxes and cFix
    bool firstEnabled = true;  // cFirst "|<"
    bool backEnabled = true;   // cBack "<"
    bool nextEnabled = true;   // cNext ">"
    bool lastEnabled = true;   // cLast ">|"
};

struct Options {
    bool autostart = false; // Check2
    bool minimised = false; // Check3
    bool excelMode = false; // Option3 on (Option4 off)
};

inline constexpr const char* kModeCaptionInitial = "Umschalten in Excel-Modus (Tabellenkalkulation)";
inline constexpr const char* kModeCaptionToExcel = "Umschalten in Excel-Modus (Tabellenkalk.)";
inline constexpr const char* kModeCaptionToNormal = "Umschalten in Normal-Modus (Word, andere)";

// What changed, for the window that mirrors this state into its controls.
enum class Changed {
    CurrencyRows,      // rows of the currency table (and so List1)
    SelectorNames,     // the names of Combo3 / Combo4
    CurrencyEditor,    // fields, label, selection or enabled states of the currencies tab
    KeyList,           // the binding list lines (rebuilt; no row selected)
    BindingEditorLock, // ReadKeyList found no binding: the binding editor is cleared and disabled
    Options,           // one of the option values (raised once per option set)
    ModeCaption,       // the caption of the tray menu's mode switch
    ChangesPending,    // ChangesPending and the Apply button
    HotKeys,           // the hot keys were registered anew (refusals may have changed)
    RatesInfo,         // kurse.dat was written (the day and source of the rates)
};

// ---------------------------------------------------------------------------------------------------------------
// Everything the program holds while it runs.
struct AppState {
    explicit AppState(platform::Platform services, FileSystem& fileSystem = diskFileSystem())
        : platform(services), files(&fileSystem) {}

    platform::Platform platform;
    FileSystem* files;

    // Tables.
    CurrencyTable currencies;
    std::vector<std::string> selectorNames; // Combo3 and Combo4: the currency names in file order
    KeyBindingTable bindings;
    std::vector<std::string> keyListLines; // KeyList: row i shows slot i
    std::array<HotKeySlot, KeyBindingTable::kSlots> hotKeys{};

    // Conversion runtime.
    std::string scriptText;                  // the keystroke script, each line followed by CR LF
    platform::WindowHandle configWindow = 0; // the configuration window (gets the hot keys)
    platform::WindowHandle hookWindow = 0;
    platform::WindowProc previousWindowProc;
    bool hooked = false;
    bool scriptRunning = false;                // a hot key's script is running
    std::deque<int> queuedHotKeys;             // slots of hot keys pressed meanwhile, oldest first
    bool endRequested = false;                 // the program is ending: a running script stops at its next line
    std::set<std::string> unreachablePrograms; // programs in front our keys could not reach (the user was told)
    // A converted result the application did not take (a read-only text, a web page): kept for the user to copy,
    // and resultNotPasted (set by the shell) tells them, with "100 Euro = 195,58 Deutsche Mark".
    std::string unpastedResult;
    std::function<void(const std::string& message)> resultNotPasted;

    // The folder of the data files, their working copies, the scripts, readme.txt and hilfe/, ending in the path
    // separator: the program's folder in portable use, else the user's data folder.
    std::string dataDirectory;

    // The bytes of kurse.dat (the day and source of the rates) for rates put into the table while edits were
    // pending: written with the currency file, dropped by "Abbrechen". "" when none wait.
    std::string pendingRatesInfo;

    // Window state fed by the tables.
    CurrencyEditor currencyEditor;
    int CurrentCurrencyRow = -1;
    bool listUpdateInProgress = false;
    bool RefreshInProgress = false;
    bool ChangesPending = false;
    bool applyEnabled = false; // CApply
    bool bindingEditorLocked = false;
    Options options;
    std::string modeCaption = kModeCaptionInitial;

    // Observer: the window mirrors state changes into its controls (and raises the controls' events).
    std::function<void(Changed)> onChanged;
    void notify(Changed what) {
        if (onChanged) {
            onChanged(what);
        }
    }

    // Mark changed: set ChangesPending and enable Apply.
    void markChanged();
    // Clear ChangesPending and disable Apply.
    void clearChanges();

    // Path of a file in the data folder.
    std::string path(const std::string& fileName) const { return dataDirectory + fileName; }
};

} // namespace valumat
