// What a conversion that came to nothing tells the user on the standard error (both Linux clipboards): the
// application did not copy, did not hand over the copied text, or did not fetch the result. The document is left
// as it was in each case.
#pragma once

#include <cstdio>

namespace valumat::qt {

inline void noteNoCopy() {
    std::fprintf(stderr, "valumat: keine Kopie der Auswahl erhalten, nichts eingefügt\n");
}

inline void noteTextNotHandedOver() {
    std::fprintf(stderr, "valumat: die Anwendung hat den kopierten Text nicht herausgegeben\n");
}

inline void noteResultNotFetched() {
    std::fprintf(stderr, "valumat: das Ergebnis wurde nicht abgeholt\n");
}

} // namespace valumat::qt
