#include "check_report.h"

#include "json_paths.h"
#include "new_file.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#ifndef OAKVANE_VERSION
#define OAKVANE_VERSION "0"
#endif

namespace oakvane {

namespace {

// Raised whenever a key changes meaning or goes away.
constexpr int kCheckReportFormatVersion = 1;

QJsonObject file_json(const CheckedFile& file)
{
    QJsonObject object{{"state", checked_state_text(file.state)},
                       {"detail", json_text_or_null(file.detail)},
                       {"hash_type", json_text_or_null(file.hash_type)}};
    put_json_path(object, "path", file.path, false);
    put_json_path(object, "history", file.history, false);
    return object;
}

QJsonObject counts_json(const LibraryCheck& check)
{
    return QJsonObject{{"intact", check.intact},   {"changed", check.changed},
                       {"missing", check.missing}, {"new", check.added},
                       {"unchecked", check.unchecked}};
}

QJsonObject outcome_json(const LibraryCheck& check)
{
    if (check.failure && check.failure->stopped())
        return {{"result", "stopped"}, {"message", QJsonValue()}};
    if (check.failure)
        return {{"result", "failed"}, {"message", json_text(check.failure->text())}};
    return {{"result", check.good() ? "intact" : "damaged"}, {"message", QJsonValue()}};
}

}  // namespace

QByteArray check_report_json(const CheckRecord& record)
{
    QJsonArray files;
    for (const CheckedFile& file : record.check.files)
        files.append(file_json(file));
    QJsonArray histories;
    for (const std::string& root : record.check.histories)
        histories.append(json_text(root));
    const QJsonObject report{
        {"format_version", kCheckReportFormatVersion},
        {"program", "Oakvane"},
        {"version", OAKVANE_VERSION},
        {"folder", json_text(record.folder)},
        {"histories", histories},
        {"files", files},
        {"counts", counts_json(record.check)},
        {"outcome", outcome_json(record.check)},
        {"started", record.started.toString(Qt::ISODateWithMs)},
        {"ended", record.ended.toString(Qt::ISODateWithMs)}};
    return QJsonDocument(report).toJson(QJsonDocument::Indented);
}

bool write_check_report(const std::string& path, const CheckRecord& record, std::string& why)
{
    QSaveFile file(json_text(path));
    const QByteArray json = check_report_json(record);
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size() || !file.commit()) {
        why = "Can't write the report \"" + path + "\": " + file.errorString().toStdString();
        return false;
    }
    std::string flush;
    if (!sync_folder_of(path, flush)) {
        why = "Can't write the report \"" + path + "\": " + flush;
        return false;
    }
    return true;
}

}  // namespace oakvane
