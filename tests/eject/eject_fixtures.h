#pragma once
// Real cards and a private bus for the eject tests; every guard undoes what it set up.

#include "process.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace oakvane::test {

// Qt's bus connections want an application object.
void ensure_qt_application();

bool is_mounted(const std::string& mount_point);

// An ext2 card image with a DCIM folder on a loop device, mounted at <dir>/card.
class LoopCard {
public:
    // nullptr with the reason in why where this machine does not allow it, or where the test
    // process has no mount namespace of its own to hide the card in.
    static std::unique_ptr<LoopCard> create(const std::filesystem::path& dir, std::string& why);
    ~LoopCard();

    const std::string& mount_point() const { return m_points.front(); }
    const std::string& loop() const { return m_loop; }
    bool mount_also(const std::string& mount_point);
    bool attached() const;     // the loop device still holds this card's image
    // A detach waits for anyone else who has the device open (a probing tool, say).
    bool detached_within_seconds(int seconds) const;
    std::string autoclear() const;

private:
    LoopCard() = default;
    std::string m_image, m_loop;
    std::vector<std::string> m_points;
};

// A tmpfs mounted at <dir>/tmpfs; like LoopCard, only in a mount namespace of the tests' own.
class TmpfsMount {
public:
    static std::unique_ptr<TmpfsMount> create(const std::filesystem::path& dir, std::string& why);
    ~TmpfsMount();
    const std::string& mount_point() const { return m_point; }

private:
    std::string m_point;
};

// A dbus-daemon of our own, ended with the guard.
class PrivateBus {
public:
    explicit PrivateBus(const std::filesystem::path& dir);
    const std::string& address() const { return m_address; }

private:
    std::unique_ptr<Process> m_daemon;
    std::string m_address;
};

// The stand-in disk service on a private bus; its call log read back line by line.
class Standin {
public:
    Standin(const PrivateBus& bus, const std::filesystem::path& log,
            const std::vector<std::string>& options);
    std::vector<std::string> calls() const;

private:
    std::filesystem::path m_log;
    std::unique_ptr<Process> m_process;
};

}  // namespace oakvane::test
