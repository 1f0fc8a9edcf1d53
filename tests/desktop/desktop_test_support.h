#pragma once
// What the window tests share: a registry of QtTest objects run by one executable, a private
// configuration folder per test, and answering modal dialogs from a timer.

#include "temp_dir.h"

#include <QObject>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace oakvane::test {

using TestFactory = std::function<std::unique_ptr<QObject>()>;
std::vector<TestFactory>& desktop_tests();

// Registers a QtTest class with the executable: OAKVANE_DESKTOP_TEST(MainWindowTest)
#define OAKVANE_DESKTOP_TEST(Class)                                                        \
    static const bool registered_##Class = [] {                                            \
        oakvane::test::desktop_tests().push_back([] { return std::make_unique<Class>(); }); \
        return true;                                                                       \
    }()

// A fresh folder that is the XDG configuration folder (and HOME) while it lives, so the
// preferences of a test are its own.
class PrivateConfig {
public:
    PrivateConfig();
    ~PrivateConfig();
    PrivateConfig(const PrivateConfig&) = delete;
    PrivateConfig& operator=(const PrivateConfig&) = delete;

    const TempDir& dir() const { return m_dir; }
    std::string path(const std::string& name) const { return m_dir / name; }
    // <config>/Oakvane/Main/<set>, written with the given "Key\tValue" lines.
    void write_set(const std::string& set, const std::vector<std::string>& lines) const;

private:
    TempDir m_dir;
    QByteArray m_old_config;
    QByteArray m_old_home;
};

// Answers the next modal window that act accepts: act is called with the active modal widget
// every few milliseconds until it returns true (or until the timeout, which fails the test).
// Works from inside the modal loop, as a person at the keyboard would.
void when_modal(std::function<bool(QWidget*)> act, int timeout_ms = 10000);

// The common answers: the modal widget of class T gets f applied.
template <class T>
void answer_modal(std::function<void(T*)> f, int timeout_ms = 10000)
{
    when_modal(
        [f](QWidget* w) {
            T* t = qobject_cast<T*>(w);
            if (!t)
                return false;
            f(t);
            return true;
        },
        timeout_ms);
}

// Closes the next message box, pressing its first button, and returns its text via *text.
void answer_message_box(QString* text, int timeout_ms = 10000);

// Waits, serving events, until done() holds or timeout_ms passed; returns done().
bool wait_until(const std::function<bool()>& done, int timeout_ms = 10000);

}  // namespace oakvane::test
