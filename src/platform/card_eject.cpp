#include "platform/card_eject.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QMap>
#include <QStringList>
#include <QVariantMap>

#include "model/version.h"

using InterfaceProperties = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, InterfaceProperties>;
Q_DECLARE_METATYPE(InterfaceProperties)
Q_DECLARE_METATYPE(ManagedObjects)

namespace ravlen {

namespace {

const QString kUDisks = QStringLiteral("org.freedesktop.UDisks2");
const QString kFilesystem = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
const QString kBlock = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString kDrive = QStringLiteral("org.freedesktop.UDisks2.Drive");
// Unmounting waits for the cache to be written to the card: seconds, not milliseconds.
constexpr int kEjectTimeoutMs = 120000;
constexpr int kLookTimeoutMs = 10000;

const char* const kNotEjected = "The card could not be ejected: ";

// A file system's mount points: byte arrays, each ending in a NUL.
QList<QByteArray> MountPoints(const QVariant& value) {
    QList<QByteArray> points;
    if (value.canConvert<QDBusArgument>()) value.value<QDBusArgument>() >> points;
    for (QByteArray& point : points)
        if (point.endsWith('\0')) point.chop(1);
    return points;
}

bool Holds(const QByteArray& mountPoint, const std::string& path) {
    const std::string point = mountPoint.toStdString();
    if (point.empty() || path.compare(0, point.size(), point) != 0) return false;
    return path.size() == point.size() || point.back() == '/' || path[point.size()] == '/';
}

std::string Said(const QDBusError& error) {
    if (error.name() == QStringLiteral("org.freedesktop.UDisks2.Error.DeviceBusy"))
        return "it is busy: a program still has a file on it open. Close it, then eject the card from the desktop.";
    return error.message().toStdString() + ".";
}

QDBusMessage Call(const QDBusConnection& bus, const QString& object, const QString& interface, const char* method) {
    QDBusMessage call = QDBusMessage::createMethodCall(kUDisks, object, interface, QString::fromLatin1(method));
    call << QVariantMap{};  // no options
    return bus.call(call, QDBus::Block, kEjectTimeoutMs);
}

}  // namespace

std::string EjectCard(const std::string& path, const QDBusConnection& bus) {
    if (!bus.isConnected()) return kNotEjected + std::string("the system's message bus cannot be reached.");
    qDBusRegisterMetaType<InterfaceProperties>();
    qDBusRegisterMetaType<ManagedObjects>();
    const QDBusMessage look = QDBusMessage::createMethodCall(kUDisks, QStringLiteral("/org/freedesktop/UDisks2"),
                                                             QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                                                             QStringLiteral("GetManagedObjects"));
    const QDBusReply<ManagedObjects> objects = bus.call(look, QDBus::Block, kLookTimeoutMs);
    if (!objects.isValid()) return kNotEjected + Said(objects.error());

    // The file system mounted where the path lies: the longest mount point holding it.
    QString filesystem, drive;
    int longest = -1;
    for (auto object = objects.value().cbegin(); object != objects.value().cend(); ++object) {
        const InterfaceProperties& interfaces = object.value();
        if (!interfaces.contains(kFilesystem)) continue;
        for (const QByteArray& point : MountPoints(interfaces.value(kFilesystem).value(QStringLiteral("MountPoints")))) {
            if (!Holds(point, path) || point.size() <= longest) continue;
            longest = static_cast<int>(point.size());
            filesystem = object.key().path();
            drive = interfaces.value(kBlock).value(QStringLiteral("Drive")).value<QDBusObjectPath>().path();
        }
    }
    if (filesystem.isEmpty()) return kNotEjected + std::string("no removable file system holds ") + path + ".";

    const QDBusMessage unmounted = Call(bus, filesystem, kFilesystem, "Unmount");
    if (unmounted.type() == QDBusMessage::ErrorMessage) return kNotEjected + Said(QDBusError(unmounted));
    // A drive that cannot be powered off (a card reader built in) is done once unmounted.
    const InterfaceProperties driveInterfaces = objects.value().value(QDBusObjectPath(drive.isEmpty() ? "/" : drive));
    const bool canPowerOff = driveInterfaces.value(kDrive).value(QStringLiteral("CanPowerOff"), true).toBool();
    if (drive.isEmpty() || drive == QStringLiteral("/") || !canPowerOff) return {};
    const QDBusMessage off = Call(bus, drive, kDrive, "PowerOff");
    if (off.type() == QDBusMessage::ErrorMessage)
        return "The card's file system was unmounted, but its drive could not be powered off: " + Said(QDBusError(off));
    return {};
}

bool NotifyDesktop(const std::string& summary, const std::string& body, const QDBusConnection& bus) {
    if (!bus.isConnected()) return false;
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    notify << QString::fromStdString(Version().Title) << 0u << QStringLiteral("ravlen")
           << QString::fromStdString(summary) << QString::fromStdString(body) << QStringList{} << QVariantMap{}
           << -1;
    const QDBusMessage reply = bus.call(notify, QDBus::Block, kLookTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

}  // namespace ravlen
