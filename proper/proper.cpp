#include "proper.h"

#include "dirlist.h"
#include "errtrace.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Where a failure is recorded: the location number and the text of the failed check, as they
// appear in the error trace. The numbers are stable; tools and people match on them.
// Some numbers of the series have no check here: 95 and 98 (the set's name copies are one
// allocation with the set, 93), 120 (a line without a name is skipped, see prop_read), 170
// (the name copy is part of the new PROP, 169), 351 (the set file is replaced by the rename,
// never removed first), 418 and 434 (a value is not allocated on its own).
struct TraceSite {
    int line;
    const char* expression;
};

constexpr const char* kTraceFunction = "[fcn???]";
constexpr const char* kTraceFile = "proper/proper.cpp";

constexpr TraceSite kCategoryPathAlloc{34, "path = malloc(strlen(root) + strlen(category) + 2)"};
constexpr TraceSite kSetPathCategory{47, "path = (char *)get_category_path(category)"};
constexpr TraceSite kSetPathAlloc{48, "path = realloc(path, strlen(path) + strlen(setname) + 2)"};
constexpr TraceSite kSetAlloc{93, "ps = calloc(1, sizeof(PROPSET))"};
constexpr TraceSite kReadOpen{115, "in = fopen(path_set, \"r\")"};
constexpr TraceSite kReadPut{124, "PropPutStr(ps, propname, -1, val)"};
constexpr TraceSite kReadError{127, "0"};
constexpr TraceSite kPutNewProp{169, "newprop = calloc(1, sizeof(PROP))"};
constexpr TraceSite kRootAlloc{201, "root = malloc(strlen(rootarg) + 1)"};
constexpr TraceSite kRootCreate{204, "0"};
constexpr TraceSite kListCategoryPath{242, "path_category = get_category_path(category)"};
constexpr TraceSite kListSetPath{248, "path_set = get_set_path(category, d->d_name)"};
constexpr TraceSite kListNameAlloc{251, "*set = malloc(strlen(d->d_name) + 1)"};
constexpr TraceSite kDeletePath{277, "path_set = get_set_path(category, setname)"};
constexpr TraceSite kDeleteUnlink{278, "unlink(path_set)"};
constexpr TraceSite kOpenAlloc{294, "ps = propset_alloc(category, setname)"};
constexpr TraceSite kOpenPath{296, "path_set = get_set_path(category, setname)"};
constexpr TraceSite kOpenRead{297, "prop_read(ps, path_set)"};
constexpr TraceSite kWriteTempName{324, "setname_dot = malloc(strlen(ps->setname) + 2)"};
constexpr TraceSite kWriteCategoryPath{327, "path_category = get_category_path(ps->category)"};
constexpr TraceSite kWriteCategoryCreate{329, "0"};
constexpr TraceSite kWriteSetPath{330, "path_set = get_set_path(ps->category, ps->setname)"};
constexpr TraceSite kWriteTempPath{331, "path_set_dot = get_set_path(ps->category, setname_dot)"};
constexpr TraceSite kWriteOpen{332, "out = fopen(path_set_dot, \"w\")"};
constexpr TraceSite kWriteHeader{334, "0"};
constexpr TraceSite kWriteIntLine{341, "0"};
constexpr TraceSite kWriteStrLine{345, "0"};
// The temporary file is flushed to disk before it replaces the set file; these two checks
// and the folder sync have numbers of their own.
constexpr TraceSite kWriteFlush{346, "fflush(out)"};
constexpr TraceSite kWriteClose{347, "fclose(out)"};
constexpr TraceSite kWriteSync{348, "fsync(fileno(out))"};
constexpr TraceSite kWriteRename{352, "0"};
constexpr TraceSite kWriteSyncFolder{353, "sync_folder(path_category)"};
constexpr TraceSite kSaveAsName{371, "ps->setname = realloc((char *)ps->setname, strlen(setname) + 1)"};
constexpr TraceSite kPutIntPut{421, "prop_put(ps, propname, index, pv)"};
constexpr TraceSite kPutStrAlloc{436, "pv->v.strval = malloc(strlen(val) + 1)"};
constexpr TraceSite kPutStrPut{438, "prop_put(ps, propname, index, pv)"};
// A get hands out a copy of the string, which can fail too.
constexpr TraceSite kGetStrCopy{450, "copy of the string value"};

