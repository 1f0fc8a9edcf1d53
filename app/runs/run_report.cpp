#include "run_report.h"

#include "json_paths.h"
#include "new_file.h"
#include "run_settings.h"
#include "run_texts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <array>
#include <cctype>
#include <filesystem>

#ifndef OAKVANE_VERSION
#define OAKVANE_VERSION "0"
#endif

namespace oakvane {

namespace {

// Raised whenever a key changes meaning or goes away, so that scripts can tell: 4 adds the
// exact bytes of paths that are not UTF-8, 2 has typed settings and each file's hash and
// read-back check.
constexpr int kReportFormatVersion = 4;

QJsonValue text_or_null(const std::optional<std::string>& value)
{
    return value ? QJsonValue(json_text(*value)) : QJsonValue();
}

// The settings as the run was given them, typed: numbers and flags as JSON numbers and
// booleans, so that a script need not know how the copy command spells them.
QJsonObject settings_json(const std::optional<RunRequest>& request)
{
    if (!request)
        return {};
    QJsonArray texts;
    for (const std::string& name_text : request->texts)
        texts.append(json_text(name_text));
    QJsonObject settings{
        {"converter", text_or_null(request->converter)},
        {"preview", json_text(request->preview)},
        {"embed", json_text(request->embed)},
        {"verify_only", request->verify_only},
        {"date_folders", request->date_folders},
        {"date_depth", request->date_depth},
        {"user_folder", request->user_folder},
        {"user_folder_name", json_text(request->user_folder_name)},
        {"range_folders", request->range_folders},
        {"name_format", json_text(request->name_format)},
        {"name_texts", texts},
        {"sidecar_template", json_text_or_null(request->sidecar_template)},
        {"starting_number", request->starting_number},
        {"read_back", request->read_back},
        {"decode_raws", request->decode_raws}};
    put_json_path(settings, "card_folder", request->card_folder, false);
    put_json_path(settings, "backup_folder", request->backup_folder, false);
    put_json_path(settings, "primary_folder", request->primary_folder, false);
    return settings;
}

QJsonObject file_json(const FileRecord& file)
{
    QJsonObject json{{"size", static_cast<qint64>(file.size)},
                     {"check", file_check_text(file.check)},
                     {"message", json_text_or_null(file.message)},
                     {"hash", json_text_or_null(file.hash)},
                     {"read_back", file.read_back},
                     {"unchecked_why", json_text_or_null(file.unchecked_why)}};
    put_json_path(json, "card_path", file.card_path, false);
    put_json_path(json, "backup_path", file.backup_path);
    put_json_path(json, "backup_sidecar", file.backup_sidecar);
    put_json_path(json, "primary_path", file.primary_path);
    put_json_path(json, "primary_sidecar", file.primary_sidecar);
    return json;
}

QJsonObject card_json(const RunRecord& run)
{
    QJsonObject card{{"name", json_text(run.card_name)}};
    put_json_path(card, "folder", run.card_folder, false);
    return card;
}

// The counts of the engine's report; null when the run ended before the report.
QJsonValue counts_json(const std::optional<RunCounts>& counts)
{
    if (!counts)
        return QJsonValue();
    return QJsonObject{{"raws_converted", counts->raws_converted},
                       {"copied_without_conversion", counts->copied_without_conversion},
                       {"raws_verified", counts->raws_verified},
                       {"raws_decoded", counts->raws_decoded},
                       {"jpegs_verified", counts->jpegs_verified},
                       {"unverified", counts->unverified},
                       {"already_ingested", counts->already_ingested}};
}

QJsonObject outcome_json(const RunRecord& run)
{
    switch (run.end) {
    case RunEnd::succeeded:
        return {{"result", "succeeded"}, {"line", "SUCCESSFUL INGESTION - no errors detected"}};
    case RunEnd::stopped:
        return {{"result", "stopped"}, {"line", json_text(kStoppedByUser)}};
    case RunEnd::failed:
        break;
    }
    return {{"result", "failed"}, {"line", json_text(run.message)}};
}

}  // namespace

void ReportingHooks::file_record(const FileRecord& record)
{
    m_record.files.push_back(record);
    m_inner.file_record(record);
}

RunRecord begin_run_record(const RunRequest& request, const DetectedCard& detected)
{
    RunRecord record;
    record.request = request;
    record.card_folder = request.card_folder;
    record.card_name = report_card_name(record.card_folder, detected);
    record.started = QDateTime::currentDateTimeUtc();
    return record;
}

void end_run_record(RunRecord& record, const RunResult& result)
{
    record.ended = QDateTime::currentDateTimeUtc();
    record.end = result.end;
    if (result.reported)
        record.counts = result.counts;
    if (result.end == RunEnd::failed && result.failure) {
        // The message as the output list showed it, in one line.
        record.message = result.failure->text();
        while (!record.message.empty() && record.message.back() == '\n')
            record.message.pop_back();
        for (char& c : record.message)
            if (c == '\n')
                c = ' ';
    }
}

std::string report_card_name(const std::string& card_folder, const DetectedCard& detected)
{
    if (!detected.name.empty() && card_folder == detected.folder)
        return detected.name;
    const std::filesystem::path folder = std::filesystem::path(card_folder).lexically_normal();
    const std::filesystem::path parent = (folder.has_filename() ? folder : folder.parent_path()).parent_path();
    return parent.filename().string();
}

QByteArray report_json(const RunRecord& run)
{
    std::uint64_t bytes = 0;
    QJsonArray files;
    for (const FileRecord& file : run.files) {
        files.append(file_json(file));
        if (!file.primary_path.empty())
            bytes += file.size;
    }
    const qint64 ms = std::max<qint64>(run.started.msecsTo(run.ended), 0);
    const double seconds = static_cast<double>(ms) / 1000.0;
    const QJsonObject report{
        {"format_version", kReportFormatVersion},
        {"program", "Oakvane"},
        {"version", OAKVANE_VERSION},
        {"card", card_json(run)},
        {"settings", settings_json(run.request)},
        {"files", files},
        {"counts", counts_json(run.counts)},
        {"outcome", outcome_json(run)},
        {"started", run.started.toString(Qt::ISODateWithMs)},
        {"ended", run.ended.toString(Qt::ISODateWithMs)},
        {"seconds", seconds},
        {"bytes", static_cast<qint64>(bytes)},
        {"bytes_per_second", seconds > 0 ? static_cast<double>(bytes) / seconds : 0.0}};
    return QJsonDocument(report).toJson(QJsonDocument::Indented);
}

bool write_report(const std::string& path, const RunRecord& run, std::string& why)
{
    // QSaveFile writes a temporary file beside path, flushes it to disk and renames it.
    QSaveFile file(json_text(path));
    if (!file.open(QIODevice::WriteOnly)) {
        why = "Can't write the report \"" + path + "\": " + file.errorString().toStdString();
        return false;
    }
    const QByteArray json = report_json(run);
    if (file.write(json) != json.size() || !file.commit()) {
        why = "Can't write the report \"" + path + "\": " + file.errorString().toStdString();
        return false;
    }
    // The rename itself must survive a crash too.
    std::string flush;
    if (!sync_folder_of(path, flush)) {
        why = "Can't write the report \"" + path + "\": " + flush;
        return false;
    }
    return true;
}

namespace {

// A card's name fit for a file name: a detected card's label ("<root> (<label>)"), else
// the last folder of its name, with nothing but letters, digits, ".", "-" and "_".
std::string card_file_stem(const std::string& card_name)
{
    std::string stem = card_name;
    const std::size_t open = stem.rfind(" (");
    if (open != std::string::npos && stem.ends_with(')'))
        stem = stem.substr(open + 2, stem.size() - open - 3);
    while (stem.ends_with('/'))
        stem.pop_back();
    stem = stem.substr(stem.rfind('/') + 1);
    for (char& c : stem)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_')
            c = '_';
    return stem.empty() || stem.starts_with('.') ? "card" + stem : stem;
}

}  // namespace

bool write_report_in(const std::string& folder, const RunRecord& run, std::string& path,
                     std::string& why)
{
    const std::string stem = card_file_stem(run.card_name) + "_" +
                             run.started.toLocalTime().toString("yyyyMMdd-HHmmss").toStdString();
    const auto name = [&stem](int n) {
        return n == 0 ? stem + ".json" : stem + "_" + std::to_string(n) + ".json";
    };
    const QByteArray json = report_json(run);
    const std::string_view bytes(json.constData(), static_cast<std::size_t>(json.size()));
    std::string note;
    const bool written = write_new_file(folder, name, bytes, path, note);
    if (!note.empty())
        why = (written ? "The report \"" + path + "\" is written, but "
                       : "Can't write a report into \"" + folder + "\": ") +
              note;
    return written;
}

}  // namespace oakvane
