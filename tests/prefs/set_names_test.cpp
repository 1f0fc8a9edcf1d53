#include "preferences.h"

#include <gtest/gtest.h>

using namespace oakvane;

namespace {

struct FindCase {
    std::vector<std::string> entries;
    std::string name;
    int expected;
};

}  // namespace

TEST(FindPrefixEntry, StartsAtTheSecondEntryAndWrapsAround)
{
    const FindCase cases[] = {
        {{"Default", "Default2"}, "Default", 1},
        {{"Default", "Trip", "Studio"}, "Default", 0},
        {{"Default", "Trip", "Trip2"}, "TRIP", 1},
        {{"Default", "Trip"}, "Tripod", -1},
        {{}, "Default", -1},
    };
    for (const FindCase& c : cases)
        EXPECT_EQ(find_prefix_entry(c.entries, c.name), c.expected) << c.name;
}

TEST(SelectPrefSetEntry, ExactNameFirstThenPrefixThenDefault)
{
    const FindCase cases[] = {
        {{"Default", "Default2", "[new...]", "[delete]"}, "Default", 0},
        {{"Default", "Trip2", "Trip"}, "Trip", 2},
        {{"Default", "Trip"}, "trip", 1},
        {{"Default", "Default2", "Trip"}, "Gone", 0},
        {{"Trip"}, "Gone", -1},
    };
    for (const FindCase& c : cases)
        EXPECT_EQ(SelectPrefSetEntry(c.entries, c.name), c.expected) << c.name;
}

TEST(UsableSetName, RefusesNamesOutsideTheFolderHiddenOrReserved)
{
    for (const char* name : {"Trip", "Trip 2", "Job [x]", "a..b", "Default"})
        EXPECT_TRUE(is_usable_set_name(name)) << name;
    for (const char* name : {"", "   ", ".", "..", ".hidden", "a/b", "../up", "a\nb",
                             "[new...]", "[delete]", "[none]"})
        EXPECT_FALSE(is_usable_set_name(name)) << name;
}
