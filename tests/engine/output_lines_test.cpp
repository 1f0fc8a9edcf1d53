#include "output_lines.h"

#include <gtest/gtest.h>

using oakvane::output_lines;
using Lines = std::vector<std::string>;

TEST(OutputLines, FollowTheListRules)
{
    EXPECT_EQ(output_lines(""), Lines{""});
    EXPECT_EQ(output_lines("\n"), Lines{});
    EXPECT_EQ(output_lines("Creating folders\n"), Lines{"Creating folders"});
    EXPECT_EQ(output_lines("\nCopying:\n"), (Lines{"", "Copying:"}));
    EXPECT_EQ(output_lines("one\ntwo"), (Lines{"one", "", "two"}));
    EXPECT_EQ(output_lines("no newline"), Lines{"no newline"});
    EXPECT_EQ(output_lines("dos\r\nline\r\n"), (Lines{"dos", "", "line"}));
}

TEST(OutputLines, ReportGivesTheExpectedLayout)
{
    Lines all;
    for (const char* text : {"\nCopying:\n", "    Raws converted to DNGs: 0\n",
                             "\nVerification:\n", "\nSUCCESSFUL INGESTION - no errors detected\n"})
        for (auto& line : output_lines(text))
            all.push_back(line);
    EXPECT_EQ(all, (Lines{"", "Copying:", "    Raws converted to DNGs: 0", "", "Verification:", "",
                          "SUCCESSFUL INGESTION - no errors detected"}));
}
