// Hot keys through KGlobalAccel against a stand-in service on a private session bus (fake_kglobalaccel.py, run by
// this program under dbus-run-session): what is registered and how, refused combinations, the release awaited, the
// bound when no release comes, other programs' signals ignored.
#include "platform/linux/wayland/keymap.h"
#include "platform/linux/wayland/kglobalaccel.h"
#include "platform/platform.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace valumat::wayland {
namespace {

bool waitUntil(const std::function<bool()>& condition, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return condition();
}

void pumpFor(int ms) {
    waitUntil([] { return false; }, ms);
}

QDBusMessage control(const QString& method, const QList<QVariant>& arguments = {}) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(QStringLiteral("org.kde.kglobalaccel"), QStringLiteral("/kglobalaccel"),
                                       QStringLiteral("test.FakeKGlobalAccel"), method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message, QDBus::Block, 3000);
}

QStringList calls() {
    const QDBusMessage reply = control(QStringLiteral("Calls"));
    return reply.arguments().isEmpty() ? QStringList{} : reply.arguments().first().toStringList();
}

void press(const QString& component, const QString& action, bool release) {
    control(QStringLiteral("Press"), {component, action, release});
}

void release(const QString& action) {
    control(QStringLiteral("Release"), {QStringLiteral("valumat"), action});
}

TEST(KGlobalAccelService, MissingOnTheBusIsSaid) {
    KGlobalAccel accel([](int) {});
    std::string problem;
    EXPECT_FALSE(accel.connectService(problem));
    EXPECT_NE(problem.find("org.kde.kglobalaccel"), std::string::npos) << problem;
}

class KGlobalAccelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        fake_ = new QProcess;
        fake_->start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(VALUMAT_FAKE_KGLOBALACCEL)});
        ASSERT_TRUE(fake_->waitForReadyRead(10000)) << "the stand-in service did not start";
        ASSERT_TRUE(fake_->readAll().startsWith("ready"));
    }
    static void TearDownTestSuite() {
        fake_->kill();
        fake_->waitForFinished();
        delete fake_;
    }
    void SetUp() override {
        std::string problem;
        ASSERT_TRUE(accel_.connectService(problem)) << problem;
    }

    static QProcess* fake_;
    std::vector<int> fired_;
    KGlobalAccel accel_{[this](int id) { fired_.push_back(id); }};
};
QProcess* KGlobalAccelTest::fake_ = nullptr;

TEST_F(KGlobalAccelTest, RegistersActionsWithQtKeyCodesAndRefusesTakenOnes) {
    std::string error;
    ASSERT_TRUE(accel_.bind(5, platform::kModControl, 'D', "Ctrl+d", error)) << error;
    // Ctrl+E belongs to another program: refused, and its action taken away again.
    EXPECT_FALSE(accel_.bind(6, platform::kModControl, 'E', "Ctrl+e", error));
    EXPECT_FALSE(error.empty());
    // A modifier alone has no Qt key: refused without asking.
    const auto before = calls().size();
    EXPECT_FALSE(accel_.bind(7, platform::kModControl, 17, "Ctrl", error));
    EXPECT_EQ(calls().size(), before);
    accel_.unbind(5);
    EXPECT_EQ(calls(), (QStringList{
                           "doRegister valumat | hotkey-5 | Valumat | Valumat: Ctrl+d",
                           "setShortcut hotkey-5 0x4000044 6",
                           "doRegister valumat | hotkey-6 | Valumat | Valumat: Ctrl+e",
                           "setShortcut hotkey-6 0x4000045 6",
                           "unregister valumat hotkey-6",
                           "unregister valumat hotkey-5",
                       }));
}

TEST_F(KGlobalAccelTest, RunsOnTheReleaseAndNotBefore) {
    std::string error;
    ASSERT_TRUE(accel_.bind(-16384, platform::kModControl | kModShift, 'K', "Ctrl+Shift+k", error)) << error;
    // Well before the bound: run by the release signal, not by the wait for it.
    press("valumat", "hotkey--16384", true);
    EXPECT_TRUE(waitUntil([&] { return fired_.size() == 1; }, 500));
    EXPECT_EQ(fired_, std::vector<int>{-16384});

    // Held: nothing runs while the keys are down (well within the bound), then the release runs it.
    fired_.clear();
    press("valumat", "hotkey--16384", false);
    pumpFor(400);
    EXPECT_TRUE(fired_.empty());
    release("hotkey--16384");
    EXPECT_TRUE(waitUntil([&] { return fired_.size() == 1; }, 500));
    EXPECT_EQ(fired_, std::vector<int>{-16384});
    pumpFor(200);
    EXPECT_EQ(fired_.size(), 1U) << "a release runs the hot key once";
}

TEST_F(KGlobalAccelTest, WithoutAReleaseItRunsAfterTheBound) {
    std::string error;
    ASSERT_TRUE(accel_.bind(3, platform::kModControl, 'D', "Ctrl+d", error)) << error;
    QElapsedTimer timer;
    timer.start();
    press("valumat", "hotkey-3", false);
    ASSERT_TRUE(waitUntil([&] { return !fired_.empty(); }, 5000));
    // Qt's default (coarse) timers may fire up to 5 % early: what matters is that the bound was waited for.
    EXPECT_GE(timer.elapsed(), platform::kHotKeyReleaseWaitMs * 3 / 4);
    EXPECT_EQ(fired_, std::vector<int>{3});
    // A second press before the first one's release runs the first at once; the second waits for its release.
    fired_.clear();
    ASSERT_TRUE(accel_.bind(4, platform::kModControl, 'F', "Ctrl+f", error)) << error;
    press("valumat", "hotkey-3", false);
    press("valumat", "hotkey-4", false);
    EXPECT_TRUE(waitUntil([&] { return fired_.size() == 1; }, 500));
    release("hotkey-4");
    EXPECT_TRUE(waitUntil([&] { return fired_.size() == 2; }, 500));
    EXPECT_EQ(fired_, (std::vector<int>{3, 4}));
}

TEST_F(KGlobalAccelTest, OtherProgramsAndActionsAreIgnored) {
    std::string error;
    ASSERT_TRUE(accel_.bind(2, platform::kModControl, 'D', "Ctrl+d", error)) << error;
    press("kwin", "hotkey-2", true);          // another component, another object: not subscribed to
    press("valumat", "Fenster zeigen", true); // not one of our hot keys
    press("valumat", "hotkey-x", true);
    pumpFor(platform::kHotKeyReleaseWaitMs + 300);
    EXPECT_TRUE(fired_.empty());
}

} // namespace
} // namespace valumat::wayland

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
