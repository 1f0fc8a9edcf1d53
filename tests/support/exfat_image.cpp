#include "exfat_image.h"

#include "mounts.h"
#include "process.h"

#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

namespace oakvane::test {

namespace {

constexpr std::size_t kEntry = 32;
constexpr unsigned char kFileEntry = 0x85;
constexpr unsigned char kStreamEntry = 0xc0;
constexpr unsigned char kNameEntry = 0xc1;
// In the file entry: the set's checksum, and the offsets of the create, modify and access
// times, each 0x80 (valid) with a 7-bit signed count of quarter hours.
constexpr std::size_t kChecksum = 2;
constexpr std::size_t kFirstOffset = 22;
constexpr unsigned char kOffsetValid = 0x80;

const char* const kMkfs = "/usr/sbin/mkfs.exfat";
const char* const kFuseHelper = "/usr/sbin/mount.exfat-fuse";

// The checksum over an entry set, its own two bytes left out.
std::uint16_t set_checksum(const unsigned char* set, std::size_t size)
{
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < size; ++i)
        if (i != kChecksum && i != kChecksum + 1)
            sum = static_cast<std::uint16_t>(((sum << 15) | (sum >> 1)) + set[i]);
    return sum;
}

// Where the file entry of the set whose first name entry holds name begins; npos if none.
std::size_t file_entry_of(const std::vector<unsigned char>& image, const std::string& name)
{
    std::string utf16;
    for (char c : name)
        utf16 += std::string{c, '\0'};
    const std::string_view bytes(reinterpret_cast<const char*>(image.data()), image.size());
    for (std::size_t at = bytes.find(utf16); at != std::string_view::npos; at = bytes.find(utf16, at + 1)) {
        if (at < 2 * kEntry + 2 || (at - 2) % kEntry != 0)
            continue;
        const std::size_t entry = at - 2 - 2 * kEntry;
        if (image[at - 2] == kNameEntry && image[entry + kEntry] == kStreamEntry &&
            image[entry] == kFileEntry)
            return entry;
    }
    return std::string::npos;
}

}  // namespace

std::string exfat_fuse_refusal(const std::string& dir)
{
    if (access(kMkfs, X_OK) != 0 || access(kFuseHelper, X_OK) != 0)
        return "exfatprogs or exfat-fuse is not installed";
    if (access("/dev/fuse", R_OK | W_OK) != 0)
        return "no /dev/fuse to mount a FUSE file system with";
    return mount_refusal(dir);
}

std::string make_exfat_image(const std::string& image)
{
    {
        std::ofstream out(image, std::ios::binary | std::ios::trunc);
        out.seekp(8 * 1024 * 1024 - 1);
        out.put('\0');
        if (!out)
            return "can't write " + image;
    }
    const ProcessResult made = run_process({kMkfs, image});
    return made.exit_code == 0 ? std::string() : "mkfs.exfat failed: " + made.err + made.out;
}

std::string set_exfat_utc_offset(const std::string& image, const std::string& name,
                                 std::optional<int> offset_minutes)
{
    std::vector<unsigned char> bytes;
    {
        std::ifstream in(image, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const std::size_t entry = file_entry_of(bytes, name);
    if (entry == std::string::npos)
        return "no directory entry of " + name + " in " + image;
    const unsigned char offset =
        offset_minutes ? static_cast<unsigned char>(kOffsetValid | ((*offset_minutes / 15) & 0x7f)) : 0;
    for (std::size_t i = 0; i < 3; ++i)
        bytes[entry + kFirstOffset + i] = offset;
    const std::size_t set_size = (bytes[entry + 1] + 1u) * kEntry;
    const std::uint16_t sum = set_checksum(&bytes[entry], set_size);
    bytes[entry + kChecksum] = static_cast<unsigned char>(sum);
    bytes[entry + kChecksum + 1] = static_cast<unsigned char>(sum >> 8);
    std::fstream out(image, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(entry));
    out.write(reinterpret_cast<const char*>(&bytes[entry]), static_cast<std::streamsize>(set_size));
    return out ? std::string() : "can't write " + image;
}

}  // namespace oakvane::test
