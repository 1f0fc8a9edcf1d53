// A run keeps all of its state to itself: two cards ingested at once, on two threads of one
// process, each end up whole in their own trees and nowhere else.
#include "cardgen.h"
#include "engine.h"
#include "recording_host.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>

using namespace oakvane;
namespace fs = std::filesystem;

namespace {

RunRequest flat_request(const test::TempDir& dir, const std::string& name)
{
    RunRequest request;
    request.card_folder = dir / (name + "-card/DCIM");
    request.backup_folder = dir / (name + "-backup");
    request.primary_folder = dir / (name + "-primary");
    request.name_format = "SNEE";  // IMG_0001.JPG keeps its card name
    request.texts = {"IMG", "", "", ""};
    return request;
}

// Every file of the tree is one of the card's, byte for byte, and every card file is there.
void expect_card_in(const std::vector<cardgen::CardFile>& card, const fs::path& card_root,
                    const fs::path& tree)
{
    std::vector<std::string> expected;
    for (const cardgen::CardFile& file : card) {
        const std::string name = fs::path(file.path).filename().string();
        expected.push_back(name);
        EXPECT_EQ(test::read_file(tree / name), test::read_file(card_root / file.path)) << name;
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(test::list_tree(tree), expected) << tree;
}

}  // namespace

TEST(TwoRuns, TwoIngestionsAtOnceEachPlaceTheirOwnCard)
{
    test::TempDir dir;
    cardgen::CardLayout jpegs;
    jpegs.lone_jpegs = 60;
    jpegs.folders = 2;
    cardgen::CardLayout raws;
    raws.lone_raws = 80;
    raws.lone_raw_bytes = 256 * 1024;
    raws.folders = 3;
    const auto card_a = cardgen::make_card(dir / "a-card", jpegs);
    const auto card_b = cardgen::make_card(dir / "b-card", raws);
    const RunRequest a = flat_request(dir, "a");
    const RunRequest b = flat_request(dir, "b");

    test::RecordingHost host_a;
    test::RecordingHost host_b;
    RunResult result_a;
    RunResult result_b;
    std::thread run_a([&] { result_a = ingest(a, host_a); });
    std::thread run_b([&] { result_b = ingest(b, host_b); });
    run_a.join();
    run_b.join();

    ASSERT_TRUE(result_a.succeeded()) << (result_a.failure ? result_a.failure->text() : "");
    ASSERT_TRUE(result_b.succeeded()) << (result_b.failure ? result_b.failure->text() : "");
    EXPECT_EQ(result_a.counts.images, 60);
    EXPECT_EQ(result_a.counts.jpegs_verified, 60);
    EXPECT_EQ(result_b.counts.images, 80);
    EXPECT_EQ(result_b.counts.jpegs_verified, 0);
    EXPECT_EQ(result_a.next_number, 60);  // one number per image, each run its own
    EXPECT_EQ(result_b.next_number, 80);
    for (const auto& [card, request] : {std::pair{&card_a, &a}, std::pair{&card_b, &b}}) {
        const fs::path card_root = fs::path(request->card_folder).parent_path();
        expect_card_in(*card, card_root, request->backup_folder);
        expect_card_in(*card, card_root, request->primary_folder);
    }
    // Each host heard only its own run.
    EXPECT_EQ(host_a.lines.back(), "SUCCESSFUL INGESTION - no errors detected");
    EXPECT_EQ(host_b.lines.back(), "SUCCESSFUL INGESTION - no errors detected");
    const auto counted = [](const test::RecordingHost& host, const std::string& line) {
        return std::any_of(host.lines.begin(), host.lines.end(),
                           [&](const std::string& l) { return l.starts_with(line); });
    };
    EXPECT_TRUE(counted(host_a, "60 files copied from card"));
    EXPECT_FALSE(counted(host_a, "80 files copied from card"));
    EXPECT_TRUE(counted(host_b, "80 files copied from card"));
}
