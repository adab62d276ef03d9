// The currency file waehrungen.dat and its working copy waehrungen.tmp: one record line per currency,
// "name; code ;country; units per Euro; Euro per unit; fixed; decimals", Windows-1252, CR LF.
#pragma once

#include "runtime/tables.h"

#include <string>

namespace valumat {

inline constexpr const char* kCurrencyFile = "waehrungen.dat";
inline constexpr const char* kCurrencyWorkingCopy = "waehrungen.tmp";

// The record line of the seven fields, in the writer's spacing.
std::string composeCurrencyLine(const CurrencyFields& fields);

// The fields of a record line as the currencies tab shows them: cut at each ";", each field trimmed; fields the
// line lacks keep the value they had in `previous`, and the decimals get whatever follows the last ";" cut.
CurrencyFields splitCurrencyLine(const std::string& line, CurrencyFields previous);

// Reads the applied file (or the working copy) into the currency table and the selector names, replacing them,
// then selects the first currency. Errors are reported ("ReadRates").
// Returns true when the whole file was read.
bool ReadRates(AppState& state, bool workingCopy);

// Stores the shown currency into its row, then writes every row. Writing the applied file clears ChangesPending.
// Errors are reported ("SaveRates").
void SaveRates(AppState& state, bool workingCopy);

// The currency editor back into row `row` of the table (the name list follows). Silently does nothing for a row
// that does not exist.
void StoreCurrencyRow(AppState& state, int row);

// A change of the selected currency: stores the editor into the current row (unless no row is current or a list
// update is in progress), loads the selected row (-1: none) and sets the navigation buttons. Never marks a change.
void SelectCurrencyRow(AppState& state, int row);

} // namespace valumat
