#pragma once
// What the window tests share: a registry of QtTest objects run by one executable, a private
// configuration folder per test, and answering modal dialogs from a timer.

#include "main_window.h"
#include "mount_monitor.h"
#include "temp_dir.h"
#include "volumes.h"

#include <QObject>
#include <QPointer>
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

// Volumes the test mounts and unmounts by editing a list; the window reads it at every scan.
class FakeVolumes : public VolumeSource {
public:
    explicit FakeVolumes(std::shared_ptr<VolumeScan> scan) : m_scan(std::move(scan)) {}
    VolumeScan list_volumes() override { return *m_scan; }

private:
    std::shared_ptr<VolumeScan> m_scan;
};

// Tells the window that the made-up volumes have changed, when the test says so.
class FakeMountMonitor : public MountMonitor {
public:
    void announce() { emit changed(); }
};

// A main window on a private configuration and made-up volumes.
class WindowFixture {
public:
    // The "Default" set holds set_lines ("Key\tValue"); backup and primary folders are made in
    // the private folder unless the lines name others.
    explicit WindowFixture(std::vector<std::string> set_lines = {});
    ~WindowFixture();

    // Starts the window as the program does; false when its start-up failed.
    bool start();
    CMainDlg& window() { return *m_window; }
    // The output list's lines.
    QStringList output() const;
    // A card at <private>/<name> with a DCIM folder, mounted with the given mount id; the
    // mount table then changes as the kernel would announce it.
    std::string insert_card(const std::string& name, int mount_id);
    void remove_card(int mount_id);
    // A camera of model at a libgphoto2 port, found as card detection finds cameras.
    void connect_camera(const std::string& model, const std::string& port);

    PrivateConfig config;
    std::string backup;
    std::string primary;

private:
    void announce();

    std::shared_ptr<VolumeScan> m_volumes = std::make_shared<VolumeScan>();
    std::unique_ptr<CMainDlg> m_window;
    QPointer<FakeMountMonitor> m_mounts;  // the window's detector owns it; null once it is gone
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
