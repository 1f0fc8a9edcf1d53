#include "prefs_support.h"

#include "proper.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace oakvane;
using namespace oakvane::test;
namespace fs = std::filesystem;

namespace {

using Strings = std::vector<std::string>;

class PrefSets : public PrefsTest {
protected:
    // Default, Trip and Studio on disk; Trip current, as the main window leaves it at start-up.
    void SetUp() override
    {
        write_set("Default", {"NamePfx\tDef"});
        write_set("Trip", {"NamePfx\tTrip", "UserFolder\tAlps"});
        write_set("Studio", {"NamePfx\tStudio"});
        write_profile("PrefSetCurrent=Trip\n");
        start();
        const SetList list = prefs->FillPrefSetCombo(false);
        ASSERT_TRUE(prefs->SwitchPrefSet(list.entries.at(list.selected)));
        ASSERT_TRUE(prefs->PutPrefStr("App", "NamePfx", "Changed"));  // not yet written
        host.switched.clear();
    }
    std::string selected_entry(bool dialog_list)
    {
        const SetList list = prefs->FillPrefSetCombo(dialog_list);
        return list.selected < 0 ? "(none)" : list.entries.at(list.selected);
    }
    Strings main_folder() const { return list_tree(dir / "Oakvane/Main"); }
    const Strings trip_changed = {"UserFolder\tAlps", "NamePfx\tChanged"};
};

}  // namespace

TEST_F(PrefSets, ListsShowDefaultFirstAndTheCommandsInTheDialog)
{
    Strings others;  // in the store's order
    std::optional<std::string> name;
    for (int n = 0; PropSetName("Main", n, name) && name; ++n)
        if (*name != "Default")
            others.push_back(*name);
    ASSERT_EQ(others.size(), 2u);
    const SetList main_list = prefs->FillPrefSetCombo(false);
    EXPECT_EQ(main_list.entries, (Strings{"Default", others[0], others[1]}));
    EXPECT_EQ(prefs->FillPrefSetCombo(true).entries,
              (Strings{"Default", others[0], others[1], "[new...]", "[delete]"}));
    EXPECT_EQ(selected_entry(false), "Trip");
    EXPECT_EQ(selected_entry(true), "Trip");
}

TEST_F(PrefSets, SwitchWritesTheOldSetAndRemembersTheNewOne)
{
    prefs->OnPrefSetChange("Studio");
    EXPECT_EQ(set_lines("Trip"), trip_changed);
    EXPECT_EQ(prefs->CurrentSetName(), "Studio");
    EXPECT_EQ(prefs->GetNamePfx(), "Studio");
    EXPECT_EQ(prefs->GetPrefSetCurrent(), "Studio");
    EXPECT_EQ(host.switched, Strings{"Studio"});
}

// A window refills its set list while it reloads from the new set.
TEST_F(PrefSets, ListRefilledOnTheSwitchSelectsTheNewSet)
{
    Strings shown;
    host.on_switched = [&] { shown.push_back(selected_entry(false)); };
    host.new_names = {"Trip2"};
    host.yes_no_answers = {true};
    prefs->OnPrefSetChange("Studio");
    prefs->OnPrefSetChange("[new...]");
    prefs->OnPrefSetChange("[delete]");
    EXPECT_EQ(shown, (Strings{"Studio", "Trip2", "Default"}));
}

TEST_F(PrefSets, SetLeftUnwrittenIsReportedAndTheSwitchGoesOn)
{
    fs::create_directories(dir / "Oakvane/Main/.Trip");  // the temporary file cannot be made
    const std::string trip = read_file(set_path("Trip"));
    prefs->OnPrefSetChange("Studio");
    EXPECT_EQ(host.messages, Strings{"Can't save preferences"});
    EXPECT_EQ(read_file(set_path("Trip")), trip);
    EXPECT_EQ(prefs->CurrentSetName(), "Studio");
    EXPECT_EQ(prefs->GetPrefSetCurrent(), "Studio");
}

