#include "convert_folder.h"

#include "converter.h"
#include "dirlist.h"
#include "file_copy.h"
#include "file_records.h"
#include "fs_util.h"
#include "jpeg_verify.h"
#include "placement_queue.h"
#include "run_state.h"
#include "sidecar.h"
#include "text_format.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <set>
#include <strings.h>
#include <cstdlib>
#include <unistd.h>

namespace oakvane {

namespace {

constexpr std::size_t kMaxFilesPerVector = 100;
constexpr std::array<const char*, 14> kRawExtensions = {
    "CR2", "CRW", "DCR", "KDC", "MRW", "NEF", "ORF", "PEF", "RAF", "RAW", "SRF", "X3F", "EEF", "TIF"};

std::string file_name_of(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The run and the hosts' file records name DNGs and tell JPEGs by the same rule.
std::string dng_name(const std::string& raw_path) { return dng_name_of(raw_path); }
bool is_jpeg_name(const std::string& path) { return is_jpeg_path(path); }

// The converter replaces files without asking, so before it runs make sure that no DNG it
// will write lands on a file already in the folder or on another file of this run.
int check_dng_names(std::span<const std::string> run, const std::string& folder)
{
    std::set<std::string> names;
    for (const std::string& entry : run)
        if (!is_raw_file(entry))
            names.insert(file_name_of(entry));
    for (const std::string& entry : run) {
        if (!is_raw_file(entry))
            continue;
        const std::string dng = dng_name(entry);
        const std::string path = folder + "/" + dng;
        if (!names.insert(dng).second)
            return record_error("Two files of one folder would get the same name: \"" + path + "\"");
        if (path_exists(path))
            return record_error("DNG file already exists: \"" + path + "\"");
    }
    return 1;
}

int run_conversion(const std::string& converter, std::span<const std::string> run,
                   const std::string& output_folder, std::string& msg, std::size_t msg_size)
{
    const RunState& state = run_state();
    std::vector<std::string> argv = {converter, state.preview};
    if (!state.embed.empty())
        argv.push_back(state.embed);
    argv.push_back("-d");
    argv.push_back(output_folder);
    const std::size_t fixed = argv.size();
    int raws = 0;
    for (const std::string& entry : run) {
        if (!is_raw_file(entry))
            continue;
        argv.push_back(entry);
        ++raws;
        if (argv.size() - fixed == kMaxFilesPerVector) {
            if (!run_converter(converter, msg, msg_size, argv, fixed))
                return 0;
            argv.resize(fixed);
        }
    }
    if (!run_converter(converter, msg, msg_size, argv, fixed))
        return 0;
    run_state().raw_count += raws;
    return 1;
}

// A converter that exits 0 may still have left a raw without a DNG, or with an empty one.
int check_dngs(std::span<const std::string> run, const std::string& scratch)
{
    for (const std::string& entry : run) {
        if (!is_raw_file(entry))
            continue;
        struct stat st;
        const std::string dng = scratch + "/" + dng_name(entry);
        if (::lstat(dng.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0)
            return record_error("The converter made no DNG file from \"" + entry + "\"");
    }
    return 1;
}

int publish_dng(PendingCopy& copy)
{
    const int err = copy.image.publish(copy.final_path);
    if (err == EEXIST)
        return record_error("DNG file already exists: \"" + copy.final_path + "\"");
    if (err != 0)
        return record_errno_error("can't publish DNG", copy.final_path, err);
    return 1;
}

// Gives every DNG the time of its raw, flushes it and moves it from the scratch folder
// into folder, never replacing a file there.
int publish_dngs(std::span<const std::string> run, const std::string& scratch,
                 const std::string& folder)
{
    PublishBatch batch(publish_dng);
    for (const std::string& entry : run) {
        if (!is_raw_file(entry))
            continue;
        struct stat raw;
        if (::stat(entry.c_str(), &raw) != 0)
            return record_errno_error("stat failed getting raw-file time", entry, errno);
        const std::string dng = scratch + "/" + dng_name(entry);
        PendingCopy copy;
        copy.final_path = folder + "/" + dng_name(entry);
        UniqueFd fd(::open(dng.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        const timespec times[2] = {raw.st_mtim, raw.st_mtim};
        if (!fd || ::futimens(fd.get(), times) != 0)
            return record_errno_error("utime failed setting DNG time", dng, errno);
        struct stat st;
        ::fstat(fd.get(), &st);
        copy.image.adopt(std::move(fd), dng);
        if (!batch.add(std::move(copy), static_cast<std::uint64_t>(st.st_size)))
            return 0;
    }
    return batch.flush();
}

// The converter writes into a fresh folder of this run's own inside folder, so that every
// file it wrote is known to be this run's: the DNGs are checked and published from there,
// and whatever else it wrote goes with the folder, whether the run succeeds or fails.
int converter_phase(const std::string& converter, std::span<const std::string> run,
                    const std::string& folder, std::string& msg, std::size_t msg_size)
{
    const bool verify_only = run_state().verify_only;
    if (!verify_only && !check_dng_names(run, folder))
        return 0;
    sweep_leftovers(folder);
    std::string scratch = folder + "/" + std::string(kStagingPrefix) + "XXXXXX";
    if (::mkdtemp(scratch.data()) == nullptr)
        return record_errno_error("can't create folder", scratch, errno);
    const int ok = run_conversion(converter, run, scratch, msg, msg_size) &&
                   check_dngs(run, scratch) && (verify_only || publish_dngs(run, scratch, folder));
    const int removed = remove_staging_folder(scratch);
    if (ok && !removed)
        return record_errno_error("can't remove folder", scratch, errno);
    return ok;
}

int publish_primary(PendingCopy& copy)
{
    const int err = copy.image.publish(copy.final_path);
    if (err == EEXIST)
        return record_error("Primary file already exists: \"" + copy.final_path + "\"");
    if (err != 0)
        return record_errno_error("creat unconverted", copy.final_path, err);
    return publish_sidecar(copy.sidecar, copy.final_path, false);
}

// Copies source and its sidecar under staging names into copy.
int stage_copy(const std::string& source, const std::string& dest, PendingCopy& copy,
               std::uint64_t& size)
{
    const bool own_sidecar = run_state().own_sidecar_copies.contains(source);
    return stage_unconverted(source, dest, copy, size) &&
           (own_sidecar || stage_sidecar(dest, copy.sidecar));
}

// Where a JPEG's verification result is taken: on the engine's thread, in folder order,
// after every earlier file of the folder was accepted.
int accept_jpeg(const JpegCheck& check, const std::string& dest, std::string& msg,
                std::size_t msg_size)
{
    if (!report_jpeg_check(check)) {
        set_message(msg, "Possibly corrupt JPEG: " + dest + "\n", msg_size);
        return 0;
    }
    ++run_state().jpeg_verified_count;
    return 1;
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

int convert_or_copy_folder(const std::string& converter, std::span<const std::string> run,
                           const std::string& folder, std::string& msg, std::size_t msg_size)
{
    if (!make_folder_path(folder))
        return 0;
    const bool with_converter = !converter.empty();
    if (with_converter && !converter_phase(converter, run, folder, msg, msg_size))
        return 0;
    const bool copy_all = run_state().verify_only || !with_converter;
    PlacementQueue queue(
        publish_primary,
        [&](const JpegCheck& check, const std::string& dest) {
            return accept_jpeg(check, dest, msg, msg_size);
        },
        with_converter);
    for (const std::string& source : run) {
        const std::string dest = folder + "/" + file_name_of(source);
        const int placed =
            copy_all || !is_raw_file(source)
                ? queue.place(is_jpeg_name(dest),
                              [&](PendingCopy& copy, std::uint64_t& size) {
                                  return stage_copy(source, dest, copy, size);
                              })
                : queue.pass_over();
        if (!placed)
            return 0;
    }
    return queue.finish();
}

int make_folder_path(const std::string& path)
{
    for (std::size_t i = 1; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/')
            continue;
        const std::string prefix = path.substr(0, i);
        const int err = make_dir(prefix);
        if (err == 0)
            continue;
        host().output_text(format("\nError code = %d; path = \"%s\"\n", err, prefix.c_str()));
        return record_errno_error("can't create folder", prefix, err);
    }
    return 1;
}

int stage_unconverted(const std::string& source, const std::string& destination,
                      PendingCopy& copy, std::uint64_t& size)
{
    struct stat from_st;
    if (::stat(source.c_str(), &from_st) != 0)
        return record_errno_error("stat unconverted from_path", source, errno);
    // An image already in the library is never replaced by another: said here, before the
    // copy, and made sure of when the copy is published.
    if (path_exists(destination))
        return record_error("Primary file already exists: \"" + destination + "\"");
    copy.final_path = destination;
    if (const int err = copy.image.create(folder_of(destination)); err != 0) {
        host().output_text(destination);
        return record_errno_error("creat unconverted", destination, err);
    }
    auto fail = [&](const std::string& message, const std::string& path, int err) {
        copy.image.discard();
        return record_errno_error(message, path, err);
    };
    UniqueFd from(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!from) {
        const int err = errno;
        host().output_text(source);
        return fail("can't open unconverted", source, err);
    }
    const CopyOutcome outcome = copy_data(from.get(), copy.image.fd());
    if (outcome.status != CopyStatus::done) {
        copy.image.discard();
        return record_copy_failure(outcome, "read error unconverted", source,
                                   "write error unconverted", destination);
    }
    if (from.close() != 0)
        return fail("close unconverted", source, errno);
    const timespec times[2] = {from_st.st_mtim, from_st.st_mtim};
    if (::futimens(copy.image.fd(), times) != 0)
        return fail("utime more_copying", destination, errno);
    struct stat to_st;
    if (::fstat(copy.image.fd(), &to_st) != 0)
        return fail("stat unconverted target", destination, errno);
    if (to_st.st_size != from_st.st_size)
        return fail("Written file is wrong size.", destination, 0);
    size = static_cast<std::uint64_t>(to_st.st_size);
    return 1;
}

int copy_unconverted(const std::string& source, const std::string& destination)
{
    PendingCopy copy;
    std::uint64_t size = 0;
    if (!stage_unconverted(source, destination, copy, size))
        return 0;
    ++run_state().unconverted_count;
    return publish_now(std::move(copy), publish_primary);
}

std::vector<std::string> get_dir_list(const std::string& folder, bool& ok)
{
    bool listed = true;
    const std::vector<std::string> names = posix::list_directory(folder, &listed);
    std::vector<std::string> paths;
    ok = false;
    if (!listed) {
        record_errno_error("get_dir_list: readdir error", folder, errno);
        return paths;
    }
    for (const std::string& name : names) {
        if (host().stop_requested()) {
            record_error("Stopped");
            return {};
        }
        paths.push_back(folder + "/" + name);
    }
    ok = true;
    return paths;
}

int rmdir_all(const std::string& folder)
{
    bool ok = false;
    const std::vector<std::string> paths = get_dir_list(folder, ok);
    if (!ok)
        return 0;
    for (const std::string& path : paths) {
        if (::unlink(path.c_str()) != 0) {
            const int err = errno;
            host().output_text(path);
            return record_errno_error("rmdir_all: can't unlink", path, err);
        }
    }
    if (::rmdir(folder.c_str()) != 0)
        return record_errno_error("rmdir_all: rmdir failed", folder, errno);
    return 1;
}

}  // namespace oakvane
