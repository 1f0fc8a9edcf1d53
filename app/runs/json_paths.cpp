#include "json_paths.h"

#include <QByteArray>

namespace oakvane {

namespace {

bool valid_utf8(const std::string& s)
{
    const QByteArray bytes = QByteArray::fromStdString(s);
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

// Every byte but printable ASCII, and "%" itself, as %XX: any script's URL decoder gives
// the bytes back.
QString percent_encoded(const std::string& s)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    QString out;
    for (const char c : s) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > 0x20 && byte < 0x7f && byte != '%') {
            out += QChar(byte);
        } else {
            out += '%';
            out += QChar(kHex[byte >> 4]);
            out += QChar(kHex[byte & 15]);
        }
    }
    return out;
}

}  // namespace

QString json_text(const std::string& s) { return QString::fromStdString(s); }

QJsonValue json_text_or_null(const std::string& s) { return s.empty() ? QJsonValue() : QJsonValue(json_text(s)); }

void put_json_path(QJsonObject& object, const QString& key, const std::string& path, bool null_when_empty)
{
    object.insert(key, null_when_empty ? json_text_or_null(path) : QJsonValue(json_text(path)));
    if (!valid_utf8(path))
        object.insert(key + "_bytes", percent_encoded(path));
}

}  // namespace oakvane
