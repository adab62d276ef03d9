#include "platform/linux/gnome/gnomedesktop.h"

#include "platform/linux/gnome/gnomeclipboard.h"
#include "platform/linux/gnome/gnomehotkeys.h"
#include "platform/linux/gnome/gnomekeys.h"
#include "platform/linux/gnome/keybindings.h"
#include "platform/linux/gnome/remotedesktop.h"

#include <QTimer>

#include <cstdio>

namespace valumat::gnome {

namespace {

class GnomeBackend final : public qt::Backend {
public:
    GnomeBackend(std::unique_ptr<Clipboard> clipboard, std::function<int(int)> hotKeySlot,
                 const std::string& programPath)
        : clipboard_(std::move(clipboard)),
          hotKeys_(std::move(hotKeySlot), programPath,
                   [this](std::function<void()> write) { QTimer::singleShot(0, &context_, std::move(write)); }) {}
    platform::HotKeys& hotKeys() override { return hotKeys_; }
    platform::KeyEvents& keyEvents() override { return keys_; }
    platform::Clipboard& clipboard() override { return *clipboard_; }
    void abandonWaits() override { clipboard_->abandonWaits(); }
    void releaseKeys() override {
        keys_.releaseAll();
        keys_.stop();
    }
    // GNOME's shortcuts of ours go with the hot keys.
    void giveBack() override {
        hotKeys_.clear();
        releaseKeys();
    }
    void settleHotKeys() override { hotKeys_.flushPending(); }
    bool clickOpens() const override { return true; }

private:
    QObject context_; // pending shortcut writes die with it
    std::unique_ptr<Clipboard> clipboard_;
    KeyEvents keys_;
    HotKeys hotKeys_;
};

} // namespace

std::unique_ptr<qt::Backend> makeBackend(qt::Windows&, std::function<int(int id)> hotKeySlot,
                                         const std::string& programPath) {
    auto clipboard = std::make_unique<Clipboard>();
    std::string problem;
    if (!clipboard->open(problem)) {
        std::fprintf(stderr, "valumat: GNOME (%s) gibt keine Fernsteuerungssitzung: %s\n", kService, problem.c_str());
        return nullptr;
    }
    if (CustomKeybindings::available()) {
        std::fprintf(stderr,
                     "valumat: GNOME; Tastenkombinationen über GNOMEs Tastenkürzel, Tastenanschläge und "
                     "Zwischenablage über %s\n",
                     kService);
    } else {
        std::fprintf(stderr, "valumat: GNOME; die Einstellungen der Tastenkürzel "
                             "(org.gnome.settings-daemon.plugins.media-keys) fehlen: belegen Sie je "
                             "Tastenkombination den Befehl \"valumat --hotkey N\" (N: Zeile in der Liste der "
                             "Tastenkombinationen, ab 0).\n");
    }
    return std::make_unique<GnomeBackend>(std::move(clipboard), std::move(hotKeySlot), programPath);
}

} // namespace valumat::gnome
