#include "linux/volume_label.h"

#include <blkid/blkid.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>

namespace fs = std::filesystem;

namespace oakvane {

namespace {

int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string label_from_links(const std::string& device, const std::string& by_label_dir)
{
    std::error_code ec;
    fs::directory_iterator it(by_label_dir, ec);
    if (ec)
        return {};  // no udev on this system: the superblock is asked instead
    for (const fs::directory_entry& entry : it) {
        std::error_code same_ec;
        // Compared by the file they reach, since the mount table may name the device by a
        // different path (e.g. /dev/mapper/x for /dev/dm-0).
        if (fs::equivalent(entry.path(), device, same_ec) && !same_ec)
            return decode_label_link_name(entry.path().filename().string());
    }
    return {};
}

struct ProbeDeleter {
    void operator()(blkid_struct_probe* probe) const { blkid_free_probe(probe); }
};

std::string label_from_superblock(const std::string& device)
{
    // Only real block devices: a mount source such as "tmpfs" or a relative name must never
    // be opened as a file.
    struct stat st {};
    if (device.empty() || device.front() != '/' || stat(device.c_str(), &st) != 0 ||
        !S_ISBLK(st.st_mode))
        return {};
    std::unique_ptr<blkid_struct_probe, ProbeDeleter> probe(
        blkid_new_probe_from_filename(device.c_str()));
    if (!probe)
        return {};  // unreadable device: the volume is named by its root alone
    blkid_probe_enable_superblocks(probe.get(), 1);
    blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_LABEL);
    const char* label = nullptr;
    if (blkid_do_safeprobe(probe.get()) != 0 ||
        blkid_probe_lookup_value(probe.get(), "LABEL", &label, nullptr) != 0 || !label)
        return {};
    return label;
}

}  // namespace

std::string decode_label_link_name(std::string_view name)
{
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
            const int high = hex_value(name[i + 2]);
            const int low = hex_value(name[i + 3]);
            if (high >= 0 && low >= 0) {
                out.push_back(static_cast<char>(high * 16 + low));
                i += 3;
                continue;
            }
        }
        out.push_back(name[i]);
    }
    return out;
}

std::string volume_label(const std::string& device, const std::string& by_label_dir)
{
    std::string label = label_from_links(device, by_label_dir);
    if (label.empty())
        label = label_from_superblock(device);
    return label;
}

}  // namespace oakvane
