#include "platform/fake/fakedesktop.h"

#include "runtime/clipsave.h"
#include "runtime/errors.h"

#include <algorithm>
#include <filesystem>
#include <utility>

namespace valumat::fake {

using platform::WindowHandle;
using platform::WindowProc;

namespace {

constexpr std::uint8_t kVkEnter = 13;
constexpr std::uint8_t kVkShift = 16;
constexpr std::uint8_t kVkControl = 17;
constexpr std::uint8_t kVkEscape = 27;
constexpr std::uint8_t kVkEnd = 35;
constexpr std::uint8_t kVkHome = 36;
constexpr std::uint8_t kVkC = 67;
constexpr std::uint8_t kVkV = 86;
constexpr std::uint8_t kVkF2 = 113;

constexpr const char* kTextFormat = "text/plain";
constexpr unsigned kFirstAtom = 0xC000;
constexpr unsigned kLastAtom = 0xFFFF;

std::string keyName(std::uint8_t vk) {
    static const std::map<std::uint8_t, const char*> names = {
        {8, "Back"},  {9, "Tab"},    {13, "Enter"}, {16, "Shift"}, {17, "Ctrl"}, {18, "Alt"},
        {27, "Esc"},  {32, "Space"}, {33, "PgUp"},  {34, "PgDn"},  {35, "End"},  {36, "Home"},
        {37, "Left"}, {38, "Up"},    {39, "Right"}, {40, "Down"},  {45, "Ins"},  {46, "Del"}};
    if (auto it = names.find(vk); it != names.end()) {
        return it->second;
    }
    if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) {
        return std::string(1, static_cast<char>(vk));
    }
    if (vk >= 112 && vk <= 135) {
        return "F" + std::to_string(vk - 111);
    }
    return "VK" + std::to_string(vk);
}

std::string lowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

bool ctrlHeld(const std::set<std::uint8_t>& down) {
    return down.count(kVkControl) != 0;
}

class FakeSnapshot final : public platform::Clipboard::Snapshot {
public:
    explicit FakeSnapshot(std::map<std::string, std::string> formats, int& alive)
        : formats_(std::move(formats)), alive_(alive) {
        ++alive_;
    }
    ~FakeSnapshot() override { --alive_; }
    FakeSnapshot(const FakeSnapshot&) = delete;
    FakeSnapshot& operator=(const FakeSnapshot&) = delete;
    const std::map<std::string, std::string>& formats() const { return formats_; }

private:
    std::map<std::string, std::string> formats_;
    int& alive_;
};

std::filesystem::path diskPath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

} // namespace

