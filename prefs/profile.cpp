#include "profile.h"

#include <QSettings>
#include <QStringList>
#include <QVariant>

#include <cstdlib>

namespace oakvane {

namespace {

QString qstr(const std::string& s) { return QString::fromStdString(s); }

bool write_value(const std::string& path, const std::string& section, const std::string& key,
                 const QVariant& value)
{
    QSettings settings(qstr(path), QSettings::IniFormat);
    settings.beginGroup(qstr(section));
    settings.setValue(qstr(key), value);
    settings.endGroup();
    // QSettings only reports a failed write through its status after a sync.
    settings.sync();
    return settings.status() == QSettings::NoError;
}

}  // namespace

std::optional<std::string> Profile::read(const std::string& section, const std::string& key) const
{
    QSettings settings(qstr(m_path), QSettings::IniFormat);
    settings.beginGroup(qstr(section));
    if (!settings.contains(qstr(key)))
        return std::nullopt;
    const QVariant value = settings.value(qstr(key));
    // An unquoted comma in a hand-written value makes the INI reader split it into a list.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(",")).toStdString();
    return value.toString().toStdString();
}

std::string Profile::read_string(const std::string& section, const std::string& key,
                                 const std::string& dflt) const
{
    return read(section, key).value_or(dflt);
}

int Profile::read_int(const std::string& section, const std::string& key, int dflt) const
{
    const std::optional<std::string> text = read(section, key);
    return text ? std::atoi(text->c_str()) : dflt;
}

bool Profile::write_string(const std::string& section, const std::string& key,
                           const std::string& value) const
{
    return write_value(m_path, section, key, qstr(value));
}

bool Profile::write_int(const std::string& section, const std::string& key, int value) const
{
    return write_value(m_path, section, key, value);
}

}  // namespace oakvane
