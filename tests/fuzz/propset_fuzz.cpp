// libFuzzer target for the set-file reader: any bytes are read as a set file, the set is
// written under another name and read again, and what comes back must be what the store
// promises for files it wrote itself: the same properties with the same values, in reverse
// order (every read puts the property it creates in front).

#include "proper.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string make_root()
{
    // tmpfs where there is one: the store syncs every file it writes.
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/propset-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data()))
        std::abort();
    return pattern;
}

const std::string& root()
{
    static const std::string path = [] {
        std::string p = make_root();
        if (!PropInit(p))
            std::abort();
        std::atexit([] { std::filesystem::remove_all(*PropRoot()); });
        return p;
    }();
    return path;
}

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "propset_fuzz: %s\n", what);
        std::abort();
    }
}

bool is_header(const PROP& prop)
{
    return prop.propname == "Version" || prop.propname == "Date";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string folder = root() + "/Main";
    std::filesystem::create_directories(folder);
    FILE* in = std::fopen((folder + "/In").c_str(), "wb");
    check(in && std::fwrite(data, 1, size, in) == size && std::fclose(in) == 0, "cannot write input");

    PropSetPtr first = PropOpen("Main", "In");
    check(first != nullptr, "input not read");
    check(!first->modified, "a set just read is modified");
    for (const PROP& prop : first->props) {
        check(!prop.propname.empty() && prop.propname[0] != '\t', "name empty or with a leading TAB");
        check(prop.propname.find('\t') == std::string::npos, "name with a TAB");
        check(!prop.values.empty(), "property without values");
        for (const PROPVAL& pv : prop.values) {
            check(pv.type == PROP_STR, "read value is not a string");
            check(pv.strval.find('\n') == std::string::npos, "value with a line end");
        }
    }

    check(PropSaveAs(*first, "Out"), "set not written");
    check(!first->modified, "written set still modified");
    PropSetPtr second = PropOpen("Main", "Out");
    check(second != nullptr, "written set not read");

    // Version and Date come from the header, not from the values.
    std::vector<const PROP*> expected;
    for (auto it = first->props.rbegin(); it != first->props.rend(); ++it)
        if (!is_header(*it))
            expected.push_back(&*it);
    std::vector<const PROP*> actual;
    for (const PROP& prop : second->props)
        if (!is_header(prop))
            actual.push_back(&prop);
    check(actual.size() == expected.size(), "number of properties differs");
    for (std::size_t i = 0; i < actual.size(); ++i) {
        check(actual[i]->propname == expected[i]->propname, "property name or order differs");
        check(actual[i]->values.size() == expected[i]->values.size(), "number of values differs");
        for (std::size_t v = 0; v < actual[i]->values.size(); ++v)
            check(actual[i]->values[v].strval == expected[i]->values[v].strval, "value differs");
    }
    check(PropGetStr(*second, "Version", 0, "") == "1", "header Version not 1");

    // Writing the set just read changes nothing.
    const std::string out_path = folder + "/Out";
    struct stat before {};
    check(stat(out_path.c_str(), &before) == 0, "no set file");
    check(PropWrite(*second), "unchanged set not written");
    struct stat after {};
    check(stat(out_path.c_str(), &after) == 0 && after.st_ino == before.st_ino, "unchanged set rewritten");
    return 0;
}