// All services in one object: the state is shared between them anyway.
struct FakeDesktop::Impl final : platform::HotKeys,
                                 platform::Atoms,
                                 platform::KeyEvents,
                                 platform::Clipboard,
                                 platform::Sleeper,
                                 platform::MessagePump,
                                 platform::WindowHook,
                                 platform::TrayIcon,
                                 platform::ShellOpen,
                                 platform::Autostart,
                                 platform::MessageBoxes,
                                 platform::Process,
                                 platform::Folders {
    explicit Impl(FakeDesktop& owner) : desktop(owner) {}

    FakeDesktop& desktop;

    // --- clock
    long long clock = 0;
    long long slept = 0;

    // --- windows and messages
    struct Message {
        WindowHandle window;
        unsigned message;
        std::intptr_t wParam;
        std::intptr_t lParam;
    };
    std::map<WindowHandle, WindowProc> windows;
    WindowHandle nextWindow = 1;
    std::deque<Message> messages;
    int pumps = 0;

    // --- hot keys and atoms
    using Combination = std::pair<unsigned, unsigned>; // modifiers, virtual key
    std::map<std::pair<WindowHandle, int>, Combination> hotKeyTable;
    std::set<Combination> takenElsewhere;
    struct AtomEntry {
        std::string name;
        int uses = 0;
    };
    std::map<std::uint16_t, AtomEntry> atomTable;
    unsigned nextAtom = kFirstAtom;

    // --- keys
    std::vector<std::string> transcript;
    std::set<std::uint8_t> keysDown;
    std::set<std::uint8_t> failingKeys;
    std::function<void(std::uint8_t, std::uint32_t)> keyHook;
    platform::KeyEvents::Front frontRights; // whether our keys reach the program in front

    // --- foreground application
    struct KeyInput {
        long long due;
        std::uint8_t virtualKey;
        bool keyDown;
        std::set<std::uint8_t> down;
    };
    struct AppTask {
        long long due;
        std::shared_ptr<TargetApp> app; // keeps the application alive until the task ran
        std::function<void()> run;
    };
    std::shared_ptr<TargetApp> foreground;
    std::shared_ptr<TargetApp> running; // the application handling an event right now
    std::deque<KeyInput> input;
    std::deque<AppTask> appTasks; // work the application started; it reads no further input until it is done
    int inputLatency = 0;
    int fetchDelay = 0;

    // --- clipboard
    std::map<std::string, std::string> clip;
    std::vector<std::string> clipOrder;  // the owner's order of its types (setClipboardOffer)
    std::map<std::string, int> renderMs; // how long the owner takes to render a type
    std::vector<std::string> savedReads; // the types the last save read, in order
    int snapshotsAlive = 0;
    // Read ahead of the hot key, as the backends do: the read takes the owner's render times on the clock, in the
    // background (the program waits only when a hot key comes meanwhile).
    bool readAheadOn = true;
    clipsave::ReadAhead<FakeSnapshot> ahead;
    std::uint64_t changes = 0; // the stamp of the content: which change it came with
    struct AheadRead {
        clipsave::Stamp stamp;
        long long doneAt = 0;
        std::unique_ptr<FakeSnapshot> content; // nullptr: nothing is kept (secret, too large)
        bool complete = true;                  // every planned type came in time
    };
    std::optional<AheadRead> aheadRead;
    std::vector<std::string> aheadReads; // the types read ahead so far, in order
    bool savedAhead = false;             // the last save used what was read ahead
    std::string clipOwner;
    platform::Clipboard::Listener* listener = nullptr;
    platform::Clipboard::Traits clipTraits;
    bool eventReported = false; // since the last waitForEvents began
    bool originsUnknown = false;
    bool monitor = false;             // a clipboard monitor reads every new content at once
    std::vector<std::string> history; // what the monitor kept, oldest first
    int handOverDelay = 0;            // how late an owner hands its text over (-1: never)
    std::vector<std::string> notes;
    int clipFailures = 0;
    int copyDelay = 0;
    int fetchSteps = 1;
    int fetchGap = 0;
    bool manager = false;                            // a clipboard manager runs
    bool managerTakesResults = false;                // ... and takes over what this program offers
    std::map<std::string, std::string> managerKeeps; // what it puts back when the clipboard is emptied

    // --- message boxes, tray, shell, autostart, process
    std::deque<platform::MessageAnswer> answers;
    std::vector<ShownBox> boxes;
    std::function<void(const ShownBox&)> boxHook;
    bool trayShown = false;
    std::string tooltip;
    int trayAdds = 0;
    std::vector<std::string> trayMessages;
    std::function<void(int)> trayHandler;
    std::vector<ShellRequest> shellRequests;
    std::optional<std::string> autostart;
    std::string path = "C:\\Valumat\\valumat.exe";
    char separator = '\\';
    std::string arguments;
    bool ended = false;
    int status = 0;
    std::string userFolder;
    std::string installedFolder;
    std::string installedAskedFor;
    std::set<std::string> unwritable;
    std::set<std::string> uncreatable;
    std::vector<std::string> createdFolders;

    // ---------------------------------------------------------------------------------------------------------
    // The foreground application's work queue.

    std::optional<long long> nextAppDue() const {
        std::optional<long long> due;
        if (!appTasks.empty()) {
            due = appTasks.front().due;
        } else if (!input.empty()) {
            due = input.front().due;
        }
        for (const long long background :
             {static_cast<long long>(ahead.dueMs()), aheadRead ? aheadRead->doneAt : -1LL}) {
            if (background >= 0 && (!due || background < *due)) {
                due = background;
            }
        }
        return due;
    }

    void runAs(const std::shared_ptr<TargetApp>& app, const std::function<void()>& work) {
        struct Restore {
            Impl& impl;
            std::shared_ptr<TargetApp> previous;
            ~Restore() { impl.running = std::move(previous); }
        } restore{*this, std::exchange(running, app)};
        work();
    }

    // Lets the application do everything that is due by now, strictly in order.
    void runDueAppWork() {
        for (;;) {
            runReadAhead();
            if (!appTasks.empty()) {
                if (appTasks.front().due > clock) {
                    return;
                }
                AppTask task = std::move(appTasks.front());
                appTasks.pop_front();
                runAs(task.app, task.run);
            } else if (!input.empty() && input.front().due <= clock) {
                KeyInput event = std::move(input.front());
                input.pop_front();
                if (std::shared_ptr<TargetApp> app = foreground) {
                    runAs(app, [&] { app->onKey(desktop, event.virtualKey, event.keyDown, event.down); });
                }
            } else {
                return;
            }
        }
    }

    // Moves the clock to `target`, stopping at every due time on the way so that the application sees it.
    void advanceTo(long long target) {
        runDueAppWork();
        while (std::optional<long long> due = nextAppDue()) {
            if (*due > target) {
                break;
            }
            clock = std::max(clock, *due);
            runDueAppWork();
        }
        clock = std::max(clock, target);
    }

    void deliverAll() {
        for (;;) {
            runDueAppWork();
            if (messages.empty()) {
                return;
            }
            // Popped before the call: the procedure may pump again (a nested hot key).
            Message m = messages.front();
            messages.pop_front();
            auto it = windows.find(m.window);
            if (it == windows.end() || !it->second) {
                continue;
            }
            WindowProc procedure = it->second; // a copy: the procedure may replace itself
            procedure(m.window, m.message, m.wParam, m.lParam);
        }
    }

    // A paste asks for the clipboard in fetchSteps requests (the list of formats, then formats one by one),
    // fetchGap apart, and inserts what the last request brought: a clipboard that changes in between spoils it.
    void scheduleFetch(std::function<void(const std::optional<std::string>&)> insert) {
        if (fetchDelay <= 0 && fetchSteps <= 1) {
            insert(desktop.appFetches());
            return;
        }
        for (int step = 1; step < fetchSteps; ++step) {
            appTasks.push_back(AppTask{clock + fetchDelay + static_cast<long long>(step - 1) * fetchGap, running,
                                       [this] { request(originOf("app"), false); }});
        }
        appTasks.push_back(AppTask{clock + fetchDelay + static_cast<long long>(fetchSteps - 1) * fetchGap, running,
                                   [this, insert = std::move(insert)] { insert(desktop.appFetches()); }});
    }
    int fetchRequests = 0;

    // A clipboard manager takes the clipboard back with what it last saw as soon as it is emptied, and takes over
    // what an application copies (the same content, its own ownership).
    void managerReacts() {
        if (!manager) {
            return;
        }
        if (clip.empty() && clipOwner.empty() && !managerKeeps.empty()) {
            clip = managerKeeps;
            changeOwner("manager");
        } else if (!clip.empty() && clipOwner != "manager") {
            managerKeeps = clip;
            if (clipOwner == "app" || clipOwner == "user" || (managerTakesResults && clipOwner == "program")) {
                changeOwner("manager");
            }
        }
    }

    // The types of the clipboard's content in the owner's order.
    std::vector<std::string> offeredTypes() const {
        std::vector<std::string> offered;
        for (const std::string& type : clipOrder) {
            if (clip.count(type) != 0) {
                offered.push_back(type);
            }
        }
        for (const auto& [type, bytes] : clip) {
            if (std::find(offered.begin(), offered.end(), type) == offered.end()) {
                offered.push_back(type);
            }
        }
        return offered;
    }

    // The background read: started when due, it reads what the rule plans within its time and is kept once done.
    void runReadAhead() {
        if (aheadRead && clock >= aheadRead->doneAt) {
            AheadRead done = std::move(*aheadRead);
            aheadRead.reset();
            ahead.finished(done.stamp, std::move(done.content), done.complete);
        }
        if (!ahead.due(clock)) {
            return;
        }
        const clipsave::Stamp stamp = ahead.startReading();
        const clipsave::Plan plan = clipsave::plan(offeredTypes());
        std::map<std::string, std::string> saved;
        long long spent = 0;
        std::size_t bytes = 0;
        bool complete = true;
        for (const clipsave::Fetch& fetch : plan.secret ? std::vector<clipsave::Fetch>{} : plan.fetches) {
            const auto time = renderMs.find(fetch.type);
            const int ms = time == renderMs.end() ? 0 : time->second;
            const long long left = clipsave::timeLeft(fetch, spent);
            if (ms > left) {
                spent += std::max(left, 0LL);
                complete = false;
                continue;
            }
            spent += ms;
            aheadReads.push_back(fetch.type);
            const std::string& data = clip.at(fetch.type);
            bytes += data.size();
            saved[fetch.type] = data;
            for (const std::string& alias : fetch.aliases) {
                saved[alias] = data;
            }
        }
        std::unique_ptr<FakeSnapshot> content;
        if (!plan.secret && bytes <= clipsave::kAheadBytes) {
            content = std::make_unique<FakeSnapshot>(std::move(saved), snapshotsAlive);
        }
        aheadRead = AheadRead{stamp, clock + spent, std::move(content), complete};
        if (spent == 0) {
            runReadAhead();
        }
    }

    platform::ClipboardOrigin originOf(const std::string& owner) const {
        if (owner == "program") {
            return platform::ClipboardOrigin::Ours;
        }
        if (originsUnknown) {
            return platform::ClipboardOrigin::Unknown;
        }
        return owner == "app" ? platform::ClipboardOrigin::Front : platform::ClipboardOrigin::Other;
    }

    // New content on the clipboard: reported as the backends do, then a monitor reads it.
    void changeOwner(const std::string& owner) {
        if (owner != "user") {
            clipOrder.clear();
            renderMs.clear();
        }
        clipOwner = owner;
        ++changes;
        if (readAheadOn) {
            ahead.changed({changes, static_cast<std::uint64_t>(clock)}, owner == "program" || owner.empty(), clock);
        }
        if (listener != nullptr && owner != "program" && !owner.empty()) {
            eventReported = true;
            listener->ownerChanged(originOf(owner), std::nullopt);
        }
        if (monitor && !owner.empty()) {
            monitorReads();
        }
    }

    // The monitor keeps a history, as the real ones do: it looks for the hint first, then reads the text and makes
    // it its newest entry (an entry with the same text moves up). It keeps the text even when we refused it, as on
    // X11, where every request is served whatever the answer.
    void monitorReads() {
        const auto hint = clip.find(platform::kHistoryHintFormat);
        const bool hinted = hint != clip.end() && hint->second == platform::kHistoryHintValue;
        request(platform::ClipboardOrigin::Other, true);
        const auto text = clip.find(kTextFormat);
        if (!hinted && text != clip.end()) {
            std::erase(history, text->second);
            history.push_back(text->second);
        }
    }

    // A program asks the clipboard's owner for its content; false when we refused it our result.
    bool request(platform::ClipboardOrigin origin, bool textFormat) {
        ++fetchRequests;
        if (clipOwner != "program" || listener == nullptr) {
            return true;
        }
        eventReported = true;
        return listener->resultRequested(origin, textFormat);
    }

    // ---------------------------------------------------------------------------------------------------------
    // HotKeys

    bool registerHotKey(WindowHandle window, int id, unsigned modifiers, unsigned virtualKey) override {
        const Combination combination{modifiers, virtualKey};
        if (takenElsewhere.count(combination) != 0 || hotKeyTable.count({window, id}) != 0) {
            return false;
        }
        for (const auto& entry : hotKeyTable) {
            if (entry.second == combination) {
                return false;
            }
        }
        hotKeyTable[{window, id}] = combination;
        return true;
    }

    bool unregisterHotKey(WindowHandle window, int id) override { return hotKeyTable.erase({window, id}) != 0; }

    // ---------------------------------------------------------------------------------------------------------
    // Atoms

    std::uint16_t globalAddAtom(const std::string& name) override {
        const std::string key = lowerAscii(name);
        for (auto& [atom, entry] : atomTable) {
            if (lowerAscii(entry.name) == key) {
                ++entry.uses;
                return atom;
            }
        }
        if (nextAtom > kLastAtom) {
            throw RuntimeError(err::kOutOfMemory);
        }
        const auto atom = static_cast<std::uint16_t>(nextAtom++);
        atomTable[atom] = AtomEntry{name, 1};
        return atom;
    }

    void globalDeleteAtom(std::uint16_t atom) override {
        auto it = atomTable.find(atom);
        if (it != atomTable.end() && --it->second.uses <= 0) {
            atomTable.erase(it);
        }
    }

    // ---------------------------------------------------------------------------------------------------------
    // KeyEvents

    void keyEvent(std::uint8_t virtualKey, std::uint32_t flags) override {
        if (virtualKey == 0 || failingKeys.count(virtualKey) != 0) {
            throw RuntimeError(err::kInvalidProcedureCall);
        }
        const bool keyDown = (flags & platform::kKeyEventKeyUp) == 0;
        std::string entry = keyName(virtualKey) + (keyDown ? " down" : " up");
        if ((flags & platform::kKeyEventExtended) != 0) {
            entry += " (ext)";
        }
        transcript.push_back(std::move(entry));
        if (keyDown) {
            keysDown.insert(virtualKey);
        } else {
            keysDown.erase(virtualKey);
        }
        std::set<std::uint8_t> after = keysDown;
        if (keyHook) {
            auto hook = keyHook;
            hook(virtualKey, flags);
        }
        input.push_back(KeyInput{clock + inputLatency, virtualKey, keyDown, std::move(after)});
    }

    platform::KeyEvents::Front front() override { return frontRights; }

    // ---------------------------------------------------------------------------------------------------------
    // Clipboard

    void clipboardAccess() {
        if (clipFailures > 0) {
            --clipFailures;
            throw RuntimeError(err::kPermissionDenied);
        }
    }

    void setListener(Listener* l) override { listener = l; }
    Traits traits() const override { return clipTraits; }

    // As the backends do: reads what the rule plans, in its order, each read taking the owner's render time on the
    // clock; a read that would outlast its time is given up when that is over.
    std::unique_ptr<Snapshot> save() override {
        clipboardAccess();
        savedReads.clear();
        savedAhead = false;
        switch (ahead.atHotKey()) {
        case clipsave::AtHotKey::Wait:
            advanceTo(std::min(aheadRead ? aheadRead->doneAt : clock, clock + clipsave::kSaveMs));
            if (!ahead.holding()) {
                break;
            }
            [[fallthrough]];
        case clipsave::AtHotKey::Use:
            savedAhead = true;
            return ahead.take();
        case clipsave::AtHotKey::Read:
            break;
        }
        const std::vector<std::string> offered = offeredTypes();
        const std::map<std::string, std::string> content = clip;
        const std::map<std::string, int> render = renderMs;
        const clipsave::Plan plan = clipsave::plan(offered);
        const long long start = clock;
        std::map<std::string, std::string> saved;
        std::vector<std::string> late;
        for (const clipsave::Fetch& fetch : plan.fetches) {
            const long long left = clipsave::timeLeft(fetch, clock - start);
            const auto time = render.find(fetch.type);
            const int ms = time == render.end() ? 0 : time->second;
            if (ms > left) {
                late.push_back(fetch.type);
                if (left > 0) {
                    advanceTo(clock + left);
                }
                continue;
            }
            if (ms > 0) {
                advanceTo(clock + ms);
            }
            savedReads.push_back(fetch.type);
            const std::string& bytes = content.at(fetch.type);
            saved[fetch.type] = bytes;
            for (const std::string& alias : fetch.aliases) {
                saved[alias] = bytes;
            }
        }
        if (!late.empty()) {
            note(clipsave::lateNote(late));
        }
        return std::make_unique<FakeSnapshot>(std::move(saved), snapshotsAlive);
    }

    void restore(const Snapshot& snapshot) override {
        ahead.release();
        clipboardAccess();
        const auto* ours = dynamic_cast<const FakeSnapshot*>(&snapshot);
        if (ours == nullptr) {
            throw RuntimeError(err::kInvalidProcedureCall);
        }
        clip = ours->formats();
        changeOwner("program");
        managerReacts();
    }

    void empty() override {
        clipboardAccess();
        clip.clear();
        changeOwner("");
        managerReacts();
    }

    std::string readText(int maxMilliseconds) override {
        if (clipFailures > 0) {
            --clipFailures;
            return {};
        }
        if (clipOwner.empty() || clipOwner == "program") {
            return {};
        }
        const auto it = clip.find(kTextFormat);
        std::string text = it == clip.end() ? std::string() : it->second;
        if (handOverDelay < 0 || handOverDelay > maxMilliseconds) {
            advanceTo(clock + maxMilliseconds);
            return {};
        }
        advanceTo(clock + handOverDelay);
        return text;
    }

    void offerText(const std::string& text) override {
        clipboardAccess();
        clip = {{kTextFormat, text}, {platform::kHistoryHintFormat, platform::kHistoryHintValue}};
        changeOwner("program");
        if (managerTakesResults) {
            managerReacts();
        }
    }

    bool isOurs() override { return clipOwner == "program"; }

    std::int64_t nowMs() override { return clock; }

    void waitForEvents(int maxMilliseconds) override {
        eventReported = false;
        runDueAppWork();
        for (int waited = 0; !eventReported && waited < maxMilliseconds; ++waited) {
            ++clock;
            runDueAppWork();
        }
    }

    void note(const std::string& text) override {
        if (notes.size() >= 256) {
            notes.erase(notes.begin(), notes.begin() + 128); // the newest are kept: a long run stays small
        }
        notes.push_back(text);
    }

    // ---------------------------------------------------------------------------------------------------------
    // Sleeper, MessagePump, WindowHook

    void sleep(int milliseconds) override {
        transcript.push_back("sleep " + std::to_string(milliseconds));
        const int ms = std::max(milliseconds, 0);
        slept += ms;
        advanceTo(clock + ms);
    }

    void pumpMessages() override {
        transcript.push_back("pump");
        ++pumps;
        deliverAll();
    }

    WindowProc setWindowProc(WindowHandle window, WindowProc procedure) override {
        auto it = windows.find(window);
        if (it == windows.end()) {
            throw RuntimeError(err::kInvalidProcedureCall);
        }
        return std::exchange(it->second, std::move(procedure));
    }

    // ---------------------------------------------------------------------------------------------------------
    // TrayIcon, ShellOpen, Autostart

    void add(const std::string& text) override {
        ++trayAdds;
        if (!trayShown) {
            trayShown = true;
            tooltip = text;
        }
    }

    void remove() override {
        trayShown = false;
        tooltip.clear();
    }

    void setMouseHandler(std::function<void(int message)> handler) override { trayHandler = std::move(handler); }

    void setTooltip(const std::string& text) override {
        if (trayShown) {
            tooltip = text;
        }
    }

    void showMessage(const std::string& title, const std::string& text) override {
        if (trayShown) {
            trayMessages.push_back(title + ": " + text);
        }
    }

    void shellOpen(WindowHandle owner, const std::string& verb, const std::string& target,
                   const std::string& directory) override {
        shellRequests.push_back(ShellRequest{owner, verb, target, directory});
    }

    void setEntry(const std::string& programPath) override { autostart = programPath; }
    void removeEntry() override { autostart.reset(); }

    // ---------------------------------------------------------------------------------------------------------
    // MessageBoxes

    platform::MessageAnswer messageBox(const std::string& text, const std::string& title, platform::MessageIcon icon,
                                       platform::MessageButtons buttons,
                                       platform::DefaultButton defaultButton) override {
        const ShownBox shown{text, title, icon, buttons, defaultButton, platform::MessageAnswer::Ok};
        boxes.push_back(shown);
        const std::size_t index = boxes.size() - 1;
        if (boxHook) {
            auto hook = boxHook;
            hook(shown);
        }
        platform::MessageAnswer answer = platform::MessageAnswer::Ok;
        if (!answers.empty()) {
            answer = answers.front();
            answers.pop_front();
        } else if (buttons == platform::MessageButtons::YesNo) {
            answer = defaultButton == platform::DefaultButton::First ? platform::MessageAnswer::Yes
                                                                     : platform::MessageAnswer::No;
        }
        if (index < boxes.size()) { // the hook may have cleared the record
            boxes[index].answer = answer;
        }
        return answer;
    }

    // ---------------------------------------------------------------------------------------------------------
    // Process

    std::string programPath() override { return path; }
    char pathSeparator() override { return separator; }
    std::string commandLine() override { return arguments; }

    [[noreturn]] void endProgram(int exitStatus) override {
        ended = true;
        status = exitStatus;
        throw ProgramEnded{exitStatus};
    }

    // ---------------------------------------------------------------------------------------------------------
    // Folders (the tests' files are on the disk, in temporary folders: folders are created there)

    std::string userDataFolder() override { return userFolder; }
    std::string installedDataFolder(const std::string& programPath) override {
        installedAskedFor = programPath;
        return installedFolder;
    }
    bool folderWritable(const std::string& folder) override {
        std::error_code ec;
        return unwritable.count(folder) == 0 && std::filesystem::is_directory(diskPath(folder), ec);
    }
    void createFolder(const std::string& folder) override {
        if (uncreatable.count(folder) != 0) {
            throw RuntimeError(err::kPermissionDenied);
        }
        std::error_code ec;
        std::filesystem::create_directories(diskPath(folder), ec);
        if (ec) {
            throw RuntimeError(err::kPathNotFound);
        }
        createdFolders.push_back(folder);
    }
};

