#include "convert_folder.h"

#include "converter.h"
#include "file_copy.h"
#include "file_kinds.h"
#include "fs_util.h"
#include "jpeg_verify.h"
#include "placement_queue.h"
#include "raw_verify.h"
#include "read_back.h"
#include "sidecar.h"
#include "text_format.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <set>
#include <unistd.h>

namespace oakvane {

namespace {

constexpr std::size_t kMaxFilesPerVector = 100;

// The converter replaces files without asking, so before it runs make sure that no DNG it
// will write lands on a file already in the folder or on another file of this run.
Status check_dng_names(Run& run, std::span<const std::string> files, const std::string& folder)
{
    std::set<std::string> names;
    for (const std::string& entry : files)
        if (!is_convertible_raw(entry))
            names.insert(file_name_of(entry));
    for (const std::string& entry : files) {
        if (!is_convertible_raw(entry))
            continue;
        const std::string dng = dng_name_of(entry);
        const std::string path = folder + "/" + dng;
        if (!names.insert(dng).second)
            return fail("Two files of one folder would get the same name: \"" + shown(path) + "\"");
        if (run.writer.exists(path))
            return fail("DNG file already exists: \"" + shown(path) + "\"");
    }
    return {};
}

Status run_conversion(Run& run, std::span<const std::string> files, const std::string& output_folder)
{
    const std::string& converter = *run.request.converter;
    std::vector<std::string> argv = {converter, run.request.preview};
    if (!run.request.embed.empty())
        argv.push_back(run.request.embed);
    argv.push_back("-d");
    argv.push_back(output_folder);
    const std::size_t fixed = argv.size();
    int raws = 0;
    for (const std::string& entry : files) {
        if (!is_convertible_raw(entry))
            continue;
        argv.push_back(entry);
        ++raws;
        if (argv.size() - fixed == kMaxFilesPerVector) {
            if (Status ran = run_converter(run, converter, argv, fixed); !ran)
                return ran;
            argv.resize(fixed);
        }
    }
    if (Status ran = run_converter(run, converter, argv, fixed); !ran)
        return ran;
    run.raw_count += raws;
    return {};
}

// A converter that exits 0 may still have left a raw without a DNG, or with an empty one.
Status check_dngs(std::span<const std::string> files, const std::string& scratch)
{
    for (const std::string& entry : files) {
        if (!is_convertible_raw(entry))
            continue;
        struct stat st;
        const std::string dng = scratch + "/" + dng_name_of(entry);
        if (::lstat(dng.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0)
            return fail("The converter made no DNG file from \"" + shown(entry) + "\"");
    }
    return {};
}

Status publish_dng(Run& run, PendingCopy& copy)
{
    const int err = run.writer.publish(copy.image, copy.final_path);
    if (err == EEXIST)
        return fail("DNG file already exists: \"" + shown(copy.final_path) + "\"");
    if (err != 0)
        return fail("can't publish DNG", copy.final_path, err);
    run.note_published(copy.final_path, copy.hash, copy.card_path);
    return {};
}

// Gives one DNG the time of its raw and takes it into copy from the scratch folder; with
// read-back, its hash as the converter wrote it is what it must read back as.
Status take_dng(Run& run, const std::string& raw_path, const std::string& dng, PendingCopy& copy,
                std::uint64_t& size)
{
    struct stat raw;
    if (::stat(raw_path.c_str(), &raw) != 0)
        return fail("stat failed getting raw-file time", raw_path, errno);
    UniqueFd fd(::open(dng.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    const timespec times[2] = {raw.st_mtim, raw.st_mtim};
    if (!fd || ::futimens(fd.get(), times) != 0)
        return fail("utime failed setting DNG time", dng, errno);
    struct stat st;
    if (::fstat(fd.get(), &st) != 0)
        return fail("stat failed getting DNG size", dng, errno);
    size = static_cast<std::uint64_t>(st.st_size);
    copy.image.adopt(std::move(fd), dng);
    copy.converted = true;
    // Hashed as the converter wrote it: the tree's history lists it, and with read-back it
    // is what the DNG must read back as.
    const ReadBack written = read_back_file(dng, run.copy_buffer);
    if (written.err != 0)
        return fail("can't read DNG", dng, written.err);
    copy.hash = written.hash;
    if (run.request.read_back)
        copy.expected_hash = written.hash;
    return {};
}

// Gives every DNG the time of its raw, flushes it and moves it from the scratch folder
// into folder, never replacing a file there.
Status publish_dngs(Run& run, std::span<const std::string> files, const std::string& scratch,
                    const std::string& folder)
{
    PublishBatch batch([&run](PendingCopy& copy) { return publish_dng(run, copy); },
                       [&run](PendingCopy& copy) { return check_read_back(run, copy); });
    for (const std::string& entry : files) {
        if (!is_convertible_raw(entry))
            continue;
        PendingCopy copy;
        copy.final_path = folder + "/" + dng_name_of(entry);
        if (const auto found = run.source_of_backup.find(entry); found != run.source_of_backup.end())
            copy.card_path = found->second.path;
        std::uint64_t size = 0;
        if (!run.writer.writes())
            copy.image.plan(scratch + "/" + dng_name_of(entry));
        else if (Status taken = take_dng(run, entry, scratch + "/" + dng_name_of(entry), copy, size);
                 !taken)
            return taken;
        if (Status added = batch.add(std::move(copy), size); !added)
            return added;
    }
    return batch.flush();
}

// The converter at work in scratch, a fresh folder of this run's own inside folder.
Status convert_into(Run& run, std::span<const std::string> files, const std::string& scratch,
                    const std::string& folder)
{
    if (run.writer.writes()) {
        run.converting_into = scratch;
        Status converted = run_conversion(run, files, scratch);
        if (converted)
            converted = check_dngs(files, scratch);
        run.converting_into.clear();
        if (!converted)
            return converted;
        run.raws_converted += static_cast<int>(std::count_if(files.begin(), files.end(), is_convertible_raw));
        run.conversion_progress();
    }
    if (run.request.verify_only)
        return {};
    return publish_dngs(run, files, scratch, folder);
}

// The converter writes into a fresh folder of this run's own inside folder, so that every
// file it wrote is known to be this run's: the DNGs are checked and published from there,
// and whatever else it wrote goes with the folder, whether the run succeeds or fails. A plan
// runs no converter.
Status converter_phase(Run& run, std::span<const std::string> files, const std::string& folder)
{
    if (!run.request.verify_only)
        if (Status checked = check_dng_names(run, files, folder); !checked)
            return checked;
    run.writer.sweep(folder);
    std::string scratch = folder + "/" + std::string(kStagingPrefix) + "XXXXXX";
    if (!run.writer.writes())
        return convert_into(run, files, scratch, folder);
    if (::mkdtemp(scratch.data()) == nullptr)
        return fail("can't create folder", scratch, errno);
    Status converted = convert_into(run, files, scratch, folder);
    if (const int err = remove_staging_folder(scratch); err != 0 && converted)
        return fail("can't remove folder", scratch, err);
    return converted;
}

Status publish_primary(Run& run, PendingCopy& copy)
{
    const int err = run.writer.publish(copy.image, copy.final_path);
    if (err == EEXIST)
        return fail("Primary file already exists: \"" + shown(copy.final_path) + "\"");
    if (err != 0)
        return fail("creat unconverted", copy.final_path, err);
    run.note_published(copy.final_path, copy.hash, copy.card_path);
    return publish_sidecar(run, copy.sidecar, copy.final_path, false);
}

// Copies source and its sidecar under staging names into copy.
Status stage_copy(Run& run, const std::string& source, const std::string& dest, PendingCopy& copy,
                  std::uint64_t& size)
{
    if (Status staged = stage_unconverted(run, source, dest, copy, size); !staged)
        return staged;
    // The primary copy is made from the backup copy, and must read back as the card file.
    if (const auto found = run.source_of_backup.find(source); found != run.source_of_backup.end()) {
        copy.hash = found->second.hash;
        copy.card_path = found->second.path;
        if (run.request.read_back)
            copy.expected_hash = found->second.hash;
    }
    if (run.own_sidecar_copies.contains(source))
        return {};
    return stage_sidecar(run, dest, copy.sidecar);
}

// Where a JPEG's verification result is taken: on the engine's thread, in folder order,
// after every earlier file of the folder was accepted.
Status accept_jpeg(Run& run, const JpegCheck& check, const std::string& dest)
{
    if (!report_jpeg_check(run, check))
        return fail("Possibly corrupt JPEG: " + shown(dest));
    ++run.counts.jpegs_verified;
    return {};
}

// A raw the decoder can't read through no fault of its own stays, checked by its size, and
// the report says why; a damaged one ends the run here.
Status accept_raw(Run& run, const RawCheck& check, const std::string& dest)
{
    if (!check.diagnostics.empty())
        run.diagnostic(check.diagnostics);
    switch (check.outcome) {
    case RawCheck::Outcome::decoded:
        ++run.counts.raws_decoded;
        return {};
    case RawCheck::Outcome::unchecked:
        run.note_raw_unchecked(dest, check.reason);
        return {};
    case RawCheck::Outcome::damaged:
        return fail("Possibly corrupt raw: " + shown(dest) + " (" + check.reason + ")");
    case RawCheck::Outcome::fatal:
        return fail("Raw could not be checked: " + shown(dest) + " (" + check.reason + ")");
    case RawCheck::Outcome::stopped:
        return stopped();
    }
    return fail("Raw could not be checked: " + shown(dest));
}

Status accept_check(Run& run, const Verification& check, const std::string& dest)
{
    if (const auto* jpeg = std::get_if<JpegCheck>(&check))
        return accept_jpeg(run, *jpeg, dest);
    return accept_raw(run, std::get<RawCheck>(check), dest);
}

// How the copy of source is checked by decoding. Raws the converter gets are checked by
// the converter; a plan decodes nothing.
Decode decode_for(Run& run, const std::string& source, const std::string& dest)
{
    if (!run.writer.writes())
        return Decode::none;
    if (is_jpeg_path(source))
        return Decode::jpeg;
    if (!is_raw_file(source) || (run.converting() && is_convertible_raw(source)))
        return Decode::none;
    if (!run.request.decode_raws) {
        run.note_raw_unchecked(dest, kRawDecodingOff);
        return Decode::none;
    }
    return is_tif_path(source) ? Decode::tif_raw : Decode::raw;
}

}  // namespace

Status convert_or_copy_folder(Run& run, std::span<const std::string> files, const std::string& folder)
{
    if (Status made = make_folder_path(run, folder); !made)
        return made;
    const bool with_converter = run.converting();
    if (with_converter)
        if (Status converted = converter_phase(run, files, folder); !converted)
            return converted;
    const bool copy_all = run.request.verify_only || !with_converter;
    PlacementQueue queue(
        run, [&run](PendingCopy& copy) { return publish_primary(run, copy); },
        [&run](PendingCopy& copy) { return check_read_back(run, copy); },
        [&run](const Verification& check, const std::string& dest) { return accept_check(run, check, dest); },
        with_converter);
    for (const std::string& source : files) {
        const std::string dest = folder + "/" + file_name_of(source);
        Status placed = copy_all || !is_convertible_raw(source)
                            ? queue.place(decode_for(run, source, dest),
                                          [&](PendingCopy& copy, std::uint64_t& size) {
                                              return stage_copy(run, source, dest, copy, size);
                                          })
                            : queue.pass_over();
        if (!placed)
            return placed;
    }
    return queue.finish();
}

Status make_folder_path(Run& run, const std::string& path)
{
    for (std::size_t i = 1; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/')
            continue;
        const std::string prefix = path.substr(0, i);
        const int err = run.writer.make_dir(prefix);
        if (err == 0)
            continue;
        run.output(format("\nError code = %d; path = \"%s\"\n", err, shown(prefix).c_str()));
        return fail("can't create folder", prefix, err);
    }
    return {};
}

Status stage_unconverted(Run& run, const std::string& source, const std::string& destination,
                         PendingCopy& copy, std::uint64_t& size)
{
    // A plan has no backup copy to look at; it names what the copy would be.
    struct stat from_st {};
    if (run.writer.writes() && ::stat(source.c_str(), &from_st) != 0)
        return fail("stat unconverted from_path", source, errno);
    // An image already in the library is never replaced by another: said here, before the
    // copy, and made sure of when the copy is published.
    if (run.writer.exists(destination))
        return fail("Primary file already exists: \"" + shown(destination) + "\"");
    copy.final_path = destination;
    if (const int err = run.writer.stage(folder_of(destination), copy.image); err != 0) {
        run.output(shown(destination));
        return fail("creat unconverted", destination, err);
    }
    size = static_cast<std::uint64_t>(from_st.st_size);
    if (!run.writer.writes())
        return {};
    auto failed = [&](Status why) {
        copy.image.discard();
        return why;
    };
    UniqueFd from(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!from) {
        const int err = errno;
        run.output(shown(source));
        return failed(fail("can't open unconverted", source, err));
    }
    const CopyOutcome outcome = copy_data(run, from.get(), copy.image.fd());
    if (Status copied = copy_failure(outcome, "read error unconverted", source,
                                     "write error unconverted", destination);
        !copied)
        return failed(std::move(copied));
    if (from.close() != 0)
        return failed(fail("close unconverted", source, errno));
    const timespec times[2] = {from_st.st_mtim, from_st.st_mtim};
    if (::futimens(copy.image.fd(), times) != 0)
        return failed(fail("utime more_copying", destination, errno));
    struct stat to_st;
    if (::fstat(copy.image.fd(), &to_st) != 0)
        return failed(fail("stat unconverted target", destination, errno));
    if (to_st.st_size != from_st.st_size)
        return failed(fail("Written file is wrong size.", destination));
    return {};
}

}  // namespace oakvane