// A line is read with a buffer of this size: at most 2124 characters with its line end.
constexpr std::size_t kLineBufferSize = 2125;

std::optional<std::string> root;

// Closes the stream when it goes out of scope; a close whose result matters is done by hand
// after release().
using File = std::unique_ptr<FILE, int (*)(FILE*)>;

File open_file(const std::string& path, const char* mode)
{
    return File(std::fopen(path.c_str(), mode), std::fclose);
}

// Records a failure in the error trace; always false, so callers can return it. errno is left
// at errno_value, so that the entries of the callers up the chain carry it too.
bool fail(const TraceSite& site, int errno_value = errno)
{
    ec_push(kTraceFunction, kTraceFile, site.line, site.expression, errno_value, nullptr);
    errno = errno_value;
    return false;
}

bool get_category_path(const std::string& category, std::string& path)
{
    if (!root)
        return fail(kCategoryPathAlloc, EINVAL);  // PropInit was not called
    try {
        path = *root + "/" + category;
        return true;
    } catch (const std::bad_alloc&) {
        return fail(kCategoryPathAlloc, ENOMEM);
    }
}

bool get_set_path(const std::string& category, const std::string& setname, std::string& path)
{
    if (!get_category_path(category, path))
        return fail(kSetPathCategory);
    try {
        path += "/" + setname;
        return true;
    } catch (const std::bad_alloc&) {
        return fail(kSetPathAlloc, ENOMEM);
    }
}

bool is_regular_file(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The first value of that name at that index: a name whose values are too few does not end
// the search, a later PROP of the same name may still have it.
const PROPVAL* prop_find(const PROPSET& ps, const std::string& propname, int index)
{
    for (const PROP& prop : ps.props)
        if (prop.propname == propname && index >= 0 &&
            static_cast<std::size_t>(index) < prop.values.size())
            return &prop.values[index];
    return nullptr;
}

// Index -1 appends to the first PROP of that name; an index inside a PROP's values replaces;
// otherwise (no such name, or an index past every PROP's end) a new PROP goes in front.
// On failure the set is unchanged.
bool prop_put(PROPSET& ps, const std::string& propname, int index, PROPVAL&& pv)
{
    for (PROP& prop : ps.props) {
        if (prop.propname != propname)
            continue;
        if (index >= 0 && static_cast<std::size_t>(index) < prop.values.size()) {
            prop.values[index] = std::move(pv);
            ps.modified = true;
            return true;
        }
        if (index == -1) {
            try {
                prop.values.push_back(std::move(pv));
            } catch (const std::bad_alloc&) {
                return false;
            }
            ps.modified = true;
            return true;
        }
    }
    try {
        PROP prop{propname, {}};
        prop.values.push_back(std::move(pv));
        ps.props.insert(ps.props.begin(), std::move(prop));
    } catch (const std::bad_alloc&) {
        return fail(kPutNewProp, ENOMEM);
    }
    ps.modified = true;
    return true;
}

// Reads one line of at most kLineBufferSize - 1 characters, its LF included; a longer line
// comes in pieces. False at the end of the file or on a read error.
bool read_piece(FILE* in, std::string& piece)
{
    piece.clear();
    int c;
    while (piece.size() < kLineBufferSize - 1 && (c = std::getc(in)) != EOF) {
        piece.push_back(static_cast<char>(c));
        if (c == '\n')
            break;
    }
    return !piece.empty();
}

// Reads a set file into ps, appending every value as a string in file order.
//
// The line end is not part of the value: the LF and any CRs before it (so CR LF files read as
// LF files), and also CRs at the end of the file or where an over-long line is cut, which
// would otherwise come back as a line end when the set is written again.
//
// A line that holds no TAB after its leading TABs carries no value and is skipped: a blank
// line, or the TAB-less tail of a line longer than the buffer. The store never writes such a
// line itself except as that tail, so files it wrote keep reading back without failing.
bool prop_read(PROPSET& ps, const std::string& path_set)
{
    const File in = open_file(path_set, "r");
    if (!in)
        return fail(kReadOpen);
    bool ok = true;
    try {
        std::string piece;
        while (ok && read_piece(in.get(), piece)) {
            std::size_t end = piece.size();
            if (end > 0 && piece[end - 1] == '\n')
                --end;
            while (end > 0 && piece[end - 1] == '\r')
                --end;
            const std::size_t start = piece.find_first_not_of('\t');
            if (start >= end)
                continue;
            const std::size_t tab = piece.find('\t', start);
            if (tab >= end)
                continue;
            const std::string name = piece.substr(start, tab - start);
            if (!PropPutStr(ps, name, -1, piece.substr(tab + 1, end - tab - 1)))
                ok = fail(kReadPut);
        }
    } catch (const std::bad_alloc&) {
        ok = fail(kReadPut, ENOMEM);
    }
    if (ok && std::ferror(in.get()))
        ok = fail(kReadError);
    return ok;
}

// Writes "name TAB text LF" as bytes, so a value is written exactly as it is held.
bool write_line(FILE* out, const std::string& name, const char* text, std::size_t length)
{
    return std::fwrite(name.data(), 1, name.size(), out) == name.size() &&
           std::fputc('\t', out) != EOF &&
           std::fwrite(text, 1, length, out) == length &&
           std::fputc('\n', out) != EOF;
}

// Writes the header and the value lines of ps and flushes them to disk. The failing step, or
// nullptr; errno tells why.
const TraceSite* write_contents(FILE* out, const PROPSET& ps, std::time_t now)
{
    char date[32];  // ctime text: 24 characters, LF, NUL
    if (!ctime_r(&now, date) || std::fprintf(out, "Version\t%d\nDate\t%s", 1, date) < 0)
        return &kWriteHeader;
    for (const PROP& prop : ps.props) {
        if (prop.propname == "Version" || prop.propname == "Date")
            continue;  // the header takes their place
        for (const PROPVAL& pv : prop.values) {
            if (pv.type == PROP_INT) {
                char number[16];
                const int length = std::snprintf(number, sizeof number, "%d", pv.intval);
                if (!write_line(out, prop.propname, number, length))
                    return &kWriteIntLine;
            } else if (pv.type == PROP_STR) {
                if (!write_line(out, prop.propname, pv.strval.data(), pv.strval.size()))
                    return &kWriteStrLine;
            }
        }
    }
    if (std::fflush(out) != 0)
        return &kWriteFlush;
    if (fsync(fileno(out)) != 0)
        return &kWriteSync;
    return nullptr;
}

// Makes a rename inside the folder durable.
bool sync_folder(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = fsync(fd) == 0;
    const int saved = errno;
    close(fd);
    errno = saved;
    return ok;
}

}  // namespace