// -------------------------------------------------------------------------------------------------------------
// FakeDesktop

FakeDesktop::FakeDesktop() : impl_(std::make_unique<Impl>(*this)) {}
FakeDesktop::~FakeDesktop() = default;

platform::Platform FakeDesktop::platform() {
    Impl* d = impl_.get();
    platform::Platform p;
    p.hotKeys = d;
    p.atoms = d;
    p.keyEvents = d;
    p.clipboard = d;
    p.sleeper = d;
    p.pump = d;
    p.windowHook = d;
    p.tray = d;
    p.shell = d;
    p.autostart = d;
    p.messageBoxes = d;
    p.process = d;
    p.folders = d;
    return p;
}

WindowHandle FakeDesktop::createWindow() {
    const WindowHandle window = impl_->nextWindow++;
    impl_->windows[window] = [](WindowHandle, unsigned, std::intptr_t, std::intptr_t) -> std::intptr_t { return 0; };
    return window;
}

void FakeDesktop::postMessage(WindowHandle window, unsigned message, std::intptr_t wParam, std::intptr_t lParam) {
    impl_->messages.push_back(Impl::Message{window, message, wParam, lParam});
}

void FakeDesktop::runUntilIdle() {
    impl_->deliverAll();
}
int FakeDesktop::pumpCount() const {
    return impl_->pumps;
}

