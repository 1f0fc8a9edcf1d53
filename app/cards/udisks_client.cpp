#include "udisks_client.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QVariantMap>

namespace oakvane {

namespace {

// Names of the disk service's D-Bus API, made where used: the library keeps no objects of
// its own between calls.
QString service() { return QStringLiteral("org.freedesktop.UDisks2"); }
QString manager_path() { return QStringLiteral("/org/freedesktop/UDisks2/Manager"); }
QString interface_of(const char* name) { return QStringLiteral("org.freedesktop.UDisks2.") + QLatin1String(name); }
QString busy_error() { return QStringLiteral("org.freedesktop.UDisks2.Error.DeviceBusy"); }
// Long enough for the user to answer the service's password question.
constexpr int kCallTimeoutMs = 120000;

// Every method used takes an options dictionary; none is needed.
QVariant no_options()
{
    return QVariant::fromValue(QVariantMap());
}

}  // namespace

// Failures are the service's to explain: its words are kept for the reason of the outcome.
bool UDisksClient::succeeded(const QDBusMessage& reply) const
{
    if (reply.type() == QDBusMessage::ReplyMessage) {
        m_last_error.clear();
        return true;
    }
    m_last_error = reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
    return false;
}

UDisksClient::UDisksClient(QDBusConnection bus) : m_bus(std::move(bus)) {}

bool UDisksClient::service_present() const
{
    if (!m_bus.isConnected() || !m_bus.interface())
        return false;
    const QDBusReply<bool> running = m_bus.interface()->isServiceRegistered(service());
    if (running.isValid() && running.value())
        return true;
    const QDBusReply<QStringList> startable = m_bus.interface()->activatableServiceNames();
    return startable.isValid() && startable.value().contains(service());
}

QString UDisksClient::block_object(const QString& device_node) const
{
    const QVariantMap device{{QStringLiteral("path"), device_node}};
    const QDBusMessage reply = call(manager_path(), interface_of("Manager"), QStringLiteral("ResolveDevice"),
                                    {QVariant::fromValue(device), no_options()});
    if (!succeeded(reply) || reply.arguments().isEmpty())
        return {};
    const auto objects = qdbus_cast<QList<QDBusObjectPath>>(reply.arguments().at(0));
    return objects.isEmpty() ? QString() : objects.first().path();
}

Attempt UDisksClient::unmount(const QString& block) const
{
    const QDBusMessage reply =
        call(block, interface_of("Filesystem"), QStringLiteral("Unmount"), {no_options()});
    if (reply.type() == QDBusMessage::ErrorMessage && reply.errorName() == busy_error()) {
        m_last_error = reply.errorMessage();
        return Attempt::busy;
    }
    return succeeded(reply) ? Attempt::done : Attempt::failed;
}

bool UDisksClient::delete_loop(const QString& block) const
{
    return succeeded(call(block, interface_of("Loop"), QStringLiteral("Delete"), {no_options()}));
}

QString UDisksClient::drive_of(const QString& block) const
{
    const auto drive = property(block, interface_of("Block"), QStringLiteral("Drive"));
    if (!drive)
        return {};
    const QString path = drive->value<QDBusObjectPath>().path();
    return path == QLatin1String("/") ? QString() : path;
}

bool UDisksClient::drive_can(const QString& drive, const QString& name) const
{
    const auto value = property(drive, interface_of("Drive"), name);
    return value && value->toBool();
}

bool UDisksClient::eject(const QString& drive) const
{
    return succeeded(call(drive, interface_of("Drive"), QStringLiteral("Eject"), {no_options()}));
}

bool UDisksClient::power_off(const QString& drive) const
{
    return succeeded(call(drive, interface_of("Drive"), QStringLiteral("PowerOff"), {no_options()}));
}

QDBusMessage UDisksClient::call(const QString& path, const QString& interface,
                                const QString& method, const QVariantList& arguments) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(service(), path, interface, method);
    message.setArguments(arguments);
    // Unmounting or ejecting may need the user's password: let the service ask for it.
    message.setInteractiveAuthorizationAllowed(true);
    return m_bus.call(message, QDBus::Block, kCallTimeoutMs);
}

std::optional<QVariant> UDisksClient::property(const QString& path, const QString& interface,
                                               const QString& name) const
{
    const QDBusMessage reply = call(path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                    QStringLiteral("Get"), {interface, name});
    if (!succeeded(reply) || reply.arguments().isEmpty())
        return std::nullopt;
    return reply.arguments().at(0).value<QDBusVariant>().variant();
}

}  // namespace oakvane
