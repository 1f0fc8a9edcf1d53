#pragma once
// The engine's one way to fail: what was being done, the path it was done to and the
// system's reason (errno), or a check's own message with no errno. A step returns a Status;
// the run turns the first failure into the output list's "ERROR:" lines in one place.

#include <optional>
#include <string>
#include <utility>

namespace oakvane {

struct Failure {
    std::string message;  // what failed, as the output list says it
    std::string path;     // the file or folder concerned, "" when none
    int err = 0;          // errno of the failed call; 0 for a check's own message

    // The message, then ": <path>: <reason>" when a call failed.
    std::string text() const;
    bool stopped() const { return err == 0 && message == "Stopped"; }
};

// A step's outcome: good, or the failure that ended it.
class [[nodiscard]] Status {
public:
    Status() = default;
    Status(Failure failure) : m_failure(std::move(failure)) {}  // NOLINT: a failure is a Status

    explicit operator bool() const { return !m_failure; }
    const Failure& failure() const { return *m_failure; }
    Failure& failure() { return *m_failure; }
    // The same failure with another message, for a caller that knows better what was
    // being done; path and reason stay.
    Status reworded(std::string message) &&
    {
        if (m_failure)
            m_failure->message = std::move(message);
        return std::move(*this);
    }

private:
    std::optional<Failure> m_failure;
};

inline Status fail(std::string message, std::string path = {}, int err = 0)
{
    return Failure{std::move(message), std::move(path), err};
}

inline Status stopped() { return fail("Stopped"); }

}  // namespace oakvane