bool FakeDesktop::pressHotKey(unsigned modifiers, unsigned virtualKey) {
    for (const auto& [key, combination] : impl_->hotKeyTable) {
        if (combination == Impl::Combination{modifiers, virtualKey}) {
            postMessage(key.first, platform::kWmHotKey, key.second, 0);
            return true;
        }
    }
    return false;
}

bool FakeDesktop::isRegistered(unsigned modifiers, unsigned virtualKey) const {
    return std::any_of(impl_->hotKeyTable.begin(), impl_->hotKeyTable.end(), [&](const auto& entry) {
        return entry.second == Impl::Combination{modifiers, virtualKey};
    });
}

std::size_t FakeDesktop::registeredCount() const {
    return impl_->hotKeyTable.size();
}

void FakeDesktop::takenByOtherProgram(unsigned modifiers, unsigned virtualKey) {
    impl_->takenElsewhere.insert({modifiers, virtualKey});
}

std::optional<std::string> FakeDesktop::atomName(std::uint16_t atom) const {
    auto it = impl_->atomTable.find(atom);
    if (it == impl_->atomTable.end()) {
        return std::nullopt;
    }
    return it->second.name;
}

std::size_t FakeDesktop::atomCount() const {
    return impl_->atomTable.size();
}

std::string FakeDesktop::transcript() const {
    std::string joined;
    for (const std::string& entry : impl_->transcript) {
        if (!joined.empty()) {
            joined += ", ";
        }
        joined += entry;
    }
    return joined;
}

