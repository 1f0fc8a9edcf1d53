#pragma once
// The few calls of the desktop's disk service that ejecting a card needs. The service does the
// privileged work on behalf of an ordinary user and tells the desktop what it did.

#include "eject_outcome.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <optional>

namespace oakvane {

class UDisksClient {
public:
    // Production uses QDBusConnection::systemBus(); tests a private bus.
    explicit UDisksClient(QDBusConnection bus);

    // True when the service runs on the bus or the bus can start it.
    bool service_present() const;

    // The service's block object for a device node such as "/dev/sdb1"; empty when unknown.
    QString block_object(const QString& device_node) const;

    Attempt unmount(const QString& block) const;
    bool delete_loop(const QString& block) const;
    // The block's drive object; empty for a device without a drive (a loop device).
    QString drive_of(const QString& block) const;
    // A boolean property of the drive: "Ejectable" or "CanPowerOff"; false when unreadable.
    bool drive_can(const QString& drive, const QString& property) const;
    bool eject(const QString& drive) const;
    bool power_off(const QString& drive) const;

    // The service's own words for the last call that failed; empty after one that succeeded.
    const QString& last_error() const { return m_last_error; }

private:
    bool succeeded(const QDBusMessage& reply) const;
    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& arguments) const;
    std::optional<QVariant> property(const QString& path, const QString& interface,
                                     const QString& name) const;

    QDBusConnection m_bus;
    mutable QString m_last_error;
};

}  // namespace oakvane
