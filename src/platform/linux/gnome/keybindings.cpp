#include "platform/linux/gnome/keybindings.h"

#include "platform/platform.h"

#include <gio/gio.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <set>

namespace valumat::gnome {

namespace {

constexpr const char* kMediaKeys = "org.gnome.settings-daemon.plugins.media-keys";
constexpr const char* kCustom = "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";
// The settings that hold GNOME's own shortcuts (those that are installed are looked at).
constexpr const char* kShortcutSchemas[] = {"org.gnome.desktop.wm.keybindings", "org.gnome.shell.keybindings",
                                            "org.gnome.mutter.keybindings", "org.gnome.mutter.wayland.keybindings",
                                            kMediaKeys};

constexpr unsigned kModAlt = 1;
constexpr unsigned kModShift = 4;
constexpr unsigned kModSuper = 8;

std::string keyName(std::uint8_t vk) {
    if (vk >= 'A' && vk <= 'Z') {
        return std::string(1, static_cast<char>(vk - 'A' + 'a'));
    }
    if (vk >= '0' && vk <= '9') {
        return std::string(1, static_cast<char>(vk));
    }
    if (vk >= 0x70 && vk <= 0x87) {
        return "F" + std::to_string(vk - 0x70 + 1);
    }
    if (vk >= 0x60 && vk <= 0x69) {
        return "KP_" + std::to_string(vk - 0x60);
    }
    switch (vk) {
    case 0x08:
        return "BackSpace";
    case 0x09:
        return "Tab";
    case 0x0D:
        return "Return";
    case 0x13:
        return "Pause";
    case 0x1B:
        return "Escape";
    case 0x20:
        return "space";
    case 0x21:
        return "Page_Up";
    case 0x22:
        return "Page_Down";
    case 0x23:
        return "End";
    case 0x24:
        return "Home";
    case 0x25:
        return "Left";
    case 0x26:
        return "Up";
    case 0x27:
        return "Right";
    case 0x28:
        return "Down";
    case 0x2C:
        return "Print";
    case 0x2D:
        return "Insert";
    case 0x2E:
        return "Delete";
    case 0x6A:
        return "KP_Multiply";
    case 0x6B:
        return "KP_Add";
    case 0x6D:
        return "KP_Subtract";
    case 0x6E:
        return "KP_Decimal";
    case 0x6F:
        return "KP_Divide";
    case 0xBA:
        return "semicolon";
    case 0xBB:
        return "equal";
    case 0xBC:
        return "comma";
    case 0xBD:
        return "minus";
    case 0xBE:
        return "period";
    case 0xBF:
        return "slash";
    case 0xC0:
        return "grave";
    case 0xDB:
        return "bracketleft";
    case 0xDC:
        return "backslash";
    case 0xDD:
        return "bracketright";
    case 0xDE:
        return "apostrophe";
    default:
        return {};
    }
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool schemaInstalled(const char* id) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (source == nullptr) {
        return false;
    }
    GSettingsSchema* schema = g_settings_schema_source_lookup(source, id, TRUE);
    if (schema == nullptr) {
        return false;
    }
    g_settings_schema_unref(schema);
    return true;
}

std::vector<std::string> strings(GVariant* value) {
    std::vector<std::string> result;
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING)) {
        result.emplace_back(g_variant_get_string(value, nullptr));
    } else if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING_ARRAY)) {
        gsize count = 0;
        const gchar** items = g_variant_get_strv(value, &count);
        for (gsize i = 0; i < count; ++i) {
            result.emplace_back(items[i]);
        }
        g_free(static_cast<gpointer>(items));
    }
    return result;
}

std::vector<std::string> customPaths(GSettings* mediaKeys) {
    GVariant* value = g_settings_get_value(mediaKeys, "custom-keybindings");
    std::vector<std::string> paths = strings(value);
    g_variant_unref(value);
    return paths;
}

bool isOurs(const std::string& path) {
    return path.rfind(CustomKeybindings::kPathPrefix, 0) == 0;
}

std::string slotPath(int slot) {
    return std::string(CustomKeybindings::kPathPrefix) + std::to_string(slot) + "/";
}

std::string readString(GSettings* settings, const char* key) {
    gchar* text = g_settings_get_string(settings, key);
    std::string result = text != nullptr ? text : "";
    g_free(text);
    return result;
}

} // namespace

std::string accelerator(unsigned modifiers, std::uint8_t virtualKey) {
    const std::string key = keyName(virtualKey);
    if (key.empty()) {
        return {};
    }
    std::string text;
    if ((modifiers & kModShift) != 0) {
        text += "<Shift>";
    }
    if ((modifiers & platform::kModControl) != 0) {
        text += "<Control>";
    }
    if ((modifiers & kModAlt) != 0) {
        text += "<Alt>";
    }
    if ((modifiers & kModSuper) != 0) {
        text += "<Super>";
    }
    return text + key;
}