void FakeDesktop::clearTranscript() {
    impl_->transcript.clear();
}
std::set<std::uint8_t> FakeDesktop::keysDown() const {
    return impl_->keysDown;
}

void FakeDesktop::setKeyDown(std::uint8_t virtualKey, bool down) {
    if (down) {
        impl_->keysDown.insert(virtualKey);
    } else {
        impl_->keysDown.erase(virtualKey);
    }
}

void FakeDesktop::onKeyEvent(std::function<void(std::uint8_t virtualKey, std::uint32_t flags)> hook) {
    impl_->keyHook = std::move(hook);
}

void FakeDesktop::failKey(std::uint8_t virtualKey) {
    impl_->failingKeys.insert(virtualKey);
}

void FakeDesktop::setForegroundElevated(bool elevated, const std::string& program) {
    impl_->frontRights = platform::KeyEvents::Front{!elevated, program};
}

void FakeDesktop::setForeground(std::shared_ptr<TargetApp> app) {
    impl_->foreground = std::move(app);
}
void FakeDesktop::setInputLatency(int milliseconds) {
    impl_->inputLatency = std::max(milliseconds, 0);
}
void FakeDesktop::setFetchDelay(int milliseconds) {
    impl_->fetchDelay = std::max(milliseconds, 0);
}
void FakeDesktop::setFetchSteps(int requests, int gapMilliseconds) {
    impl_->fetchSteps = std::max(requests, 1);
    impl_->fetchGap = std::max(gapMilliseconds, 0);
}
int FakeDesktop::fetchRequests() const {
    return impl_->fetchRequests;
}
void FakeDesktop::setCopyDelay(int milliseconds) {
    impl_->copyDelay = std::max(milliseconds, 0);
}
void FakeDesktop::runClipboardManager(bool takesResults) {
    impl_->manager = true;
    impl_->managerTakesResults = takesResults;
    impl_->managerReacts();
}