TEST_F(PrefSets, FailedSwitchKeepsThePreviousSet)
{
    EXPECT_FALSE(prefs->SwitchPrefSet("Gone"));
    // The refusal's line, then the sets there are to choose from.
    EXPECT_EQ(host.messages, Strings{"Can't read Preference Set:Gone\nThe sets there are: Default, "
                                     "Studio, Trip. Choose one of them, or make a new one."});
    EXPECT_EQ(prefs->CurrentSetName(), "Trip");
    EXPECT_EQ(prefs->GetNamePfx(), "Changed");
    EXPECT_EQ(prefs->GetPrefSetCurrent(), "Trip");
    EXPECT_EQ(set_lines("Trip"), trip_changed);  // written before the attempt
    EXPECT_TRUE(host.switched.empty());
}

TEST_F(PrefSets, ChoosingTheCurrentSetAgainKeepsChangesThatCouldNotBeWritten)
{
    fs::create_directories(dir / "Oakvane/Main/.Trip");  // the temporary file cannot be made
    prefs->OnPrefSetChange("Trip");
    EXPECT_EQ(prefs->CurrentSetName(), "Trip");
    EXPECT_EQ(prefs->GetNamePfx(), "Changed");
    EXPECT_EQ(host.switched, Strings{"Trip"});

    // Once the set can be written again, the changes reach its file.
    fs::remove(dir / "Oakvane/Main/.Trip");
    prefs->OnPrefSetChange("Trip");
    EXPECT_EQ(set_lines("Trip"), trip_changed);
    EXPECT_EQ(prefs->GetNamePfx(), "Changed");
}

TEST_F(PrefSets, SelectionFallsBackToDefaultAndPrefersAnExactName)
{
    prefs->SetPrefSetCurrent("Gone");
    EXPECT_EQ(selected_entry(false), "Default");
    write_set("Default2", {});
    prefs->SetPrefSetCurrent("Default");
    EXPECT_EQ(selected_entry(false), "Default");
    EXPECT_EQ(selected_entry(true), "Default");
}

TEST_F(PrefSets, NewCopiesTheCurrentSetWithItsChanges)
{
    host.new_names = {"Trip2"};
    prefs->OnPrefSetChange("[new...]");
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(set_lines("Trip"), trip_changed);
    EXPECT_EQ(set_lines("Trip2"), trip_changed);
    EXPECT_EQ(prefs->CurrentSetName(), "Trip2");
    EXPECT_EQ(prefs->GetPrefSetCurrent(), "Trip2");
    EXPECT_EQ(host.sets_changed, 1);
    EXPECT_EQ(host.switched, Strings{"Trip2"});
    EXPECT_EQ(selected_entry(true), "Trip2");
}

TEST_F(PrefSets, NewCancelledChangesNothing)
{
    const std::string trip = read_file(set_path("Trip"));
    host.new_names = {""};
    prefs->OnPrefSetChange("[new...]");
    EXPECT_EQ(read_file(set_path("Trip")), trip);
    EXPECT_EQ(main_folder(), (Strings{"Default", "Studio", "Trip"}));
    EXPECT_EQ(prefs->CurrentSetName(), "Trip");
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.sets_changed, 0);
}

TEST_F(PrefSets, NewOverAnExistingSetReplacesIt)
{
    host.new_names = {"Studio"};
    prefs->OnPrefSetChange("[new...]");
    EXPECT_EQ(set_lines("Studio"), trip_changed);
    EXPECT_EQ(prefs->GetPrefSetCurrent(), "Studio");
}

TEST_F(PrefSets, NewWithAnUnusableNameIsRefused)
{
    for (const char* name : {"   ", "../Escaped", "a/b", "..", ".Hidden", "[delete]"}) {
        host.messages.clear();
        host.new_names = {name};
        prefs->OnPrefSetChange("[new...]");
        EXPECT_EQ(host.messages, Strings{"Can't use Preference Set name:" + std::string(name)});
    }
    EXPECT_EQ(list_tree(dir.path()), (Strings{"Oakvane/Main/Default", "Oakvane/Main/Studio",
                                       "Oakvane/Main/Trip", "Oakvane/Oakvane.ini"}));
    EXPECT_EQ(prefs->CurrentSetName(), "Trip");
}

