#pragma once
// The preferences dialog's live examples: an image file name for a name format, and the folder
// tree under the primary folder for an arrangement. Built from fixed sample values (an image
// DSC_1234 taken on 26 February 2006 at 14:23:45; folders of 12 June 2006), not from any file.

#include <array>
#include <string>

namespace oakvane {

// The sample a name-format letter contributes; S gives the field's own text, E nothing, and a
// letter the format does not know "???".
std::string SampleForCode(char letter, const std::string& field_text);

// The example file name for a four-letter format and the texts of fields 1 to 4; the raw ending
// is ".DNG" only when the converter runs and does not merely verify. A format that does not
// make names unique by itself gets a note about sequence numbers. "[bad fmt]" unless the format
// has four letters.
std::string BuildNameExample(const std::string& format, const std::array<std::string, 4>& texts,
                             bool keep_raw, bool verify_only);

// The folder tree under primary_folder, one folder or image per line, four spaces of indent per
// level, lines joined with CR LF. An arrangement other than 1 to 3 shows no date folders.
std::string BuildArrangementExample(int arrangement, bool date, bool user, bool range,
                                    const std::string& primary_folder);

}  // namespace oakvane
