#include "jpeg_verify.h"

#include "run_state.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace oakvane {

namespace {

// libjpeg hands the error routine only its own jpeg_error_mgr pointer, so the jump buffer
// has to sit right behind it in the same record.
struct VerifyErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void verify_error_exit(j_common_ptr cinfo)
{
    (*cinfo->err->output_message)(cinfo);
    std::longjmp(reinterpret_cast<VerifyErrorManager*>(cinfo->err)->jump, 1);
}

// Decodes every row of file at full size with the file's own defaults. Returns the
// decoder's warning count, or -1 after a fatal error (already reported on standard error).
// Nothing in here may have a destructor: longjmp would skip it.
long decode_all_rows(std::FILE* file)
{
    jpeg_decompress_struct cinfo{};
    VerifyErrorManager err{};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = verify_error_exit;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return -1;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                cinfo.output_width * cinfo.output_components, 1);
    // A stdio source never suspends, so a short read cannot happen; if it did, leaving the
    // loop lets jpeg_finish_decompress fail with "too few scanlines" instead of spinning.
    while (cinfo.output_scanline < cinfo.output_height)
        if (jpeg_read_scanlines(&cinfo, row, 1) != 1)
            break;
    jpeg_finish_decompress(&cinfo);
    const long warnings = err.pub.num_warnings;
    jpeg_destroy_decompress(&cinfo);
    return warnings;
}

}  // namespace

int verify_jpeg(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        std::fprintf(stderr, "can't open %s\n", path.c_str());
        return 0;
    }
    const long warnings = decode_all_rows(file);
    std::fclose(file);  // opened for reading only: nothing to lose if closing fails
    if (warnings < 0)
        return 0;
    if (warnings == 0)
        return 1;
    char text[200];
    std::snprintf(text, sizeof text, "JPEG Verification Warnings: %ld\n", warnings);
    host().output_text(text);
    return 0;
}

}  // namespace oakvane
