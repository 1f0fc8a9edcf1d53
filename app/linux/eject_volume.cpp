#include "eject.h"
#include "eject_linux.h"
#include "eject_local.h"
#include "eject_udisks.h"

namespace oakvane {

int eject_volume_on(const std::string& mount_point, const QDBusConnection& bus,
                    const EjectRetry& retry)
{
    const auto target = find_eject_target(mount_point);
    if (!target)
        return eject_result(EjectOutcome::refused, mount_point);
    // An ordinary user may not unmount; the service may, and lets the desktop know.
    const UDisksClient udisks(bus);
    const EjectOutcome outcome = udisks.service_present() ? eject_udisks(udisks, *target, retry)
                                                          : eject_local(*target, retry);
    return eject_result(outcome, target->mount_point);
}

int eject_volume(const std::string& mount_point)
{
    return eject_volume_on(mount_point, QDBusConnection::systemBus(), EjectRetry{});
}

}  // namespace oakvane
