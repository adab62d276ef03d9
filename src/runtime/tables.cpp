#include "runtime/tables.h"

#include "runtime/errors.h"
#include "runtime/numbers.h"
#include "runtime/text.h"

#include <algorithm>

namespace valumat {
namespace {

std::string nameOfLine(const std::string& line) {
    const std::string t = trimSpaces(line);
    const auto semi = t.find(';');
    return semi == std::string::npos ? t : t.substr(0, semi);
}

} // namespace

CurrencyTable::Row CurrencyTable::makeRow(std::string line) {
    Row row;
    row.nameKey = foldNoCase(nameOfLine(line));
    row.lineKey = foldNoCase(line);
    row.line = std::move(line);
    return row;
}

// Names first, whole lines only for equal names (a name with control characters must not sort by the line).
bool CurrencyTable::before(const Row& a, const Row& b) {
    return a.nameKey != b.nameKey ? a.nameKey < b.nameKey : a.lineKey < b.lineKey;
}

const std::string& CurrencyTable::line(int row) const {
    if (row < 0 || row >= count()) {
        throw RuntimeError(err::kSubscriptOutOfRange);
    }
    return rows_[static_cast<std::size_t>(row)].line;
}

std::string CurrencyTable::name(int row) const {
    return nameOfLine(line(row));
}

int CurrencyTable::insert(std::string line) {
    Row row = makeRow(std::move(line));
    const auto at = std::upper_bound(rows_.begin(), rows_.end(), row, before);
    const auto index = at - rows_.begin();
    rows_.insert(at, std::move(row));
    return static_cast<int>(index);
}

void CurrencyTable::assign(std::vector<std::string> lines) {
    rows_.clear();
    rows_.reserve(lines.size());
    for (auto& l : lines) {
        rows_.push_back(makeRow(std::move(l)));
    }
    std::stable_sort(rows_.begin(), rows_.end(), before);
}

void CurrencyTable::replace(int row, std::string newLine) {
    line(row); // range check
    rows_[static_cast<std::size_t>(row)] = makeRow(std::move(newLine));
}

void CurrencyTable::remove(int row) {
    line(row); // range check
    rows_.erase(rows_.begin() + row);
}

int CurrencyTable::find(const std::string& text) const {
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].line == text) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

float CurrencyTable::unitsPerEuroFor(const std::string& currencyName) const {
    for (const Row& row : rows_) {
        if (row.line.compare(0, currencyName.size(), currencyName) != 0) {
            continue;
        }
        // The fourth field ends at the fourth ";".
        std::size_t start = 0;
        for (int k = 0; k < 3; ++k) {
            const auto semi = row.line.find(';', start);
            if (semi == std::string::npos) {
                throw RuntimeError(err::kInvalidProcedureCall);
            }
            start = semi + 1;
        }
        const auto end = row.line.find(';', start);
        if (end == std::string::npos) {
            throw RuntimeError(err::kInvalidProcedureCall);
        }
        std::string field = trimSpaces(std::string_view(row.line).substr(start, end - start));
        if (const auto comma = field.find(','); comma != std::string::npos) {
            field[comma] = '.';
        }
        return toSingle(readNumber(field));
    }
    return 0.0f;
}

KeyBinding& KeyBindingTable::at(int slot) {
    if (slot < 0 || slot >= kSlots) {
        throw RuntimeError(err::kSubscriptOutOfRange);
    }
    return slots_[static_cast<std::size_t>(slot)];
}

const KeyBinding& KeyBindingTable::at(int slot) const {
    if (slot < 0 || slot >= kSlots) {
        throw RuntimeError(err::kSubscriptOutOfRange);
    }
    return slots_[static_cast<std::size_t>(slot)];
}

void AppState::markChanged() {
    ChangesPending = true;
    applyEnabled = true;
    notify(Changed::ChangesPending);
}

void AppState::clearChanges() {
    ChangesPending = false;
    applyEnabled = false;
    notify(Changed::ChangesPending);
}

} // namespace valumat