void FakeDesktop::appPastes(std::function<void(const std::optional<std::string>& text)> insert) {
    impl_->scheduleFetch(std::move(insert));
}

void FakeDesktop::setClipboardText(const std::string& text) {
    impl_->clip = {{kTextFormat, text}};
    impl_->clipOrder.clear();
    impl_->renderMs.clear();
    impl_->changeOwner("user");
    impl_->managerReacts();
}

void FakeDesktop::setClipboardFormat(const std::string& format, const std::string& data) {
    if (impl_->clipOwner != "user") {
        impl_->clip.clear();
    }
    impl_->clip[format] = data;
    impl_->changeOwner("user");
    impl_->managerReacts();
}

void FakeDesktop::setClipboardOffer(const std::vector<OfferedType>& types) {
    impl_->clip.clear();
    impl_->clipOrder.clear();
    impl_->renderMs.clear();
    for (const OfferedType& type : types) {
        impl_->clip[type.type] = type.bytes;
        impl_->clipOrder.push_back(type.type);
        impl_->renderMs[type.type] = type.renderMs;
    }
    impl_->changeOwner("user");
    impl_->managerReacts();
}

const std::vector<std::string>& FakeDesktop::savedReads() const {
    return impl_->savedReads;
}

const std::vector<std::string>& FakeDesktop::aheadReads() const {
    return impl_->aheadReads;
}

