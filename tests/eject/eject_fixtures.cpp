#include "eject_fixtures.h"

#include "mounts.h"
#include "temp_dir.h"

#include <QCoreApplication>
#include <chrono>
#include <csignal>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace oakvane::test {

namespace {

std::string trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

// Output of process up to the first occurrence of marker; throws after a generous wait.
std::string wait_for_output(Process& process, const std::string& marker, const std::string& what)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string& out = process.poll_out(200);
        if (out.find(marker) != std::string::npos)
            return out;
    }
    process.send_signal(SIGKILL);
    throw std::runtime_error(what + " did not start: " + process.wait().err);
}

// The cards must stay out of sight of the rest of the machine: a desktop's disk service or
// file manager would probe or open a card that appeared, and could keep it busy just when a
// test ejects it. Referring to the namespace here also keeps the test support's set-up, which
// enters the namespace before main, in this program: nothing else here would pull it in.
bool mounts_hidden(std::string& why)
{
    if (private_mount_namespace())
        return true;
    why = "no mount namespace of our own: the test cards would be seen by other processes";
    return false;
}

void unmount(const std::string& point)
{
    if (is_mounted(point) && umount2(point.c_str(), 0) != 0)
        umount2(point.c_str(), MNT_DETACH);
}

}  // namespace

void ensure_qt_application()
{
    static int argc = 1;
    static char name[] = "eject_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

bool is_mounted(const std::string& mount_point)
{
    struct stat self{}, parent{};
    return stat(mount_point.c_str(), &self) == 0 &&
           stat((mount_point + "/..").c_str(), &parent) == 0 && self.st_dev != parent.st_dev;
}

std::unique_ptr<LoopCard> LoopCard::create(const fs::path& dir, std::string& why)
{
    if (!mounts_hidden(why))
        return nullptr;
    std::unique_ptr<LoopCard> card(new LoopCard);
    card->m_image = (dir / "card.img").string();
    write_file(card->m_image, "");
    fs::resize_file(card->m_image, 4 << 20);
    const ProcessResult made =
        run_process({"/usr/sbin/mkfs.ext2", "-q", "-F", "-L", "OAKCARD", card->m_image});
    if (made.exit_code != 0) {
        why = "can't make a card image: " + made.err;
        return nullptr;
    }
    const ProcessResult loop = run_process({"/usr/sbin/losetup", "-f", "--show", card->m_image});
    // Kept before anything can fail, so that the guard detaches the device however create ends.
    card->m_loop = trimmed(loop.out);
    if (loop.exit_code != 0) {
        why = "can't make a loop device: " + loop.err;
        return nullptr;
    }
    if (!card->mount_also((dir / "card").string())) {
        why = "can't mount " + card->m_loop + ": " + std::strerror(errno);
        return nullptr;
    }
    fs::create_directory(card->mount_point() + "/DCIM");
    write_file(card->mount_point() + "/DCIM/IMG_0001.JPG", "image");
    return card;
}

bool LoopCard::mount_also(const std::string& mount_point)
{
    fs::create_directories(mount_point);
    if (mount(m_loop.c_str(), mount_point.c_str(), "ext2", 0, nullptr) != 0)
        return false;
    m_points.push_back(mount_point);
    return true;
}

bool LoopCard::attached() const
{
    const fs::path backing = "/sys/block/" + fs::path(m_loop).filename().string() +
                             "/loop/backing_file";
    return !m_loop.empty() && fs::exists(backing) &&
           trimmed(read_file(backing)) == fs::canonical(m_image).string();
}

bool LoopCard::detached_within_seconds(int seconds) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (attached() && std::chrono::steady_clock::now() < deadline)
        usleep(100000);
    return !attached();
}

std::string LoopCard::autoclear() const
{
    return trimmed(read_file("/sys/block/" + fs::path(m_loop).filename().string() +
                             "/loop/autoclear"));
}

LoopCard::~LoopCard()
{
    for (auto it = m_points.rbegin(); it != m_points.rend(); ++it)
        unmount(*it);
    // The number may belong to another card by now: only our own image is detached.
    if (attached())
        run_process({"/usr/sbin/losetup", "-d", m_loop});
}

std::unique_ptr<TmpfsMount> TmpfsMount::create(const fs::path& dir, std::string& why)
{
    if (!mounts_hidden(why))
        return nullptr;
    std::unique_ptr<TmpfsMount> guard(new TmpfsMount);
    const std::string point = (dir / "tmpfs").string();
    fs::create_directories(point);
    if (mount("tmpfs", point.c_str(), "tmpfs", 0, "size=1m") != 0) {
        why = std::string("can't mount a tmpfs: ") + std::strerror(errno);
        return nullptr;
    }
    guard->m_point = point;
    fs::create_directory(point + "/DCIM");
    return guard;
}

TmpfsMount::~TmpfsMount()
{
    if (!m_point.empty())
        unmount(m_point);
}

PrivateBus::PrivateBus(const fs::path& dir)
{
    const fs::path config = dir / "bus.conf";
    write_file(config,
               "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig><type>session</type>\n"
               "<listen>unix:path=" + (dir / "bus").string() + "</listen>\n"
               "<auth>EXTERNAL</auth>\n"
               "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
               "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
    // setpriv ends the daemon with this process, should a test die before its guards run.
    m_daemon = std::make_unique<Process>(std::vector<std::string>{
        "/usr/bin/setpriv", "--pdeathsig", "KILL", "/usr/bin/dbus-daemon", "--nofork",
        "--print-address", "--config-file=" + config.string()});
    m_address = trimmed(wait_for_output(*m_daemon, "\n", "dbus-daemon"));
}

Standin::Standin(const PrivateBus& bus, const fs::path& log, const std::vector<std::string>& options)
    : m_log(log)
{
    std::vector<std::string> argv{STANDIN_UDISKS2, "--address", bus.address(), "--log", log};
    argv.insert(argv.end(), options.begin(), options.end());
    m_process = std::make_unique<Process>(argv);
    wait_for_output(*m_process, "ready", "standin-udisks2");
}

std::vector<std::string> Standin::calls() const
{
    std::vector<std::string> lines;
    std::istringstream in(fs::exists(m_log) ? read_file(m_log) : "");
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

}  // namespace oakvane::test
