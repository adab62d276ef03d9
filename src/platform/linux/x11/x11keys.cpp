#include "platform/linux/x11/x11keys.h"

#include "runtime/errors.h"

#include <X11/XF86keysym.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <array>
#include <optional>

namespace valumat::x11 {
namespace {

constexpr std::array<std::uint32_t, 256> makeKeysymTable() {
    std::array<std::uint32_t, 256> table{};
    table[3] = XK_Break; // VK_CANCEL, Ctrl+Break
    table[8] = XK_BackSpace;
    table[9] = XK_Tab;
    table[12] = XK_Clear;
    table[13] = XK_Return;
    table[16] = XK_Shift_L;
    table[17] = XK_Control_L;
    table[18] = XK_Alt_L;
    table[19] = XK_Pause;
    table[20] = XK_Caps_Lock;
    table[27] = XK_Escape;
    table[32] = XK_space;
    table[33] = XK_Prior;
    table[34] = XK_Next;
    table[35] = XK_End;
    table[36] = XK_Home;
    table[37] = XK_Left;
    table[38] = XK_Up;
    table[39] = XK_Right;
    table[40] = XK_Down;
    table[41] = XK_Select;
    table[42] = XK_Print;
    table[43] = XK_Execute;
    table[44] = XK_Print; // VK_SNAPSHOT
    table[45] = XK_Insert;
    table[46] = XK_Delete;
    table[47] = XK_Help;
    for (unsigned i = 0; i < 10; ++i) {
        table[48 + i] = XK_0 + i;
        table[96 + i] = XK_KP_0 + i;
    }
    for (unsigned i = 0; i < 26; ++i) {
        table[65 + i] = XK_a + i;
    }
    table[91] = XK_Super_L;
    table[92] = XK_Super_R;
    table[93] = XK_Menu;
    table[95] = XF86XK_Sleep;
    table[106] = XK_KP_Multiply;
    table[107] = XK_KP_Add;
    table[108] = XK_KP_Separator;
    table[109] = XK_KP_Subtract;
    table[110] = XK_KP_Decimal;
    table[111] = XK_KP_Divide;
    for (unsigned i = 0; i < 24; ++i) {
        table[112 + i] = XK_F1 + i; // F1 to F24 are consecutive keysyms
    }
    table[144] = XK_Num_Lock;
    table[145] = XK_Scroll_Lock;
    table[160] = XK_Shift_L;
    table[161] = XK_Shift_R;
    table[162] = XK_Control_L;
    table[163] = XK_Control_R;
    table[164] = XK_Alt_L;
    table[165] = XK_Alt_R;
    table[166] = XF86XK_Back;
    table[167] = XF86XK_Forward;
    table[168] = XF86XK_Refresh;
    table[169] = XF86XK_Stop;
    table[170] = XF86XK_Search;
    table[171] = XF86XK_Favorites;
    table[172] = XF86XK_HomePage;
    table[173] = XF86XK_AudioMute;
    table[174] = XF86XK_AudioLowerVolume;
    table[175] = XF86XK_AudioRaiseVolume;
    table[176] = XF86XK_AudioNext;
    table[177] = XF86XK_AudioPrev;
    table[178] = XF86XK_AudioStop;
    table[179] = XF86XK_AudioPlay;
    table[180] = XF86XK_Mail;
    table[181] = XF86XK_AudioMedia;
    table[182] = XF86XK_MyComputer;
    table[183] = XF86XK_Calculator;
    // The OEM keys as a US keyboard labels them.
    table[186] = XK_semicolon;
    table[187] = XK_equal;
    table[188] = XK_comma;
    table[189] = XK_minus;
    table[190] = XK_period;
    table[191] = XK_slash;
    table[192] = XK_grave;
    table[219] = XK_bracketleft;
    table[220] = XK_backslash;
    table[221] = XK_bracketright;
    table[222] = XK_apostrophe;
    table[226] = XK_less; // the extra key of ISO keyboards
    return table;
}

constexpr std::array<std::uint32_t, 256> kKeysyms = makeKeysymTable();

[[noreturn]] void invalidCall() {
    throw RuntimeError(err::kInvalidProcedureCall);
}

} // namespace

std::uint32_t keysymForVirtualKey(std::uint8_t virtualKey) {
    return kKeysyms[virtualKey];
}

// The server's keyboard description and the group in effect, fetched fresh for every use: the key sender sees no
// mapping notifications (they go to the event loop), and one round trip per key is cheap.
class X11KeyEvents::Keymap {
public:
    explicit Keymap(Display* display) : desc_(XkbGetMap(display, XkbKeySymsMask | XkbModifierMapMask, XkbUseCoreKbd)) {
        XkbStateRec state{};
        if (desc_ != nullptr && XkbGetState(display, XkbUseCoreKbd, &state) == Success) {
            group_ = state.group;
        }
    }
    ~Keymap() {
        if (desc_ != nullptr) {
            XkbFreeKeyboard(desc_, XkbAllComponentsMask, True);
        }
    }
    Keymap(const Keymap&) = delete;
    Keymap& operator=(const Keymap&) = delete;

