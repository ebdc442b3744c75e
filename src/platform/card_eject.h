#pragma once
// The desktop's services over D-Bus: a card ejected through UDisks2 (its file
// system unmounted, its drive powered off) and a desktop notification.

#include <string>

#include <QDBusConnection>

namespace ravlen {

// Unmounts the file system that holds `path` and powers off its drive, so
// that the card can be taken out. "" when done, else the message that says
// why not (the card busy, no UDisks2, no such file system...).
std::string EjectCard(const std::string& path, const QDBusConnection& bus = QDBusConnection::systemBus());

// Shows a notification on the desktop (org.freedesktop.Notifications);
// false when there is no one to show it.
bool NotifyDesktop(const std::string& summary, const std::string& body,
                   const QDBusConnection& bus = QDBusConnection::sessionBus());

}  // namespace ravlen
