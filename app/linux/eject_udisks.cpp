#include "eject_udisks.h"

#include <cstdio>

namespace oakvane {

namespace {

EjectOutcome release_drive(const UDisksClient& udisks, const QString& block)
{
    const QString drive = udisks.drive_of(block);
    if (drive.isEmpty())
        return EjectOutcome::unmounted;
    if (udisks.drive_can(drive, QStringLiteral("Ejectable")))
        return udisks.eject(drive) ? EjectOutcome::ejected : EjectOutcome::unmounted;
    if (udisks.drive_can(drive, QStringLiteral("CanPowerOff")))
        return udisks.power_off(drive) ? EjectOutcome::ejected : EjectOutcome::unmounted;
    return EjectOutcome::unmounted;
}

}  // namespace

EjectOutcome eject_udisks(const UDisksClient& udisks, const EjectTarget& target,
                          const EjectRetry& retry)
{
    const QString block = udisks.block_object(QString::fromStdString(target.device.node));
    if (block.isEmpty()) {
        std::fprintf(stderr, "Cannot eject %s: the disk service does not know %s.\n",
                     target.mount_point.c_str(), target.device.node.c_str());
        return EjectOutcome::failed;
    }
    if (const auto stop = unmount_for_eject(target, retry, [&] { return udisks.unmount(block); }))
        return *stop;
    if (target.device.loop)
        return udisks.delete_loop(block) ? EjectOutcome::ejected : EjectOutcome::unmounted;
    return release_drive(udisks, block);
}

}  // namespace oakvane
