// The PRESS argument: arbitrary text through keyCodesOf and SendKeyCombination on the fake desktop, with a key
// that the system may refuse and modifiers the user may still hold.
#include "fuzzsupport.h"
#include "runtime/errors.h"
#include "runtime/keysender.h"
#include "runtime/text.h"

#include <algorithm>

using namespace valumat;

namespace {

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) {
        ++n;
    }
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    fake::FakeDesktop desktop;
    desktop.setForeground(std::make_shared<fake::FakeEditor>("0123456789"));
    const std::uint8_t failing = (data[0] & 0x80) != 0 ? data[1] : 0; // 0: the system takes every key
    if (failing != 0) {
        desktop.failKey(failing);
    }
    for (const std::uint8_t modifier : {16, 17, 18}) {
        if ((data[0] & (1u << (modifier - 16))) != 0) {
            desktop.setKeyDown(modifier, true); // the user still holds it
        }
    }
    const std::set<std::uint8_t> heldByUser = desktop.keysDown();
    const std::string argument = fuzz::bytesOf(data + 2, size - 2);

    std::vector<std::uint8_t> codes;
    bool codesFailed = false;
    try {
        codes = keyCodesOf(argument);
    } catch (const RuntimeError&) {
        codesFailed = true;
    }
    for (const std::uint8_t code : codes) {
        FUZZ_CHECK(code != 0);
    }

    bool sendFailed = false;
    try {
        SendKeyCombination(desktop.platform(), argument);
    } catch (const RuntimeError&) {
        sendFailed = true;
    }
    desktop.runUntilIdle();

    // Never a key left down that the program pressed; keys the user held are let go unless the system refused.
    const std::set<std::uint8_t> down = desktop.keysDown();
    FUZZ_CHECK(std::includes(heldByUser.begin(), heldByUser.end(), down.begin(), down.end()));
    const std::string transcript = desktop.transcript();
    if (codesFailed) {
        FUZZ_CHECK(sendFailed && transcript.empty() && down == heldByUser); // a bad code sends nothing at all
        return 0;
    }
    if (failing == 0) {
        FUZZ_CHECK(!sendFailed && down.empty());
    }
    if (!sendFailed) {
        // Every key that went down came up again: the modifiers the text names and the codes, in token order.
        const std::string upper = upperAscii(argument);
        const std::size_t modifiers =
            (upper.find("ALT") != std::string::npos ? 1 : 0) +
            (upper.find("STRG") != std::string::npos || upper.find("CTRL") != std::string::npos ? 1 : 0) +
            (upper.find("SHIFT") != std::string::npos ? 1 : 0);
        FUZZ_CHECK(countOf(transcript, " down") == modifiers + codes.size());
        FUZZ_CHECK(countOf(transcript, " up") == 3 + modifiers + codes.size());
        FUZZ_CHECK(transcript.starts_with("Alt up, Ctrl up, Shift up"));
        FUZZ_CHECK(countOf(transcript, "pump") == 1);
    }
    return 0;
}
