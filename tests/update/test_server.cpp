#include "test_server.h"

#include "temp_dir.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <stdexcept>

namespace oakvane::test {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> site_command(const fs::path& folder, UpdateSite::Mode mode)
{
    std::vector<std::string> argv = {PYTHON3, UPDATE_SERVER, (folder / "root").string(),
                                      (folder / "requests.log").string()};
    if (mode == UpdateSite::Mode::HoldOpen)
        argv.push_back("--hold-open");
    return argv;
}

// The server prints its port once it listens, so connections made after this succeed.
int read_port(Process& server)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string& out = server.poll_out(200);
        if (out.find('\n') != std::string::npos)
            return std::stoi(out);
    }
    throw std::runtime_error("update_server.py did not report its port");
}

// The folder with the site's page folder created, so that pages can be set at once.
fs::path with_page_folder(const fs::path& folder)
{
    fs::create_directories(folder / "root/Oakvane");
    return folder;
}

std::string local_url(int port) { return "http://127.0.0.1:" + std::to_string(port); }

}  // namespace

UpdateSite::UpdateSite(const fs::path& folder, Mode mode)
    : m_folder(with_page_folder(folder)),
      m_server(site_command(folder, mode)),
      m_port(read_port(m_server))
{
}

std::string UpdateSite::base_url() const { return local_url(m_port); }

void UpdateSite::set_page(const std::optional<std::string>& content)
{
    const fs::path page = m_folder / "root/Oakvane/update_check.php";
    if (content)
        write_file(page, *content);
    else
        fs::remove(page);
}

std::vector<std::string> UpdateSite::requests() const
{
    std::vector<std::string> lines;
    std::ifstream log(m_folder / "requests.log");
    for (std::string line; std::getline(log, line);)
        lines.push_back(line);
    return lines;
}

SilentPort::SilentPort() : m_fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    auto* any = reinterpret_cast<sockaddr*>(&address);
    if (m_fd < 0 || bind(m_fd, any, size) != 0 || listen(m_fd, 8) != 0 ||
        getsockname(m_fd, any, &size) != 0) {
        if (m_fd >= 0)
            close(m_fd);
        throw std::runtime_error("can't open a listening socket");
    }
    m_port = ntohs(address.sin_port);
}

SilentPort::~SilentPort() { close(m_fd); }

std::string SilentPort::base_url() const { return local_url(m_port); }

}  // namespace oakvane::test