    bool valid() const { return desc_ != nullptr && desc_->map != nullptr && desc_->map->syms != nullptr; }
    unsigned minKeycode() const { return desc_->min_key_code; }
    unsigned maxKeycode() const { return desc_->max_key_code; }

    // The first keycode whose symbol without modifiers, in the group in effect, is keysym; 0 when there is none.
    unsigned keycodeFor(std::uint32_t keysym) const {
        if (!valid()) {
            return 0;
        }
        for (unsigned keycode = minKeycode(); keycode <= maxKeycode(); ++keycode) {
            if (const auto symbol = baseSymbol(keycode); symbol && *symbol == keysym) {
                return keycode;
            }
        }
        return 0;
    }

    // The key's first symbol (group 1, no modifiers), NoSymbol when it has none.
    std::uint32_t firstSymbol(unsigned keycode) const {
        if (!valid() || keycode < minKeycode() || keycode > maxKeycode()) {
            return NoSymbol;
        }
        const XkbSymMapRec& map = desc_->map->key_sym_map[keycode];
        if ((map.group_info & 0x0f) == 0 || map.width == 0) {
            return NoSymbol;
        }
        return static_cast<std::uint32_t>(desc_->map->syms[map.offset]);
    }

    // A key without any symbol that is no modifier either.
    bool isSpare(unsigned keycode) const {
        if (!valid() || keycode < minKeycode() || keycode > maxKeycode()) {
            return false;
        }
        if (desc_->map->modmap != nullptr && desc_->map->modmap[keycode] != 0) {
            return false;
        }
        const XkbSymMapRec& map = desc_->map->key_sym_map[keycode];
        const unsigned count = (map.group_info & 0x0fU) * map.width;
        for (unsigned i = 0; i < count; ++i) {
            if (desc_->map->syms[map.offset + i] != NoSymbol) {
                return false;
            }
        }
        return true;
    }

private:
    // The symbol without modifiers in the group in effect; a group beyond the key's groups is brought into range as
    // the server does for that key.
    std::optional<std::uint32_t> baseSymbol(unsigned keycode) const {
        const XkbSymMapRec& map = desc_->map->key_sym_map[keycode];
        const int groups = map.group_info & 0x0f;
        if (groups == 0 || map.width == 0) {
            return std::nullopt;
        }
        int group = group_;
        if (group >= groups) {
            switch (map.group_info & 0xc0) {
            case XkbClampIntoRange:
                group = groups - 1;
                break;
            case XkbRedirectIntoRange:
                group = (map.group_info >> 4) & 0x03;
                if (group >= groups) {
                    group = 0;
                }
                break;
            default:
                group %= groups;
                break;
            }
        }
        const KeySym symbol = desc_->map->syms[map.offset + map.width * group];
        if (symbol == NoSymbol) {
            return std::nullopt;
        }
        return static_cast<std::uint32_t>(symbol);
    }

