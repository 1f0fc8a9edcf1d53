// The "copy" command's 19 arguments: the one place their layout is written out.
#include "engine.h"

#include <cctype>
#include <climits>

namespace oakvane {

namespace {

constexpr int kCopyArgumentCount = 19;
constexpr const char* kNoConverter = "none";
constexpr const char* kVerifyOnly = "verifyOnly";

}  // namespace

const std::array<const char*, 19> kCopyArgumentNames = {
    "program", "command", "card_folder", "backup_folder", "primary_folder", "DNG_Converter_path",
    "arrangement", "text1", "text2", "text3", "text4", "fmt", "preview", "embed", "verifyOnly",
    "sidecar_path", "arrSwitches", "startingNumber", "userFolder"};

std::optional<int> parse_starting_number(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        ++i;
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX)
            return std::nullopt;
    }
    if (negative && value != 0)
        return std::nullopt;
    return static_cast<int>(value);
}

std::optional<RunRequest> parse_copy_arguments(int argc, const char* const argv[], Failure& failure,
                                               bool& misuse)
{
    misuse = true;
    if (argc != kCopyArgumentCount) {
        failure = {"arg count", {}, 0};
        return std::nullopt;
    }
    const std::string switches = argv[16];
    if (switches.size() != 3) {
        failure = {"arrSwitches must be 3 chars", {}, 0};
        return std::nullopt;
    }
    misuse = false;
    const std::optional<int> number = parse_starting_number(argv[17]);
    if (!number) {
        failure = {std::string("Starting number must be from 0 to 2147483647: \"") + argv[17] + "\"", {}, 0};
        return std::nullopt;
    }
    RunRequest request;
    request.card_folder = argv[2];
    request.backup_folder = argv[3];
    request.primary_folder = argv[4];
    if (std::string_view(argv[5]) != kNoConverter)
        request.converter = argv[5];
    const char depth = argv[6][0];
    request.date_depth = depth == '2' ? 2 : depth == '3' ? 3 : 1;
    for (int i = 0; i < 4; ++i)
        request.texts[i] = argv[7 + i];
    request.name_format = argv[11];
    request.preview = argv[12];
    request.embed = argv[13];
    request.verify_only = std::string_view(argv[14]) == kVerifyOnly;
    request.sidecar_template = argv[15];
    request.date_folders = switches[0] == 'D';
    request.user_folder = switches[1] == 'U';
    request.range_folders = switches[2] == 'R';
    request.starting_number = *number;
    request.user_folder_name = argv[18];
    return request;
}

std::array<std::string, 19> copy_arguments(const RunRequest& request)
{
    std::string switches = "---";
    if (request.date_folders)
        switches[0] = 'D';
    if (request.user_folder)
        switches[1] = 'U';
    if (request.range_folders)
        switches[2] = 'R';
    return {"copycard",
            "copy",
            request.card_folder,
            request.backup_folder,
            request.primary_folder,
            request.converter.value_or(kNoConverter),
            std::to_string(request.date_depth),
            request.texts[0],
            request.texts[1],
            request.texts[2],
            request.texts[3],
            request.name_format,
            request.preview,
            request.embed,
            request.verify_only ? kVerifyOnly : "-",
            request.sidecar_template,
            switches,
            std::to_string(request.starting_number),
            request.user_folder_name};
}

}  // namespace oakvane
