#pragma once
// Real mounts for the tests, each undone by its guard however the test ends. The test process
// runs in a mount namespace of its own where it can, so that a crashed test leaves no mount
// behind on the machine and no other process sees the test's cards.

#include <string>
#include <vector>

namespace oakvane::test {

// Whether the tests' mounts are hidden in a namespace of their own.
bool private_mount_namespace();

// Empty when this process may mount in dir; otherwise why not.
std::string mount_refusal(const std::string& dir);

class Mount {
public:
    // Runs mount(8) with options (e.g. {"-t", "tmpfs", "tmpfs"} or {"-o", "loop", image}),
    // with the "NAME=value" entries of env added to its environment (a FUSE file system's
    // process keeps it).
    Mount(const std::vector<std::string>& source, std::string mount_point,
          const std::vector<std::string>& env = {});
    ~Mount();
    Mount(const Mount&) = delete;
    Mount& operator=(const Mount&) = delete;

    bool ok() const { return m_mounted; }
    const std::string& error() const { return m_error; }
    const std::string& mount_point() const { return m_mount_point; }
    // Unmounts now; false with the reason in error() when it fails.
    bool unmount();

private:
    std::string m_mount_point;
    std::string m_error;
    bool m_mounted = false;
};

// Writes an ext2 image of 4 MiB labelled label (none when empty), holding the folders listed
// (e.g. "DCIM").
// Returns the reason it failed, or empty.
std::string make_ext2_image(const std::string& image, const std::string& label,
                            const std::vector<std::string>& folders);

// Writes an ext2 image of size (as mkfs takes it, e.g. "16M") labelled label (none when empty),
// holding a copy of the folder content. Returns the reason it failed, or empty.
std::string make_ext2_image_of(const std::string& image, const std::string& label,
                               const std::string& content, const std::string& size);

}  // namespace oakvane::test
