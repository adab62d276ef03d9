// Amount conversion: the copied text in, the text to paste out.
#pragma once

#include "runtime/tables.h"

#include <string>

namespace valumat {

// Converts a copied text with a binding and the currency rates. Text that is not an amount comes back unchanged;
// a currency name without a row gives the normalised amount unconverted. Fails with RuntimeError for a malformed
// rate line or a result outside the 32-bit range.
std::string convertAmount(const CurrencyTable& currencies, const KeyBinding& binding, const std::string& copied);

// The conversion as the hot key runs it: slot i of the table; errors are reported with the routine name
// "Calculate" and then give an empty text.
std::string Calculate(AppState& state, const std::string& copied, int slot);

// Rate boxes: a rate as text (rounded to 7 places, decimal comma, "0" before a leading comma) and back.
std::string RateToText(float rate);
float TextToRate(std::string& text); // replaces the first "," of the text by "." in place

} // namespace valumat
