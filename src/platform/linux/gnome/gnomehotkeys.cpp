#include "platform/linux/gnome/gnomehotkeys.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace valumat::gnome {

HotKeys::HotKeys(std::function<int(int id)> hotKeySlot, std::string programPath, Later later)
    : hotKeySlot_(std::move(hotKeySlot)), programPath_(std::move(programPath)), later_(std::move(later)),
      tracing_(std::getenv("VALUMAT_TRACE_HOTKEYS") != nullptr && *std::getenv("VALUMAT_TRACE_HOTKEYS") != '\0') {
    write(); // shortcuts left behind by an earlier run go
}

HotKeys::~HotKeys() {
    *alive_ = false;
    clear();
}

std::string HotKeys::command(const std::string& programPath, int slot) {
    std::string quoted = "'";
    for (char c : programPath) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "' --hotkey " + std::to_string(slot);
}

bool HotKeys::registerHotKey(platform::WindowHandle window, int id, unsigned modifiers, unsigned virtualKey) {
    const int slot = hotKeySlot_(id);
    const std::string combination = accelerator(modifiers, static_cast<std::uint8_t>(virtualKey));
    if (slot < 0 || combination.empty()) {
        return false;
    }
    const std::string normal = normalAccelerator(combination);
    const bool taken = std::any_of(registrations_.begin(), registrations_.end(), [&](const Registration& r) {
        return (r.window == window && r.id == id) || normalAccelerator(r.binding.accelerator) == normal;
    });
    if (taken) {
        return false;
    }
    const std::string user = CustomKeybindings::usedBy(combination);
    if (!user.empty()) {
        if (tracing_) {
            std::fprintf(stderr, "valumat: GNOME belegt %s schon: %s\n", combination.c_str(), user.c_str());
        }
        return false;
    }
    CustomBinding binding;
    binding.slot = slot;
    binding.name = "Valumat: Tastenkombination " + std::to_string(slot + 1);
    binding.accelerator = combination;
    binding.command = command(programPath_, slot);
    registrations_.push_back({window, id, binding});
    write();
    return true;
}

bool HotKeys::unregisterHotKey(platform::WindowHandle window, int id) {
    const auto it = std::find_if(registrations_.begin(), registrations_.end(),
                                 [&](const Registration& r) { return r.window == window && r.id == id; });
    if (it == registrations_.end()) {
        return false;
    }
    registrations_.erase(it);
    write();
    return true;
}

void HotKeys::clear() {
    registrations_.clear();
    flush(); // the program ends: now, not later
}

void HotKeys::write() {
    if (!later_) {
        flush();
        return;
    }
    if (!pending_) {
        pending_ = true;
        later_([this, alive = alive_] {
            if (*alive && pending_) {
                flush();
            }
        });
    }
}

void HotKeys::flush() {
    pending_ = false;
    std::vector<CustomBinding> bindings;
    for (const Registration& registration : registrations_) {
        bindings.push_back(registration.binding);
    }
    CustomKeybindings::write(bindings);
    if (tracing_) {
        for (const CustomBinding& binding : bindings) {
            std::fprintf(stderr, "valumat: GNOME-Tastenkürzel %s: %s\n", binding.accelerator.c_str(),
                         binding.command.c_str());
        }
    }
}

} // namespace valumat::gnome
