// The card decision over made-up volume lists.

#include "card_scan.h"
#include "card_test_support.h"

#include <gtest/gtest.h>

namespace oakvane {
namespace {

using test::volume;

struct DecisionCase {
    const char* name;
    std::vector<Volume> volumes;
    CardState expected;
};

CardState one_card(const std::string& folder, const std::string& name)
{
    return {kOneCardStatus, kOneCardTextPrefix + name, folder, name, true};
}

class CardDecisionTable : public ::testing::TestWithParam<DecisionCase> {};

TEST_P(CardDecisionTable, SetsTextsFolderNameAndEject)
{
    const CardDecision decision = decide_cards(VolumeScan{true, GetParam().volumes, {}}, "", "");
    EXPECT_EQ(decision.result, 1);
    ASSERT_TRUE(decision.state);
    EXPECT_EQ(*decision.state, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cards, CardDecisionTable,
    ::testing::Values(
        DecisionCase{"NoCard",
                     {volume("/", false), volume("/media/usb", false, "STICK")},
                     {"Insert card or connect camera", "No image card mounted", "", "", false}},
        DecisionCase{"NothingMounted", {}, no_card_state()},
        DecisionCase{"Labelled",
                     {volume("/", false), volume("/media/card", true, "NIKON_D70")},
                     {"Press Start to begin", "Image card mounted: /media/card/ (NIKON_D70)",
                      "/media/card/DCIM", "/media/card/ (NIKON_D70)", true}},
        DecisionCase{"Unlabelled", {volume("/run/media/ann/3A1F-09C2", true)},
                     one_card("/run/media/ann/3A1F-09C2/DCIM", "/run/media/ann/3A1F-09C2/")},
        // A fixed disk counts like any card; its root already ends in "/".
        DecisionCase{"FixedDiskAtRoot", {volume("/", true, "system")},
                     one_card("/DCIM", "/ (system)")},
        DecisionCase{"Several",
                     {volume("/media/a", true, "A"), volume("/", false), volume("/media/b", true)},
                     {"Press Start to choose card", "Multiple image cards mounted", "", "",
                      false}}),
    [](const auto& info) { return info.param.name; });

TEST(CardFolder, IsTheRootFollowedByDcim)
{
    EXPECT_EQ(card_folder_of("/media/card"), "/media/card/DCIM");
    EXPECT_EQ(card_folder_of("/media/card/"), "/media/card/DCIM");
    EXPECT_EQ(card_folder_of("/"), "/DCIM");
    EXPECT_EQ(card_folder_of("/run/media/ann/EOS DIGITAL"), "/run/media/ann/EOS DIGITAL/DCIM");
    // The decision records the same text, so that a later comparison with it holds.
    const CardDecision decision =
        decide_cards(VolumeScan{true, {volume("/media/card", true)}, {}}, "", "");
    ASSERT_TRUE(decision.state);
    EXPECT_EQ(decision.state->card_folder, card_folder_of("/media/card"));
}

TEST(CardDecision, TheRecordedCardAgainChangesNothing)
{
    const VolumeScan scan{true, {volume("/media/card", true, "NIKON_D70"), volume("/mnt", false)}, {}};
    const CardDecision again = decide_cards(scan, "/media/card/DCIM", "/media/card/ (NIKON_D70)");
    EXPECT_EQ(again.result, 0);
    EXPECT_EQ(again.cards, 1);
    EXPECT_FALSE(again.state);
}

TEST(CardDecision, AnotherCardAtTheRecordedPlaceIsNew)
{
    // The old card was swapped for one with another label before the table was read again.
    const VolumeScan scan{true, {volume("/media/card", true, "CANON_EOS")}, {}};
    const CardDecision decision = decide_cards(scan, "/media/card/DCIM", "/media/card/ (NIKON_D70)");
    EXPECT_EQ(decision.result, 1);
    ASSERT_TRUE(decision.state);
    EXPECT_EQ(decision.state->card_name, "/media/card/ (CANON_EOS)");
}

TEST(CardDecision, RecordedCardIsNotKeptWhenOthersJoinOrItLeaves)
{
    const std::string folder = "/media/card/DCIM";
    const std::string name = "/media/card/";
    const VolumeScan two{true, {volume("/media/card", true), volume("/media/other", true)}, {}};
    EXPECT_EQ(decide_cards(two, folder, name).result, 1);
    const VolumeScan none{true, {volume("/media/card", false)}, {}};
    const CardDecision gone = decide_cards(none, folder, name);
    EXPECT_EQ(gone.result, 1);
    ASSERT_TRUE(gone.state);
    EXPECT_EQ(*gone.state, no_card_state());
}

TEST(CardDecision, UnreadableListChangesNothing)
{
    const CardDecision decision =
        decide_cards(VolumeScan{false, {}, "cannot read"}, "/media/card/DCIM", "/media/card/");
    EXPECT_EQ(decision.result, 1);
    EXPECT_FALSE(decision.state);
}

}  // namespace
}  // namespace oakvane
