// The contents of the main window's template and user-named folder lists.

#include "temp_dir.h"
#include "window_lists.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace oakvane {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

std::string selected(const ComboList& list)
{
    return list.selected < 0 ? "(none)" : list.entries.at(list.selected);
}

TEST(TemplateList, ShowsTemplatesSortedWithoutTheirExtension)
{
    test::TempDir dir;
    for (const char* name : {"Studio.XMP", "a.xmp", "xmp", "Beach.xmp", "notes.txt"})
        test::write_file(dir / name, "");
    const ComboList list = template_list(dir.str(), "stu");
    EXPECT_EQ(list.entries, (Strings{"a", "Beach", "Studio", "[none]", "[refresh]"}));
    EXPECT_EQ(selected(list), "Studio");
    EXPECT_EQ(selected(template_list(dir.str(), "Gone")), "[none]");
}

TEST(TemplateList, MissingFolderGivesOnlyTheCommands)
{
    test::TempDir dir;
    const ComboList list = template_list(dir / "missing", "Studio");
    EXPECT_EQ(list.entries, (Strings{"[none]", "[refresh]"}));
    EXPECT_EQ(selected(list), "[none]");
}

TEST(UserFolderList, ShowsVisibleFoldersAndSelectsTheSavedOne)
{
    test::TempDir dir;
    fs::create_directory(dir / "Jobs");
    fs::create_directory(dir / ".hidden");
    fs::create_directory(dir / "ascmhl");  // the tree's history
    test::write_file(dir / "file", "");
    ComboList list = user_folder_list(dir.str(), "Jobs");
    EXPECT_EQ(list.entries, (Strings{"Jobs", "[refresh]", "[new...]"}));
    EXPECT_EQ(selected(list), "Jobs");

    // Only a name that is exactly one of the folders is looked for.
    fs::create_directory(dir / "Alpha");
    list = user_folder_list(dir.str(), "Jobs");
    EXPECT_EQ(selected(list), "Jobs");
    EXPECT_EQ(user_folder_list(dir.str(), "jobs").selected, 0);
}

TEST(UserFolderList, WithoutFoldersOffersMyJob)
{
    test::TempDir dir;
    test::write_file(dir / "file", "");
    for (const std::string& folder : {dir.str(), dir / "missing"}) {
        const ComboList list = user_folder_list(folder, "Trip");
        EXPECT_EQ(list.entries, (Strings{"My Job", "[refresh]", "[new...]"}));
        EXPECT_EQ(list.selected, 0);
    }
}

}  // namespace
}  // namespace oakvane
