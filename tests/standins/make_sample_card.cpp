// make_sample_card: writes a camera card folder tree to ingest by hand or to benchmark.

#include "cardgen.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace {

namespace cardgen = oakvane::cardgen;

constexpr const char* kUsage =
    "usage: make_sample_card <card folder> [--preset demo|bench|many] [--pairs N]\n"
    "       [--jpeg-size WxH] [--raw-bytes N] [--raw-size WxH] [--random-raws] [--files N]\n"
    "       [--file-bytes N] [--quality Q] [--jpegs N]\n"
    "       make_sample_card --help\n";

constexpr const char* kHelp =
    "Makes a camera card's folder tree for demonstrations, tests and benchmarks: RAW+JPEG\n"
    "pairs (or many small files) under <card folder>/DCIM, with the times a camera gives.\n"
    "A preset chooses the layout; the other options change one part of it.\n"
    "Raws are DNGs the raw decoder accepts: uncompressed ones of exactly --raw-bytes, or\n"
    "lossless-JPEG ones of --raw-size samples (the bench preset: 6000x4000). --random-raws\n"
    "writes random bytes instead, for runs that do not decode raws.\n";

bool asks_for_help(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]) == "--help" || std::string_view(argv[i]) == "-h")
            return true;
    return false;
}

// Thrown for anything wrong on the command line; main prints it with the usage.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

template <typename Number>
Number parse_number(std::string_view option, std::string_view text)
{
    Number value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 0)
        throw UsageError(std::string(option) + " needs a whole number, not \"" + std::string(text) + "\"");
    return value;
}

std::pair<int, int> parse_size(std::string_view option, std::string_view text)
{
    const auto x = text.find('x');
    if (x == std::string_view::npos)
        throw UsageError(std::string(option) + " needs WxH, not \"" + std::string(text) + "\"");
    return {parse_number<int>(option, text.substr(0, x)), parse_number<int>(option, text.substr(x + 1))};
}

// Sets one override from an option and its value; the preset was applied before.
void apply_option(std::string_view option, std::string_view value, cardgen::CardLayout& layout)
{
    if (option == "--pairs")
        layout.pairs = parse_number<int>(option, value);
    else if (option == "--jpeg-size")
        std::tie(layout.jpeg_width, layout.jpeg_height) = parse_size(option, value);
    else if (option == "--raw-bytes") {
        layout.raw_bytes = parse_number<std::uintmax_t>(option, value);
        if (layout.raw_kind == cardgen::RawKind::compressed_dng)
            layout.raw_kind = cardgen::RawKind::dng;
    } else if (option == "--raw-size") {
        std::tie(layout.raw_width, layout.raw_height) = parse_size(option, value);
        layout.raw_kind = cardgen::RawKind::compressed_dng;
    }
    else if (option == "--files")
        layout.lone_raws = parse_number<int>(option, value);
    else if (option == "--file-bytes")
        layout.lone_raw_bytes = parse_number<std::uintmax_t>(option, value);
    else if (option == "--jpegs")
        layout.lone_jpegs = parse_number<int>(option, value);
    else if (option == "--quality")
        layout.quality = parse_number<int>(option, value);
    else
        throw UsageError("unknown option " + std::string(option));
}

struct Request {
    std::string card;
    cardgen::CardLayout layout;
};

// Options are collected first and applied after the preset, wherever it stands, so that
// they always override it.
Request parse_arguments(int argc, char** argv)
{
    Request request;
    std::string preset = "demo";
    std::vector<std::pair<std::string_view, std::string_view>> overrides;
    bool random_raws = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--random-raws") {
            random_raws = true;
        } else if (!arg.starts_with("--")) {
            if (!request.card.empty())
                throw UsageError("more than one card folder given");
            request.card = arg;
        } else if (i + 1 >= argc) {
            throw UsageError(std::string(arg) + " needs a value");
        } else if (arg == "--preset") {
            preset = argv[++i];
        } else {
            overrides.emplace_back(arg, argv[++i]);
        }
    }
    if (request.card.empty())
        throw UsageError("no card folder given");
    try {
        request.layout = cardgen::preset(preset);
    } catch (const std::invalid_argument& e) {
        throw UsageError(e.what());
    }
    for (const auto& [option, value] : overrides)
        apply_option(option, value, request.layout);
    if (random_raws)
        request.layout.raw_kind = cardgen::RawKind::random;
    return request;
}

}  // namespace

int main(int argc, char** argv)
{
    if (asks_for_help(argc, argv)) {
        std::printf("%s%s", kUsage, kHelp);
        return 0;
    }
    Request request;
    try {
        request = parse_arguments(argc, argv);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "make_sample_card: %s\n%s", e.what(), kUsage);
        return 2;
    }
    try {
        const auto files = cardgen::make_card(request.card, request.layout);
        std::printf("%s\n", cardgen::summary_line(files, request.card).c_str());
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "make_sample_card: %s\n%s", e.what(), kUsage);
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_sample_card: %s\n", e.what());
        return 1;
    }
    return 0;
}