std::string normalAccelerator(const std::string& accelerator) {
    std::set<std::string> modifiers;
    std::size_t at = 0;
    while (at < accelerator.size() && accelerator[at] == '<') {
        const std::size_t end = accelerator.find('>', at);
        if (end == std::string::npos) {
            break;
        }
        std::string name = lower(accelerator.substr(at + 1, end - at - 1));
        if (name == "primary" || name == "control" || name == "ctrl" || name == "ctl") {
            name = "control";
        } else if (name == "mod1") {
            name = "alt";
        } else if (name == "mod4") {
            name = "super";
        }
        modifiers.insert(name);
        at = end + 1;
    }
    const std::string key = lower(accelerator.substr(at));
    if (key.empty()) {
        return {};
    }
    std::string text;
    for (const std::string& name : modifiers) {
        text += "<" + name + ">";
    }
    return text + key;
}

bool CustomKeybindings::available() {
    return schemaInstalled(kMediaKeys) && schemaInstalled(kCustom);
}

void CustomKeybindings::write(const std::vector<CustomBinding>& bindings) {
    if (!available()) {
        return;
    }
    GSettings* mediaKeys = g_settings_new(kMediaKeys);
    std::vector<std::string> paths;
    // The user's entries stay where they are; ours go, and come back as they are now.
    for (const std::string& path : customPaths(mediaKeys)) {
        if (!isOurs(path)) {
            paths.push_back(path);
        } else {
            GSettings* entry = g_settings_new_with_path(kCustom, path.c_str());
            for (const char* key : {"name", "command", "binding"}) {
                g_settings_reset(entry, key);
            }
            g_object_unref(entry);
        }
    }
    for (const CustomBinding& binding : bindings) {
        const std::string path = slotPath(binding.slot);
        GSettings* entry = g_settings_new_with_path(kCustom, path.c_str());
        g_settings_set_string(entry, "name", binding.name.c_str());
        g_settings_set_string(entry, "command", binding.command.c_str());
        g_settings_set_string(entry, "binding", binding.accelerator.c_str());
        g_object_unref(entry);
        paths.push_back(path);
    }
    std::vector<const gchar*> list;
    for (const std::string& path : paths) {
        list.push_back(path.c_str());
    }
    list.push_back(nullptr);
    g_settings_set_strv(mediaKeys, "custom-keybindings", list.data());
    g_object_unref(mediaKeys);
    g_settings_sync();
}

std::vector<CustomBinding> CustomKeybindings::ours() {
    std::vector<CustomBinding> result;
    if (!available()) {
        return result;
    }
    GSettings* mediaKeys = g_settings_new(kMediaKeys);
    for (const std::string& path : customPaths(mediaKeys)) {
        if (!isOurs(path)) {
            continue;
        }
        GSettings* entry = g_settings_new_with_path(kCustom, path.c_str());
        CustomBinding binding;
        binding.slot = std::atoi(path.c_str() + std::string(kPathPrefix).size());
        binding.name = readString(entry, "name");
        binding.command = readString(entry, "command");
        binding.accelerator = readString(entry, "binding");
        result.push_back(binding);
        g_object_unref(entry);
    }
    g_object_unref(mediaKeys);
    return result;
}

std::string CustomKeybindings::usedBy(const std::string& accelerator) {
    const std::string wanted = normalAccelerator(accelerator);
    if (wanted.empty()) {
        return {};
    }
    std::string user;
    for (const char* id : kShortcutSchemas) {
        if (!schemaInstalled(id)) {
            continue;
        }
        GSettingsSchema* schema = g_settings_schema_source_lookup(g_settings_schema_source_get_default(), id, TRUE);
        GSettings* settings = g_settings_new(id);
        gchar** keys = g_settings_schema_list_keys(schema);
        for (gchar** key = keys; *key != nullptr && user.empty(); ++key) {
            GVariant* value = g_settings_get_value(settings, *key);
            if (std::string(*key) != "custom-keybindings") {
                for (const std::string& used : strings(value)) {
                    if (normalAccelerator(used) == wanted) {
                        user = std::string(id) + " " + *key;
                    }
                }
            }
            g_variant_unref(value);
        }
        g_strfreev(keys);
        g_object_unref(settings);
        g_settings_schema_unref(schema);
        if (!user.empty()) {
            return user;
        }
    }
    if (!available()) {
        return {};
    }
    GSettings* mediaKeys = g_settings_new(kMediaKeys);
    for (const std::string& path : customPaths(mediaKeys)) {
        if (isOurs(path)) {
            continue;
        }
        GSettings* entry = g_settings_new_with_path(kCustom, path.c_str());
        if (normalAccelerator(readString(entry, "binding")) == wanted) {
            user = readString(entry, "name");
            user = "\"" + (user.empty() ? path : user) + "\"";
        }
        g_object_unref(entry);
        if (!user.empty()) {
            break;
        }
    }
    g_object_unref(mediaKeys);
    return user;
}

} // namespace valumat::gnome
