#pragma once

#include <string>

namespace oakvane {

// Decodes the JPEG file at path completely. Returns 1 when it opened, decoded to the last
// row without a fatal error and the decoder gave no warning; otherwise 0. Warnings are
// reported through output_text as "JPEG Verification Warnings: <n>"; fatal decoder
// errors and a file that can't be opened only on standard error.
int verify_jpeg(const std::string& path);

}  // namespace oakvane
