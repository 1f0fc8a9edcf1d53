#include "file_kinds.h"

#include "fs_util.h"

#include <array>
#include <strings.h>

namespace oakvane {

namespace {

constexpr std::array<const char*, 28> kRawExtensions = {
    "CR2", "CRW", "DCR", "KDC", "MRW", "NEF", "ORF", "PEF", "RAF", "RAW", "SRF", "X3F", "EEF", "TIF",
    "ARW", "SR2", "SRW", "CR3", "NRW", "RW2", "RWL", "3FR", "IIQ", "ERF", "MOS", "MEF", "GPR", "DNG"};

bool has_extension(const std::string& path, const char* extension)
{
    const std::size_t dot = path.rfind('.');
    return dot != std::string::npos && strcasecmp(path.c_str() + dot + 1, extension) == 0;
}

}  // namespace

bool is_raw_file(const std::string& path)
{
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos)
        return false;
    const char* extension = path.c_str() + dot + 1;
    for (const char* raw : kRawExtensions)
        if (strcasecmp(extension, raw) == 0)
            return true;
    return false;
}

bool is_convertible_raw(const std::string& path)
{
    return is_raw_file(path) && !has_extension(path, "DNG");
}

bool is_tif_path(const std::string& path)
{
    return has_extension(path, "TIF");
}

bool is_jpeg_path(const std::string& path)
{
    return has_extension(path, "JPG");
}

std::string dng_name_of(const std::string& path)
{
    const std::string name = file_name_of(path);
    return name.substr(0, name.rfind('.')) + ".dng";
}

bool is_dng_name(const std::string& name)
{
    return name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".dng") == 0;
}

std::string sidecar_path_for(const std::string& image_path)
{
    const std::size_t n = image_path.size();
    if (n < 4 || strcasecmp(image_path.c_str() + n - 3, "xmp") == 0 || image_path[n - 4] != '.')
        return {};
    return image_path.substr(0, n - 3) + "xmp";
}

bool is_sidecar_path(const std::string& path)
{
    return path.size() > 4 && strcasecmp(path.c_str() + path.size() - 4, ".xmp") == 0;
}

std::string without_extension(const std::string& path)
{
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return path.substr(0, dot);
}

}  // namespace oakvane
