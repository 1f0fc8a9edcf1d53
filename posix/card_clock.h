#pragma once
// How the modification times of a card's files become the dates and times its camera showed.
//
// A camera stamps FAT and exFAT files with its own wall-clock and no zone. The kernel turns
// such a stamp into a point in time by assuming a zone for it, which depends on the driver,
// its mount options and the kernel's own zone; the wall-clock is recovered by taking that
// assumption back, whatever zone the computer is in.

#include <string>
#include <string_view>

namespace oakvane::posix {

inline constexpr unsigned long kVfatMagic = 0x4d44;        // statfs f_type of vfat and msdos
inline constexpr unsigned long kExfatMagic = 0x2011bab0;   // statfs f_type of the exfat driver
inline constexpr unsigned long kFuseMagic = 0x65735546;    // statfs f_type of every FUSE file system

struct CardClock {
    // True: the time less kernel_shift, broken down as UTC, is the camera's wall-clock.
    // False: the file system keeps real points in time; they are broken down in local time.
    bool wall_clock = false;
    long long kernel_shift = 0;  // seconds the kernel added to the stamp it read from the card
};

// The decision for a card on a file system of type fs_type (statfs f_type) mounted with the
// file-system options fs_options ("opt,opt=value,..."), while the kernel's zone is
// minutes_west minutes west of UTC.
CardClock decide_card_clock(unsigned long fs_type, std::string_view fs_options, int minutes_west);

// Whether the card clock of a file system of this type depends on its mount options.
bool clock_depends_on_mount(unsigned long fs_type);

// statfs f_type of the file system holding path; 0 or errno.
int file_system_type(const std::string& path, unsigned long& fs_type);

// The file-system options (the superblock's, as the kernel's mount table shows them) of the
// mount holding path. False, with the reason in why, when no mount of its device is found.
bool mount_fs_options(const std::string& path, std::string& options, std::string& why);

// The kernel's own zone, in minutes west of UTC, which vfat (and exfat with sys_tz) apply.
// The C library's gettimeofday no longer reports it, so it is asked of the kernel directly.
// False when the kernel can't be asked.
bool kernel_minutes_west(int& minutes);

}  // namespace oakvane::posix
