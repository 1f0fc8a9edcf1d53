// raw_unpack FILE...: opens each raw with LibRaw and unpacks its whole raw image, as the
// ingestion's raw check does; the benchmark's baseline for that check. Exits 1 at the first
// file the decoder refuses.

#include <libraw/libraw.h>

#include <cstdio>
#include <memory>

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        auto raw = std::make_unique<LibRaw>();
        int err = raw->open_file(argv[i]);
        if (err == LIBRAW_SUCCESS)
            err = raw->unpack();
        if (err != LIBRAW_SUCCESS) {
            std::fprintf(stderr, "raw_unpack: %s: %s\n", argv[i], libraw_strerror(err));
            return 1;
        }
    }
    return 0;
}
