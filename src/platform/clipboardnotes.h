// What a conversion that came to nothing says (every desktop): the application did not copy, did not hand over the
// copied text, or did not fetch the result. The document is left as it was in each case. The Linux programs write
// these lines to the standard error, the Windows program to the debugger output, each after "valumat: ".
#pragma once

namespace valumat::platform::notes {

inline constexpr const char* kNoCopy = "keine Kopie der Auswahl erhalten, nichts eingefügt";
inline constexpr const char* kTextNotHandedOver = "die Anwendung hat den kopierten Text nicht herausgegeben";
inline constexpr const char* kResultNotFetched = "das Ergebnis wurde nicht abgeholt";

} // namespace valumat::platform::notes
