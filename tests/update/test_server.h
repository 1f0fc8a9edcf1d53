#pragma once
// Servers for the update check's tests, each stopped when it goes out of scope.

#include "process.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace oakvane::test {

// The stand-in web site (update_server.py), answering from a folder of its own.
class UpdateSite {
public:
    enum class Mode { Normal, HoldOpen };
    UpdateSite(const std::filesystem::path& folder, Mode mode = Mode::Normal);

    std::string base_url() const;
    // The update page's content; none removes the page.
    void set_page(const std::optional<std::string>& content);
    // The requests so far, one "path\tuser agent\tcache control" line each.
    std::vector<std::string> requests() const;

private:
    std::filesystem::path m_folder;
    Process m_server;
    int m_port = 0;
};

// A port that accepts connections (the system completes them) but never answers.
class SilentPort {
public:
    SilentPort();
    ~SilentPort();
    SilentPort(const SilentPort&) = delete;
    SilentPort& operator=(const SilentPort&) = delete;
    std::string base_url() const;

private:
    int m_fd = -1;
    int m_port = 0;
};

}  // namespace oakvane::test
