#include "examples.h"

#include <gtest/gtest.h>

using namespace oakvane;

TEST(NameExample, FormatsAndEndings)
{
    const std::string note = "    (Sequence numbers will be appended as needed.)";
    const std::array<std::string, 4> img = {"IMG", "", "", ""};
    const std::array<std::string, 4> none = {"", "", "", ""};
    struct Case {
        const char* format;
        std::array<std::string, 4> texts;
        bool keep_raw, verify_only;
        std::string expected;
    };
    const Case cases[] = {
        {"SDNE", img, true, false, "IMG_20060226_1234.DNG"},
        {"SDNE", img, true, true, "IMG_20060226_1234.NEF"},
        {"SDNE", img, false, false, "IMG_20060226_1234.NEF"},
        {"SEEE", img, true, false, "IMG.DNG" + note},
        {"EEEE", img, true, false, "DSC_1234.DNG" + note},
        {"SDNE", none, true, false, "_20060226_1234.DNG"},
        {"SEEE", none, false, false, "DSC_1234.NEF" + note},
        {"FUAt", img, true, false, "DSC_1234_44074B649F4C8_0001_060226_142345.DNG"},
        {"SXNE", img, true, false, "IMG_???_1234.DNG"},
        {"TdSe", {"a", "b", "c", "d"}, true, false, "20060226_142345_060226_c_???.DNG"},
        {"dSSE", {"a", "b", "c", "d"}, true, false, "060226_b_c.DNG" + note},
        {"SDN", img, true, false, "[bad fmt]"},
        {"SDNEE", img, true, false, "[bad fmt]"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BuildNameExample(c.format, c.texts, c.keep_raw, c.verify_only), c.expected)
            << c.format << " keep_raw " << c.keep_raw << " verify_only " << c.verify_only;
}

TEST(ArrangementExample, Trees)
{
    const std::string images2 = "\r\n        Image 1\r\n        Image 2\r\n        ...";
    struct Case {
        int arrangement;
        bool date, user, range;
        std::string expected;
    };
    const Case cases[] = {
        {2, true, false, false,
         "/pics\r\n    2006\r\n        2006-06-12"
         "\r\n            Image 1\r\n            Image 2\r\n            ..."},
        {3, true, true, true,
         "/pics\r\n    2006\r\n        06\r\n            2006-06-12"
         "\r\n                Job X Images\r\n                    0420-0511"
         "\r\n                        Image 1\r\n                        Image 2"
         "\r\n                        ..."},
        {1, true, false, false, "/pics\r\n    2006-06-12" + images2},
        {2, false, true, false, "/pics\r\n    Job X Images" + images2},
        // An arrangement outside 1 to 3 (a hand-edited set) shows no date folders.
        {5, true, false, true, "/pics\r\n    0420-0511" + images2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BuildArrangementExample(c.arrangement, c.date, c.user, c.range, "/pics"),
                  c.expected)
            << c.arrangement << c.date << c.user << c.range;
}
