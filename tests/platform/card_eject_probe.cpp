// The D-Bus services alone, for the stand-ins of tests/platform/dbus_stand_ins.py:
//   card_eject_probe eject PATH            prints what EjectCard said; 0 when ejected
//   card_eject_probe notify SUMMARY BODY   0 when the notification was taken
#include <QCoreApplication>
#include <cstdio>
#include <string>

#include "platform/card_eject.h"

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "eject" && argc == 3) {
        const std::string said = ravlen::EjectCard(argv[2]);
        std::printf("%s\n", said.c_str());
        return said.empty() ? 0 : 1;
    }
    if (command == "notify" && argc == 4) return ravlen::NotifyDesktop(argv[2], argv[3]) ? 0 : 1;
    std::fprintf(stderr, "usage: card_eject_probe eject PATH | notify SUMMARY BODY\n");
    return 2;
}
