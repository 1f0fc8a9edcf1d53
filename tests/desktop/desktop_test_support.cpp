#include "desktop_test_support.h"

#include "camera_volumes.h"

#include <QAbstractButton>
#include <QListWidget>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <fstream>

namespace oakvane::test {

std::vector<TestFactory>& desktop_tests()
{
    static std::vector<TestFactory> tests;
    return tests;
}

PrivateConfig::PrivateConfig()
    : m_old_config(qgetenv("XDG_CONFIG_HOME")), m_old_home(qgetenv("HOME"))
{
    std::filesystem::create_directories(m_dir.path() / "config");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(m_dir / "config"));
    qputenv("HOME", QByteArray::fromStdString(m_dir.str()));
}

PrivateConfig::~PrivateConfig()
{
    qputenv("XDG_CONFIG_HOME", m_old_config);
    qputenv("HOME", m_old_home);
}

void PrivateConfig::write_set(const std::string& set, const std::vector<std::string>& lines) const
{
    const std::filesystem::path folder = m_dir.path() / "config/Oakvane/Main";
    std::filesystem::create_directories(folder);
    std::ofstream out(folder / set);
    out << "Version\t1\nDate\t2026-01-01 00:00:00\n";
    for (const std::string& line : lines)
        out << line << '\n';
}

void when_modal(std::function<bool(QWidget*)> act, int timeout_ms)
{
    auto* timer = new QTimer(qApp);
    auto* clock = new QElapsedTimer;
    clock->start();
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, clock, act, timeout_ms] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && act(modal)) {
            timer->stop();
            timer->deleteLater();
            delete clock;
            return;
        }
        if (clock->elapsed() > timeout_ms) {
            timer->stop();
            timer->deleteLater();
            delete clock;
            QTest::qFail("no modal window came to answer", __FILE__, __LINE__);
            // Whatever is waiting must not wait forever: the test has failed already.
            if (QWidget* stuck = QApplication::activeModalWidget())
                stuck->close();
        }
    });
    timer->start();
}

void answer_message_box(QString* text, int timeout_ms)
{
    answer_modal<QMessageBox>(
        [text](QMessageBox* box) {
            if (text)
                *text = box->text();
            const auto buttons = box->buttons();
            if (!buttons.isEmpty())
                buttons.constFirst()->click();
            else
                box->close();
        },
        timeout_ms);
}

bool wait_until(const std::function<bool()>& done, int timeout_ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeout_ms)
        QTest::qWait(5);
    return done();
}

}  // namespace oakvane::test

namespace oakvane::test {

WindowFixture::WindowFixture(std::vector<std::string> set_lines)
    : backup(config.path("backup")), primary(config.path("primary"))
{
    std::filesystem::create_directories(backup);
    std::filesystem::create_directories(primary);
    m_volumes->ok = true;
    set_lines.insert(set_lines.begin(), {"BackupFolder\t" + backup, "PrimaryFolder\t" + primary});
    config.write_set("Default", set_lines);
}

WindowFixture::~WindowFixture()
{
    if (m_window && m_window->isVisible())
        m_window->close();
}

bool WindowFixture::start()
{
    CMainDlg::Options options;
    options.volumes = std::make_unique<FakeVolumes>(m_volumes);
    auto mounts = std::make_unique<FakeMountMonitor>();
    m_mounts = mounts.get();
    options.mounts = std::move(mounts);
    m_window = std::make_unique<CMainDlg>(std::move(options));
    m_window->show();
    return m_window->OnInitDialog();
}

QStringList WindowFixture::output() const
{
    QStringList lines;
    auto* list = m_window->findChild<QListWidget*>(QStringLiteral("output"));
    for (int i = 0; i < list->count(); ++i)
        lines << list->item(i)->text();
    return lines;
}

std::string WindowFixture::insert_card(const std::string& name, int mount_id)
{
    const std::string mount_point = config.path(name);
    std::filesystem::create_directories(mount_point + "/DCIM");
    Volume volume;
    volume.mount_point = mount_point;
    volume.device = "/dev/loop" + std::to_string(mount_id);
    volume.fs_type = "ext2";
    volume.has_dcim = true;
    volume.mount_id = mount_id;
    m_volumes->volumes.push_back(volume);
    announce();
    return mount_point + "/DCIM";
}

void WindowFixture::remove_card(int mount_id)
{
    std::erase_if(m_volumes->volumes, [mount_id](const Volume& v) { return v.mount_id == mount_id; });
    announce();
}

void WindowFixture::connect_camera(const std::string& model, const std::string& port)
{
    m_volumes->volumes.push_back(camera_volume({model, port}));
    announce();
}

void WindowFixture::announce()
{
    if (m_mounts)
        m_mounts->announce();
}

}  // namespace oakvane::test
