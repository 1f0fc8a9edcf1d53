#pragma once
// Text and paths in the JSON reports. JSON holds only Unicode text, and a Linux name is any
// bytes: a path that is not UTF-8 is shown in its key (each bad byte as U+FFFD) and kept
// exactly, percent-encoded, in the key of the same name ending in "_bytes".

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <string>

namespace oakvane {

QString json_text(const std::string& s);

// text, or null when it is empty.
QJsonValue json_text_or_null(const std::string& s);

// path under key (null for an empty path when null_when_empty), with key + "_bytes" where
// it is not UTF-8.
void put_json_path(QJsonObject& object, const QString& key, const std::string& path,
                   bool null_when_empty = true);

}  // namespace oakvane
