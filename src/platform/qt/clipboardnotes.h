// The notes of a conversion that came to nothing, on the standard error (both Linux clipboards).
#pragma once

#include "platform/clipboardnotes.h"

#include <cstdio>

namespace valumat::qt {

inline void noteNoCopy() {
    std::fprintf(stderr, "valumat: %s\n", platform::notes::kNoCopy);
}

inline void noteTextNotHandedOver() {
    std::fprintf(stderr, "valumat: %s\n", platform::notes::kTextNotHandedOver);
}

inline void noteResultNotFetched() {
    std::fprintf(stderr, "valumat: %s\n", platform::notes::kResultNotFetched);
}

} // namespace valumat::qt