TEST_F(PrefSets, NewThatCannotBeSavedKeepsTheCurrentSet)
{
    fs::create_directories(set_path("Trip2"));  // the copy cannot take this name
    host.new_names = {"Trip2"};
    prefs->OnPrefSetChange("[new...]");
    EXPECT_EQ(host.messages, Strings{"Can't save Preference Set:Trip2"});
    EXPECT_EQ(prefs->CurrentSetName(), "Trip");
    EXPECT_EQ(prefs->GetPrefSetCurrent(), "Trip");
    EXPECT_EQ(host.sets_changed, 0);
}

TEST_F(PrefSets, DeleteAsksAndFallsBackToDefault)
{
    host.yes_no_answers = {false, true};
    prefs->OnPrefSetChange("[delete]");
    EXPECT_EQ(main_folder(), (Strings{"Default", "Studio", "Trip"}));
    EXPECT_EQ(prefs->CurrentSetName(), "Trip");

    prefs->OnPrefSetChange("[delete]");
    EXPECT_EQ(host.questions, Strings(2, "Delete Preference Set: Trip"));
    EXPECT_EQ(main_folder(), (Strings{"Default", "Studio"}));
    EXPECT_EQ(prefs->CurrentSetName(), "Default");
    EXPECT_EQ(prefs->GetPrefSetCurrent(), "Default");
    EXPECT_EQ(host.sets_changed, 1);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(PrefSets, DeleteIsRefusedForDefaultAndForASetNotRemembered)
{
    ASSERT_TRUE(prefs->SwitchPrefSet("Default"));
    prefs->OnPrefSetChange("[delete]");
    prefs->SetPrefSetCurrent("Studio");  // the profile no longer names the current set
    prefs->OnPrefSetChange("[delete]");
    EXPECT_EQ(host.messages, (Strings{"Can't delete Default preference set.",
                                      "Can't delete -- not the current set."}));
    EXPECT_TRUE(host.questions.empty());
    EXPECT_EQ(main_folder(), (Strings{"Default", "Studio", "Trip"}));
}

TEST_F(PrefSets, FailedDeleteIsReportedAndTheSetStaysCurrent)
{
    fs::remove(set_path("Trip"));
    fs::create_directories(set_path("Trip") + "/x");  // unlink cannot remove a folder
    host.yes_no_answers = {true};
    prefs->OnPrefSetChange("[delete]");
    EXPECT_EQ(host.messages, Strings{"Can't delete Preference Set:Trip"});
    EXPECT_EQ(prefs->CurrentSetName(), "Trip");
    EXPECT_EQ(host.sets_changed, 0);
}

// The deleted set's values stay in use without a name, and nothing writes its file back.
TEST_F(PrefSets, DeleteWhoseFallbackCannotBeReadNeverBringsTheSetBack)
{
    fs::remove(set_path("Default"));
    fs::create_directories(set_path("Default"));  // listed, but cannot be read
    host.yes_no_answers = {true};
    prefs->OnPrefSetChange("[delete]");
    EXPECT_EQ(host.messages, Strings{"Can't read Preference Set:Default\nThe sets there are: Studio. "
                                     "Choose one of them, or make a new one."});
    EXPECT_EQ(prefs->CurrentSetName(), std::nullopt);
    EXPECT_EQ(prefs->GetNamePfx(), "Changed");

    EXPECT_TRUE(prefs->WritePrefSet());  // nothing changed since: nothing to write
    prefs->SetUserFolder("Dolomites");
    EXPECT_FALSE(prefs->SavePreferences());
    EXPECT_EQ(host.messages.back(), "Can't save preferences");

    // Kept under a new name, they are written again.
    host.new_names = {"Trip2"};
    prefs->OnPrefSetChange("[new...]");
    EXPECT_EQ(prefs->CurrentSetName(), "Trip2");
    prefs.reset();
    EXPECT_FALSE(fs::exists(set_path("Trip")));
    EXPECT_EQ(set_lines("Trip2"), (Strings{"UserFolder\tDolomites", "NamePfx\tChanged"}));
}