bool PropInit(const std::string& rootarg)
{
    try {
        root = rootarg;
    } catch (const std::bad_alloc&) {
        return fail(kRootAlloc, ENOMEM);
    }
    if (mkdir(root->c_str(), 0777) != 0 && errno != EEXIST)
        return fail(kRootCreate);
    return true;
}

bool PropTerm()
{
    root.reset();
    return true;
}

const std::optional<std::string>& PropRoot()
{
    return root;
}

int PropSetCount(const std::string& category)
{
    int count = 0;
    std::optional<std::string> name;
    while (PropSetName(category, count, name) && name)
        ++count;
    return count;
}

bool PropSetName(const std::string& category, int n, std::optional<std::string>& setname)
{
    setname.reset();
    std::string path_category;
    if (!get_category_path(category, path_category))
        return fail(kListCategoryPath);
    try {
        bool ok = true;
        const std::vector<std::string> names = oakvane::posix::list_directory(path_category, &ok);
        if (!ok)
            return true;  // a folder that can't be listed has no sets
        int index = 0;
        for (const std::string& name : names) {
            if (name.starts_with('.'))
                continue;
            std::string path_set;
            if (!get_set_path(category, name, path_set))
                return fail(kListSetPath);
            if (!is_regular_file(path_set))
                continue;
            if (index++ == n) {
                setname = name;
                return true;
            }
        }
        return true;
    } catch (const std::bad_alloc&) {
        return fail(kListNameAlloc, ENOMEM);
    }
}

PropSetPtr PropOpen(const std::string& category, const std::optional<std::string>& setname)
{
    PropSetPtr ps;
    try {
        ps = std::make_unique<PROPSET>();
        ps->category = category;
        ps->setname = setname;
    } catch (const std::bad_alloc&) {
        fail(kSetAlloc, ENOMEM);
        fail(kOpenAlloc, ENOMEM);
        return nullptr;
    }
    if (!setname)
        return ps;
    std::string path_set;
    if (!get_set_path(category, *setname, path_set)) {
        fail(kOpenPath);
        return nullptr;
    }
    if (!prop_read(*ps, path_set)) {
        fail(kOpenRead);
        return nullptr;
    }
    ps->modified = false;  // the puts of the read are not changes
    return ps;
}

