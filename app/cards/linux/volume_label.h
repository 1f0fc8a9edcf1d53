#pragma once
// File-system labels of block devices.

#include <string>
#include <string_view>

namespace oakvane {

// The label of the file system on device: the name of the link in by_label_dir that leads to
// the device (udev keeps these), else the label in the device's superblock (needs read
// access). Empty when neither gives one.
std::string volume_label(const std::string& device, const std::string& by_label_dir);

// udev writes characters that are unsafe in a file name as "\xNN"; this undoes that.
std::string decode_label_link_name(std::string_view name);

}  // namespace oakvane