    XkbDescPtr desc_;
    int group_ = 0;
};

X11KeyEvents::X11KeyEvents(Display* display) : display_(display) {
    if (display_ == nullptr) {
        return;
    }
    int opcode = 0;
    int eventBase = 0;
    int errorBase = 0;
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    const bool xkb = XkbQueryExtension(display_, &opcode, &eventBase, &errorBase, &major, &minor) != 0;
    const bool xtest = XTestQueryExtension(display_, &eventBase, &errorBase, &major, &minor) != 0;
    usable_ = xkb && xtest;
}

X11KeyEvents::~X11KeyEvents() {
    restoreKeyboard();
}

void X11KeyEvents::keyEvent(std::uint8_t virtualKey, std::uint32_t flags) {
    const std::uint32_t keysym = keysymForVirtualKey(virtualKey);
    if (keysym == 0 || !usable_) {
        invalidCall();
    }
    if ((flags & platform::kKeyEventKeyUp) != 0) {
        release(virtualKey, keysym);
    } else {
        press(virtualKey, keysym);
    }
}

void X11KeyEvents::press(std::uint8_t virtualKey, std::uint32_t keysym) {
    const Keymap keymap(display_);
    if (!keymap.valid()) {
        invalidCall();
    }
    unsigned keycode = keymap.keycodeFor(keysym);
    if (keycode == 0) {
        keycode = borrowKeycode(keymap, keysym);
    }
    for (auto& key : borrowed_) {
        if (key.keycode == keycode) {
            key.lastUse = ++useClock_;
        }
    }
    fakeKey(keycode, true);
    down_.push_back({virtualKey, keycode});
}

void X11KeyEvents::release(std::uint8_t virtualKey, std::uint32_t keysym) {
    // A key we pressed goes up on the keycode it went down on, whatever the mapping did meanwhile.
    const auto pressed = std::find_if(down_.rbegin(), down_.rend(),
                                      [virtualKey](const DownKey& key) { return key.virtualKey == virtualKey; });
    if (pressed != down_.rend()) {
        const unsigned keycode = pressed->keycode;
        down_.erase(std::next(pressed).base());
        fakeKey(keycode, false);
        return;
    }
    // Not ours (the user's Ctrl of the hot key, say): release it where the layout has it. A key the layout lacks
    // cannot be down, so there is nothing to do then.
    const Keymap keymap(display_);
    if (const unsigned keycode = keymap.keycodeFor(keysym); keycode != 0) {
        fakeKey(keycode, false);
    }
}

unsigned X11KeyEvents::borrowKeycode(const Keymap& keymap, std::uint32_t keysym) {
    // Forget keycodes that someone else has mapped since; they are no longer ours to change.
    std::erase_if(borrowed_, [&](const BorrowedKey& key) {
        return keymap.firstSymbol(key.keycode) != key.keysym && !keymap.isSpare(key.keycode);
    });
    auto isBorrowed = [this](unsigned keycode) {
        return std::any_of(borrowed_.begin(), borrowed_.end(),
                           [keycode](const BorrowedKey& key) { return key.keycode == keycode; });
    };

    unsigned keycode = 0;
    if (borrowed_.size() < kMaxBorrowedKeys) {
        // From the top: the low keycodes are the ones real keyboards have.
        for (unsigned candidate = keymap.maxKeycode(); candidate >= keymap.minKeycode(); --candidate) {
            if (keymap.isSpare(candidate) && !isDown(candidate) && !isBorrowed(candidate)) {
                keycode = candidate;
                borrowed_.push_back({keycode, keysym, 0});
                break;
            }
        }
    }
    if (keycode == 0) {
        // Take over the borrowed keycode used longest ago that is not held down.
        BorrowedKey* oldest = nullptr;
        for (auto& key : borrowed_) {
            if (!isDown(key.keycode) && (oldest == nullptr || key.lastUse < oldest->lastUse)) {
                oldest = &key;
            }
        }
        if (oldest == nullptr) {
            invalidCall();
        }
        oldest->keysym = keysym;
        keycode = oldest->keycode;
    }
    KeySym symbol = keysym;
    XChangeKeyboardMapping(display_, static_cast<int>(keycode), 1, &symbol, 1);
    return keycode;
}

bool X11KeyEvents::isDown(unsigned keycode) const {
    return std::any_of(down_.begin(), down_.end(), [keycode](const DownKey& key) { return key.keycode == keycode; });
}

void X11KeyEvents::fakeKey(unsigned keycode, bool down) {
    if (XTestFakeKeyEvent(display_, keycode, down ? True : False, CurrentTime) == 0) {
        invalidCall();
    }
    XFlush(display_);
}

void X11KeyEvents::restoreKeyboard() {
    if (!usable_) {
        return;
    }
    try {
        for (const auto& key : down_) {
            XTestFakeKeyEvent(display_, key.keycode, False, CurrentTime);
        }
        down_.clear();
        if (!borrowed_.empty()) {
            const Keymap keymap(display_);
            for (const auto& key : borrowed_) {
                // Only what is still ours: someone may have mapped the keycode since.
                if (keymap.firstSymbol(key.keycode) == key.keysym) {
                    KeySym none = NoSymbol;
                    XChangeKeyboardMapping(display_, static_cast<int>(key.keycode), 1, &none, 1);
                }
            }
            borrowed_.clear();
        }
        XFlush(display_);
    } catch (...) {
        // never fails: this runs from the destructor as well
    }
}

} // namespace valumat::x11
