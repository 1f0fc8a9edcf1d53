#include "profile.h"

#include <QSettings>
#include <QStringList>
#include <QVariant>

#include <cstdlib>
#include <fstream>
#include <strings.h>

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

std::string trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool same_name(const std::string& a, const std::string& b)
{
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

}  // namespace

int number_or(const std::optional<std::string>& text, int dflt)
{
    return text ? std::atoi(text->c_str()) : dflt;
}

std::optional<std::string> Profile::read_plain(const std::string& section,
                                               const std::string& key) const
{
    std::ifstream in(m_path);
    bool in_section = false;
    for (std::string line; std::getline(in, line);) {
        line = trimmed(line);
        if (line.starts_with('[') && line.ends_with(']')) {
            in_section = same_name(trimmed(line.substr(1, line.size() - 2)), section);
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!in_section || line.starts_with(';') || equals == std::string::npos ||
            !same_name(trimmed(line.substr(0, equals)), key))
            continue;
        std::string value = trimmed(line.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return std::nullopt;
}



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
