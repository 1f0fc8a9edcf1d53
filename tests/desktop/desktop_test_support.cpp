#include "desktop_test_support.h"

#include <QAbstractButton>
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
