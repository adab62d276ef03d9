#include "store/currencyfile.h"

#include "runtime/errors.h"
#include "runtime/report.h"
#include "runtime/text.h"
#include "store/ratesupdate.h"

namespace valumat {

std::string composeCurrencyLine(const CurrencyFields& f) {
    return f.name + "; " + f.code + " ;" + f.country + "; " + f.unitsPerEuro + "; " + f.euroPerUnit + "; " +
           std::to_string(f.fixed) + "; " + f.decimals;
}

CurrencyFields splitCurrencyLine(const std::string& line, CurrencyFields previous) {
    std::string* boxes[] = {&previous.name, &previous.code, &previous.country, &previous.unitsPerEuro,
                            &previous.euroPerUnit};
    std::string rest = line;
    int cut = 0;
    for (; cut < 6; ++cut) {
        const auto semi = rest.find(';');
        if (semi == std::string::npos) {
            break;
        }
        const std::string field = trimSpaces(std::string_view(rest).substr(0, semi));
        if (cut < 5) {
            *boxes[cut] = field;
        } else {
            previous.fixed = field == "1" ? 1 : 0;
        }
        rest = rest.substr(semi + 1);
    }
    previous.decimals = trimSpaces(rest);
    return previous;
}

void StoreCurrencyRow(AppState& state, int row) {
    if (row < 0 || row >= state.currencies.count()) {
        return;
    }
    state.currencies.replace(row, composeCurrencyLine(state.currencyEditor.fields));
    state.notify(Changed::CurrencyRows);
}

void SelectCurrencyRow(AppState& state, int row) {
    if (state.CurrentCurrencyRow >= 0 && !state.listUpdateInProgress) {
        StoreCurrencyRow(state, state.CurrentCurrencyRow);
    }
    CurrencyEditor& editor = state.currencyEditor;
    if (row < 0 || row >= state.currencies.count()) {
        editor.selectedRow = -1;
        state.notify(Changed::CurrencyEditor);
        return;
    }
    editor.selectedRow = row;
    editor.fields = splitCurrencyLine(state.currencies.line(row), editor.fields);
    editor.codeLabel = "1 " + editor.fields.code + " =";
    state.CurrentCurrencyRow = row;
    const int n = state.currencies.count();
    editor.firstEnabled = row > 0;
    editor.backEnabled = row > 0;
    editor.nextEnabled = row < n - 1;
    editor.lastEnabled = row < n - 1;
    state.notify(Changed::CurrencyEditor);
}

bool ReadRates(AppState& state, bool workingCopy) {
    state.currencies.clear();
    state.selectorNames.clear();
    state.notify(Changed::CurrencyRows);
    state.notify(Changed::SelectorNames);

    std::vector<std::string> rows;
    try {
        const std::string bytes = state.files->readAll(state.path(workingCopy ? kCurrencyWorkingCopy : kCurrencyFile));
        int counter = 0;
        std::string failure;
        for (const std::string& raw : splitLines(bytes)) {
            if (++counter > CurrencyTable::kMaxRows) {
                break;
            }
            const std::string line = cp1252ToUtf8(raw);
            std::string t = trimSpaces(line);
            if (t.empty()) {
                continue;
            }
            if (t.find(';') == std::string::npos) {
                failure = err::kInvalidProcedureCall; // the name cannot be cut out
                break;
            }
            state.selectorNames.push_back(trimSpaces(line.substr(0, line.find(';'))));
            rows.push_back(std::move(t));
        }
        state.currencies.assign(std::move(rows));
        state.notify(Changed::CurrencyRows);
        state.notify(Changed::SelectorNames);
        if (!failure.empty()) {
            throw RuntimeError(failure);
        }
    } catch (const RuntimeError& e) {
        reportError(state.platform, "ReadRates", e.description());
        return false;
    }

    CurrencyEditor& editor = state.currencyEditor;
    const int n = state.currencies.count();
    if (n >= 1) {
        state.CurrentCurrencyRow = -1;
        SelectCurrencyRow(state, 0);
        state.CurrentCurrencyRow = 0;
    }
    if (n < 2) {
        editor.nextEnabled = false;
        editor.lastEnabled = false;
    }
    if (n == 0) {
        editor.firstEnabled = false;
        editor.backEnabled = false;
        editor.fieldsEnabled = false;
        editor.fields.name.clear();
        editor.fields.code.clear();
        editor.fields.country.clear();
        editor.fields.unitsPerEuro.clear();
        editor.fields.euroPerUnit.clear();
        editor.fields.decimals.clear();
    }
    state.notify(Changed::CurrencyEditor);
    return true;
}

void SaveRates(AppState& state, bool workingCopy) {
    if (state.CurrentCurrencyRow >= 0) {
        StoreCurrencyRow(state, state.CurrentCurrencyRow);
    }
    try {
        auto file = state.files->create(state.path(workingCopy ? kCurrencyWorkingCopy : kCurrencyFile));
        for (int i = 0; i < state.currencies.count(); ++i) {
            file->write(utf8ToCp1252(state.currencies.line(i)) + "\r\n");
        }
        file->commit();
    } catch (const RuntimeError& e) {
        reportError(state.platform, "SaveRates", e.description());
        return;
    }
    if (!workingCopy && !state.pendingRatesInfo.empty()) {
        try {
            auto info = state.files->create(state.path(kRatesInfoFile));
            info->write(state.pendingRatesInfo);
            info->commit();
        } catch (const RuntimeError&) {
            // The rates are written; only their date is not shown.
        }
        state.pendingRatesInfo.clear();
        state.notify(Changed::RatesInfo);
    }
    if (!workingCopy && state.ChangesPending) {
        state.clearChanges();
    }
}

} // namespace valumat