bool PropWrite(PROPSET& ps)
{
    const std::time_t now = std::time(nullptr);
    if (!ps.modified)
        return true;
    if (!ps.setname)
        return fail(kWriteTempName, EINVAL);  // an unnamed set is written through PropSaveAs
    std::string setname_dot;
    try {
        setname_dot = "." + *ps.setname;
    } catch (const std::bad_alloc&) {
        return fail(kWriteTempName, ENOMEM);
    }
    std::string path_category;
    if (!get_category_path(ps.category, path_category))
        return fail(kWriteCategoryPath);
    if (mkdir(path_category.c_str(), 0777) != 0 && errno != EEXIST)
        return fail(kWriteCategoryCreate);
    std::string path_set;
    std::string path_set_dot;
    if (!get_set_path(ps.category, *ps.setname, path_set))
        return fail(kWriteSetPath);
    if (!get_set_path(ps.category, setname_dot, path_set_dot))
        return fail(kWriteTempPath);

    // The new contents go to the temporary file, reach the disk, and only then replace the set
    // file in one rename: a failure or a crash at any point leaves the old set file whole.
    File out = open_file(path_set_dot, "w");
    if (!out)
        return fail(kWriteOpen);
    if (const TraceSite* failed = write_contents(out.get(), ps, now))
        return fail(*failed);  // the stream is closed on return; its result adds nothing
    if (std::fclose(out.release()) != 0)
        return fail(kWriteClose);
    if (std::rename(path_set_dot.c_str(), path_set.c_str()) != 0)
        return fail(kWriteRename);
    // The new contents are in place once renamed. A folder that cannot be synced (a file
    // system without directory fsync, a folder the user may not read) is traced, but it does
    // not make the set unsaved: writing it again would not help.
    ps.modified = false;
    if (!sync_folder(path_category))
        fail(kWriteSyncFolder);
    return true;
}

bool PropSaveAs(PROPSET& ps, const std::string& setname)
{
    try {
        ps.setname = setname;
    } catch (const std::bad_alloc&) {
        return fail(kSaveAsName, ENOMEM);
    }
    ps.modified = true;
    return PropWrite(ps);
}

void PropClose(PROPSET& ps)
{
    if (ps.setname)
        PropWrite(ps);
}

bool PropDelete(const std::string& category, const std::string& setname)
{
    std::string path_set;
    if (!get_set_path(category, setname, path_set))
        return fail(kDeletePath);
    if (unlink(path_set.c_str()) != 0)
        return fail(kDeleteUnlink);
    return true;
}

std::int32_t PropGetInt(const PROPSET& ps, const std::string& propname, int index,
                        std::int32_t dflt)
{
    const PROPVAL* pv = prop_find(ps, propname, index);
    if (!pv)
        return dflt;
    if (pv->type == PROP_INT)
        return pv->intval;
    // As atoi: white space, a sign, digits; 0 without digits.
    return static_cast<std::int32_t>(std::strtol(pv->strval.c_str(), nullptr, 10));
}

std::optional<std::string> PropGetStr(const PROPSET& ps, const std::string& propname, int index,
                                      const std::string& dflt)
{
    try {
        const PROPVAL* pv = prop_find(ps, propname, index);
        if (!pv)
            return dflt;
        if (pv->type != PROP_STR)
            return std::nullopt;
        return pv->strval;
    } catch (const std::bad_alloc&) {
        fail(kGetStrCopy, ENOMEM);
        return std::nullopt;
    }
}

bool PropPutInt(PROPSET& ps, const std::string& propname, int index, std::int32_t value)
{
    PROPVAL pv;
    pv.type = PROP_INT;
    pv.intval = value;
    if (!prop_put(ps, propname, index, std::move(pv)))
        return fail(kPutIntPut, ENOMEM);
    return true;
}

bool PropPutStr(PROPSET& ps, const std::string& propname, int index, const std::string& val)
{
    PROPVAL pv;
    pv.type = PROP_STR;
    try {
        pv.strval = val;
    } catch (const std::bad_alloc&) {
        return fail(kPutStrAlloc, ENOMEM);
    }
    if (!prop_put(ps, propname, index, std::move(pv)))
        return fail(kPutStrPut, ENOMEM);
    return true;
}
