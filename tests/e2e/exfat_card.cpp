#include "exfat_card.h"

#include "cardgen.h"
#include "exfat_image.h"
#include "exif_data.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace oakvane::e2e {

std::time_t exif_utc(const char* text)
{
    std::tm parts{};
    strptime(text, "%Y:%m:%d %H:%M:%S", &parts);
    return timegm(&parts);
}

// The photos are written through a mount in UTC, so that their entries hold the camera's
// clock as it is; each entry then gets its offset in the image itself, since exfat-fuse
// writes the offset of its own zone.
std::unique_ptr<test::Mount> exfat_fuse_card(const std::string& dir, const std::vector<ExfatShot>& shots,
                                             const std::string& mount_zone, std::string& skipped)
{
    skipped = test::exfat_fuse_refusal(dir);
    if (!skipped.empty())
        return nullptr;
    const std::string image = dir + "/card.img";
    const std::string mount_point = dir + "/card";
    EXPECT_EQ(test::make_exfat_image(image), "");
    {
        test::Mount writing({"-t", "exfat-fuse", "-o", "loop", image}, mount_point, {"TZ=UTC"});
        if (!writing.ok()) {
            skipped = "exfat-fuse can't mount an image here: " + writing.error();
            return nullptr;
        }
        cardgen::JpegOptions small;
        small.width = 32;
        small.height = 24;
        for (const ExfatShot& shot : shots) {
            const std::string path = mount_point + "/DCIM/100CAMRA/" + shot.name;
            std::filesystem::create_directories(mount_point + "/DCIM/100CAMRA");
            cardgen::write_file_bytes(
                path, cardgen::with_exif(cardgen::make_jpeg(small), shot.taken, shot.exif_offset));
            cardgen::set_file_time(path, exif_utc(shot.taken));
        }
        EXPECT_TRUE(writing.unmount()) << writing.error();
    }
    for (const ExfatShot& shot : shots)
        EXPECT_EQ(test::set_exfat_utc_offset(image, shot.name, shot.entry_offset), "");
    auto mounted = std::make_unique<test::Mount>(
        std::vector<std::string>{"-t", "exfat-fuse", "-o", "loop", image}, mount_point,
        std::vector<std::string>{mount_zone});
    EXPECT_TRUE(mounted->ok()) << mounted->error();
    return mounted;
}

}  // namespace oakvane::e2e
