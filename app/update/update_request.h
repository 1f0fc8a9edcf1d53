#pragma once
// The request to the product web site that answers whether this version is current.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace oakvane {

// Long enough for a slow site, short enough that a dead network does not hold the window.
inline constexpr std::chrono::milliseconds kUpdateTimeout{5000};

// The web site's base URL: the environment variable OAKVANE_UPDATE_URL when it is set and not
// empty, else the product web site.
std::string update_base_url();

// The check's URL below base. The version goes in as it is, not escaped.
std::string update_url(std::string_view base, std::string_view version);

// Asks url and returns the first line of the answer's body without its line end. Whatever the
// HTTP status, a body is an answer (an error page's first line included). None when the
// request failed: no connection, no such host, an empty body, or no complete line within
// timeout. Needs a QCoreApplication. Waits in a local event loop on the calling thread that
// holds back user input, so the window keeps painting but cannot start a second check meanwhile.
std::optional<std::string> fetch_first_line(const std::string& url,
                                            std::chrono::milliseconds timeout);

}  // namespace oakvane