bool FakeDesktop::savedAhead() const {
    return impl_->savedAhead;
}

void FakeDesktop::setReadAhead(bool on) {
    impl_->readAheadOn = on;
}

void FakeDesktop::idle(int milliseconds) {
    impl_->advanceTo(impl_->clock + std::max(milliseconds, 0));
}

int FakeDesktop::snapshotsAlive() const {
    return impl_->snapshotsAlive;
}

std::optional<std::string> FakeDesktop::clipboardText() const {
    auto it = impl_->clip.find(kTextFormat);
    if (it == impl_->clip.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::map<std::string, std::string> FakeDesktop::clipboardFormats() const {
    return impl_->clip;
}
std::string FakeDesktop::clipboardOwner() const {
    return impl_->clipOwner;
}
void FakeDesktop::failClipboard(int operations) {
    impl_->clipFailures = std::max(operations, 0);
}

void FakeDesktop::appCopies(const std::string& text) {
    auto copy = [impl = impl_.get(), text] {
        impl->clip = {{kTextFormat, text}};
        impl->changeOwner("app");
        impl->managerReacts();
    };
    if (impl_->copyDelay <= 0) {
        copy();
        return;
    }
    impl_->appTasks.push_back(Impl::AppTask{impl_->clock + impl_->copyDelay, impl_->running, copy});
}

std::optional<std::string> FakeDesktop::appFetches() {
    if (!impl_->request(impl_->originOf("app"), true)) {
        return std::nullopt; // refused: the result stays promised for the real paste
    }
    return clipboardText();
}

void FakeDesktop::setOriginsUnknown(bool unknown) {
    impl_->originsUnknown = unknown;
}
void FakeDesktop::runClipboardMonitor() {
    impl_->monitor = true;
}
const std::vector<std::string>& FakeDesktop::clipboardHistory() const {
    return impl_->history;
}
void FakeDesktop::setTextHandOverDelay(int milliseconds) {
    impl_->handOverDelay = milliseconds;
}
void FakeDesktop::setClipboardTraits(platform::Clipboard::Traits traits) {
    impl_->clipTraits = traits;
}
const std::vector<std::string>& FakeDesktop::clipboardNotes() const {
    return impl_->notes;
}

long long FakeDesktop::now() const {
    return impl_->clock;
}
long long FakeDesktop::totalSlept() const {
    return impl_->slept;
}

void FakeDesktop::queueAnswer(platform::MessageAnswer answer) {
    impl_->answers.push_back(answer);
}
const std::vector<ShownBox>& FakeDesktop::boxes() const {
    return impl_->boxes;
}
void FakeDesktop::clearBoxes() {
    impl_->boxes.clear();
}
void FakeDesktop::onMessageBox(std::function<void(const ShownBox&)> hook) {
    impl_->boxHook = std::move(hook);
}

bool FakeDesktop::trayIconShown() const {
    return impl_->trayShown;
}
std::string FakeDesktop::trayTooltip() const {
    return impl_->tooltip;
}
int FakeDesktop::trayAdds() const {
    return impl_->trayAdds;
}
const std::vector<std::string>& FakeDesktop::trayMessages() const {
    return impl_->trayMessages;
}

void FakeDesktop::trayMouse(int message) {
    if (impl_->trayHandler) {
        auto handler = impl_->trayHandler;
        handler(message);
    }
}

const std::vector<ShellRequest>& FakeDesktop::shellRequests() const {
    return impl_->shellRequests;
}
std::optional<std::string> FakeDesktop::autostartEntry() const {
    return impl_->autostart;
}
void FakeDesktop::setAutostartEntry(std::optional<std::string> entry) {
    impl_->autostart = std::move(entry);
}

void FakeDesktop::setProgramPath(const std::string& path, char separator) {
    impl_->path = path;
    impl_->separator = separator;
}

void FakeDesktop::setUserDataFolder(const std::string& folder) {
    impl_->userFolder = folder;
}
void FakeDesktop::setInstalledDataFolder(const std::string& folder) {
    impl_->installedFolder = folder;
}
std::string FakeDesktop::installedDataFolderAskedFor() const {
    return impl_->installedAskedFor;
}
void FakeDesktop::setFolderWritable(const std::string& folder, bool writable) {
    if (writable) {
        impl_->unwritable.erase(folder);
    } else {
        impl_->unwritable.insert(folder);
    }
}
void FakeDesktop::failCreateFolder(const std::string& folder) {
    impl_->uncreatable.insert(folder);
}
const std::vector<std::string>& FakeDesktop::createdFolders() const {
    return impl_->createdFolders;
}

void FakeDesktop::setCommandLine(const std::string& commandLine) {
    impl_->arguments = commandLine;
}
bool FakeDesktop::ended() const {
    return impl_->ended;
}
int FakeDesktop::endStatus() const {
    return impl_->status;
}

// -------------------------------------------------------------------------------------------------------------
// FakeEditor

FakeEditor::FakeEditor(std::string text) : text_(std::move(text)), selStart_(text_.size()) {}

void FakeEditor::onKey(FakeDesktop& desktop, std::uint8_t virtualKey, bool keyDown,
                       const std::set<std::uint8_t>& down) {
    if (!keyDown || !ctrlHeld(down)) {
        return;
    }
    if (virtualKey == kVkC) {
        if (selLength_ > 0) {
            desktop.appCopies(selectedText());
            ++copies_;
        }
    } else if (virtualKey == kVkV) {
        desktop.appPastes([this](const std::optional<std::string>& fetched) {
            ++pastes_;
            if (!fetched) {
                return;
            }
            text_.replace(selStart_, selLength_, *fetched);
            selStart_ += fetched->size();
            selLength_ = 0;
        });
    }
}

void FakeEditor::setText(const std::string& text) {
    text_ = text;
    selStart_ = text_.size();
    selLength_ = 0;
}

void FakeEditor::select(std::size_t start, std::size_t length) {
    selStart_ = std::min(start, text_.size());
    selLength_ = std::min(length, text_.size() - selStart_);
}

void FakeEditor::selectAll() {
    select(0, text_.size());
}
std::string FakeEditor::selectedText() const {
    return text_.substr(selStart_, selLength_);
}

// -------------------------------------------------------------------------------------------------------------
// FakeSpreadsheet

FakeSpreadsheet::FakeSpreadsheet(std::vector<std::string> cells) : cells_(std::move(cells)) {}

void FakeSpreadsheet::onKey(FakeDesktop& desktop, std::uint8_t virtualKey, bool keyDown,
                            const std::set<std::uint8_t>& down) {
    if (!keyDown) {
        return;
    }
    const bool ctrl = ctrlHeld(down);
    if (!editing_) {
        // Pasting into the cell itself: the text without the line end that a cell copy carries.
        auto pasteIntoCell = [this, &desktop] {
            const std::size_t row = current_;
            desktop.appPastes([this, row](const std::optional<std::string>& fetched) {
                if (!fetched) {
                    return;
                }
                std::string text = *fetched;
                while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
                    text.pop_back();
                }
                setCell(row, text);
            });
        };
        if (ctrl && virtualKey == kVkC) {
            desktop.appCopies(cell(current_) + "\r\n");
            marquee_ = true;
        } else if (ctrl && virtualKey == kVkV) {
            pasteIntoCell();
        } else if (!ctrl && virtualKey == kVkF2) {
            if (f2Ignored_ > 0) {
                --f2Ignored_; // still busy: the key goes nowhere
                return;
            }
            editing_ = true;
            editText_ = cell(current_);
            caret_ = editText_.size();
            anchor_ = caret_;
        } else if (!ctrl && virtualKey == kVkEnter) {
            if (marquee_ && enterPastes_) {
                // Enter after a copy pastes the clipboard into the cell, as some spreadsheets do.
                marquee_ = false;
                pasteIntoCell();
            }
            ++current_;
        }
        return;
    }

    const std::size_t from = std::min(anchor_, caret_);
    const std::size_t to = std::max(anchor_, caret_);
    if (virtualKey == kVkHome || virtualKey == kVkEnd) {
        caret_ = virtualKey == kVkHome ? 0 : editText_.size();
        if (down.count(kVkShift) == 0) {
            anchor_ = caret_;
        }
    } else if (ctrl && virtualKey == kVkC) {
        if (to > from) {
            desktop.appCopies(editText_.substr(from, to - from));
        }
    } else if (ctrl && virtualKey == kVkV) {
        desktop.appPastes([this](const std::optional<std::string>& fetched) {
            if (!editing_ || !fetched) {
                return;
            }
            const std::size_t start = std::min(anchor_, caret_);
            editText_.replace(start, std::max(anchor_, caret_) - start, *fetched);
            caret_ = start + fetched->size();
            anchor_ = caret_;
        });
    } else if (!ctrl && virtualKey == kVkEnter) {
        setCell(current_, editText_);
        editing_ = false;
        ++current_;
    } else if (!ctrl && virtualKey == kVkEscape) {
        editing_ = false;
    }
}

void FakeSpreadsheet::setCell(std::size_t row, const std::string& text) {
    if (row >= cells_.size()) {
        cells_.resize(row + 1);
    }
    cells_[row] = text;
}

std::string FakeSpreadsheet::cell(std::size_t row) const {
    return row < cells_.size() ? cells_[row] : std::string();
}

void FakeSpreadsheet::selectCell(std::size_t row) {
    current_ = row;
    editing_ = false;
}

} // namespace valumat::fake
