#include "store/keyfile.h"

#include "runtime/errors.h"
#include "runtime/numbers.h"
#include "runtime/report.h"
#include "runtime/text.h"

#include <cmath>

namespace valumat {
namespace {

// The leading decimal number of a field, rounded half to even, as a byte.
std::uint8_t byteField(const std::string& text) {
    const double value = std::nearbyint(readNumber(text));
    if (value < 0 || value > 255) {
        throw RuntimeError(err::kOverflow);
    }
    return static_cast<std::uint8_t>(value);
}

} // namespace

std::string composeBindingLine(const KeyBinding& b) {
    constexpr std::string_view separator = kFieldSeparator;
    const std::string position = std::to_string(b.codePosition);
    const std::string decimals = std::to_string(b.resultDecimals);
    std::string line;
    line.reserve(b.sourceCurrency.size() + b.targetCurrency.size() + b.firstKey.size() + b.secondKey.size() +
                 position.size() + b.codeText.size() + decimals.size() + b.decimalSeparator.size() +
                 7 * separator.size());
    for (const std::string* field :
         {&b.sourceCurrency, &b.targetCurrency, &b.firstKey, &b.secondKey, &position, &b.codeText, &decimals}) {
        line += *field;
        line += separator;
    }
    line += b.decimalSeparator;
    return line;
}

std::string bindingDisplayLine(const KeyBinding& b) {
    return (b.firstKey == "STRG" ? "STRG + " : "") + b.secondKey + "    " + b.sourceCurrency + " >> " +
           b.targetCurrency;
}

KeyBinding parseBindingLine(const std::string& line) {
    std::string fields[8];
    std::string rest = line;
    for (int k = 0; k < 7; ++k) {
        const auto at = rest.find(kFieldSeparator);
        if (at == std::string::npos) {
            throw RuntimeError(err::kInvalidProcedureCall);
        }
        fields[k] = rest.substr(0, at);
        rest = rest.substr(at + 3);
    }
    fields[7] = rest;
    KeyBinding b;
    b.sourceCurrency = fields[0];
    b.targetCurrency = fields[1];
    b.firstKey = fields[2];
    b.secondKey = fields[3];
    b.codePosition = byteField(fields[4]);
    b.codeText = fields[5];
    b.resultDecimals = byteField(fields[6]);
    b.decimalSeparator = fields[7];
    return b;
}

bool ReadKeyList(AppState& state, bool workingCopy) {
    try {
        const std::string bytes = state.files->readAll(state.path(workingCopy ? kBindingWorkingCopy : kBindingFile));
        state.keyListLines.clear();
        state.RefreshInProgress = true;
        int n = 0;
        try {
            for (const std::string& raw : splitLines(bytes)) {
                const std::string line = cp1252ToUtf8(raw);
                if (trimSpaces(line).empty()) {
                    continue;
                }
                KeyBinding binding = parseBindingLine(line);
                state.bindings.at(n) = std::move(binding); // a 202nd binding finds no slot
                state.keyListLines.push_back(bindingDisplayLine(state.bindings[n]));
                ++n;
            }
        } catch (const RuntimeError&) {
            state.RefreshInProgress = false;
            state.notify(Changed::KeyList);
            throw;
        }
        state.RefreshInProgress = false;
        state.notify(Changed::KeyList);
    } catch (const RuntimeError& e) {
        reportError(state.platform, "ReadKeyList", e.description());
        return false;
    }
    if (state.keyListLines.empty()) {
        state.bindingEditorLocked = true;
        state.notify(Changed::BindingEditorLock);
    }
    return true;
}

void SaveKeyList(AppState& state, bool workingCopy) {
    try {
        auto file = state.files->create(state.path(workingCopy ? kBindingWorkingCopy : kBindingFile));
        for (int i = 0; i < KeyBindingTable::kSlots; ++i) {
            const std::string line = composeBindingLine(state.bindings[i]);
            if (!line.starts_with("#:##:#")) {
                file->write(utf8ToCp1252(line) + "\r\n");
            }
        }
        file->commit();
    } catch (const RuntimeError& e) {
        reportError(state.platform, "SaveKeyList", e.description());
    }
}

} // namespace valumat
