#include "eject_udisks.h"

namespace oakvane {

namespace {

// The card is unmounted by now, so a step that fails here only costs the eject.
EjectEnd unmounted_because(const UDisksClient& udisks, const char* step)
{
    if (udisks.last_error().isEmpty())
        return {EjectOutcome::unmounted, {}};
    return {EjectOutcome::unmounted, step + (": " + udisks.last_error().toStdString())};
}

EjectEnd release_drive(const UDisksClient& udisks, const QString& block)
{
    const QString drive = udisks.drive_of(block);
    if (drive.isEmpty())
        return unmounted_because(udisks, "Cannot find the drive");
    if (udisks.drive_can(drive, QStringLiteral("Ejectable")))
        return udisks.eject(drive) ? EjectEnd{EjectOutcome::ejected, {}}
                                   : unmounted_because(udisks, "Cannot eject");
    if (udisks.drive_can(drive, QStringLiteral("CanPowerOff")))
        return udisks.power_off(drive) ? EjectEnd{EjectOutcome::ejected, {}}
                                       : unmounted_because(udisks, "Cannot power off");
    return unmounted_because(udisks, "Cannot eject");
}

// A card image with partitions is a loop device whose partitions are block objects of their
// own, without the loop interface: the image is detached through the loop device itself.
EjectEnd delete_loop(const UDisksClient& udisks, const EjectTarget& target, const QString& block)
{
    const QString loop = target.device.disk_node == target.device.node
                             ? block
                             : udisks.block_object(QString::fromStdString(target.device.disk_node));
    if (loop.isEmpty()) {
        const std::string why = udisks.last_error().isEmpty()
                                    ? std::string("unknown to the disk service")
                                    : udisks.last_error().toStdString();
        return {EjectOutcome::unmounted, "Cannot find " + target.device.disk_node + ": " + why};
    }
    return udisks.delete_loop(loop) ? EjectEnd{EjectOutcome::ejected, {}}
                                    : unmounted_because(udisks, "Cannot detach");
}

}  // namespace

EjectEnd eject_udisks(const UDisksClient& udisks, const EjectTarget& target,
                      const EjectRetry& retry)
{
    const QString block = udisks.block_object(QString::fromStdString(target.device.node));
    if (block.isEmpty()) {
        std::string why = "Cannot eject " + target.mount_point + ": the disk service does not know " +
                          target.device.node + ".";
        if (!udisks.last_error().isEmpty())
            why += " " + udisks.last_error().toStdString();
        return {EjectOutcome::failed, why};
    }
    if (const auto stop = unmount_for_eject(target, retry, [&] { return udisks.unmount(block); })) {
        if (*stop != EjectOutcome::failed)
            return {*stop, {}};
        return {*stop, "Cannot unmount " + target.mount_point + ": " +
                           udisks.last_error().toStdString()};
    }
    if (target.device.loop)
        return delete_loop(udisks, target, block);
    return release_drive(udisks, block);
}

}  // namespace oakvane
