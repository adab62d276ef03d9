// valumat_wlkeys: the end-to-end tests' keyboard under Wayland. Sends key combinations, written as in a keystroke
// script ("STRG+65" for Ctrl+A, "SHIFT+36" for Shift+Home), through a virtual keyboard of its own, one after the
// other. (wtype's modifiers do not reach GTK applications under sway 1.7; typing plain text with wtype does.)
//
//   valumat_wlkeys COMBINATION...          sends them and ends
//   valumat_wlkeys --serve COMMANDS ACKS   one keyboard for the whole test, like a real one: reads lines of
//                                          combinations from the FIFO COMMANDS and writes "ok" to the FIFO ACKS once
//                                          the compositor has taken each line's keys
//
// sway gives the focused window a new keyboard focus each time a keyboard is added, and GTK may lose a key that
// arrives meanwhile: a keyboard made for every step loses keys now and then, one kept for the test does not.
#include "platform/linux/wayland/connection.h"
#include "platform/linux/wayland/waylandkeys.h"
#include "runtime/errors.h"
#include "runtime/keysender.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

class FlushPump final : public valumat::platform::MessagePump {
public:
    explicit FlushPump(valumat::wayland::Connection& connection) : connection_(connection) {}
    void pumpMessages() override { connection_.flush(); }

private:
    valumat::wayland::Connection& connection_;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    valumat::wayland::Connection connection;
    if (!connection.missing().empty()) {
        std::fprintf(stderr, "valumat_wlkeys: %s\n", connection.missing().c_str());
        return 2;
    }
    try {
        valumat::wayland::KeyEvents keys(connection);
        FlushPump pump(connection);
        valumat::platform::Platform services;
        services.keyEvents = &keys;
        services.pump = &pump;
        connection.roundtrip(); // the keyboard and its keymap are known before its first key
        if (argc == 4 && std::strcmp(argv[1], "--serve") == 0) {
            std::ifstream commands(argv[2]);
            std::ofstream acks(argv[3]);
            std::string line;
            while (std::getline(commands, line)) {
                std::istringstream words(line);
                std::string combination;
                while (words >> combination) {
                    valumat::SendKeyCombination(services, combination);
                    connection.roundtrip();
                }
                acks << "ok" << std::endl;
            }
            return 0;
        }
        for (int i = 1; i < argc; ++i) {
            valumat::SendKeyCombination(services, argv[i]);
            connection.roundtrip();
        }
    } catch (const valumat::RuntimeError& error) {
        std::fprintf(stderr, "valumat_wlkeys: %s\n", error.what());
        return 1;
    }
    connection.roundtrip();
    return 0;
}
