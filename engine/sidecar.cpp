#include "sidecar.h"

#include "file_copy.h"
#include "file_kinds.h"
#include "read_back.h"

#include <cerrno>
#include <fcntl.h>

namespace oakvane {

namespace {

Status copy_template(Run& run, StagedFile& sidecar, const std::string& path)
{
    const std::string& template_path = run.request.sidecar_template;
    UniqueFd from(::open(template_path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!from)
        return fail("Can't access metadata template", template_path, errno);
    if (!run.writer.writes())
        return {};
    // The trees' histories list every sidecar with the template's hash: one damaged on its
    // way to the disk then no longer matches its history.
    if (run.template_hash.empty()) {
        const ReadBack read = read_back_file(template_path, run.copy_buffer);
        if (read.err != 0)
            return fail("Can't access metadata template", template_path, read.err);
        run.template_hash = read.hash;
    }
    const CopyOutcome outcome = copy_data(run, from.get(), sidecar.fd());
    if (Status copied = copy_failure(outcome, "create_sidecar: read error", template_path,
                                     "create_sidecar: write error", path);
        !copied)
        return copied;
    if (from.close() != 0)
        return fail("create_sidecar: close", path, errno);
    return {};
}

}  // namespace

Status stage_sidecar(Run& run, const std::string& image_path, StagedFile& sidecar)
{
    if (run.request.sidecar_template.empty())
        return {};
    if (image_path.size() < 4)
        return fail("create_sidecar: path too short");
    const std::string path = sidecar_path_for(image_path);
    if (path.empty())
        return {};
    if (const int err = run.writer.stage(folder_of(path), sidecar); err != 0)
        return fail("create_sidecar: creat error", path, err);
    Status copied = copy_template(run, sidecar, path);
    if (!copied)
        sidecar.discard();
    return copied;
}

Status publish_sidecar(Run& run, StagedFile& sidecar, const std::string& image_path, bool listed)
{
    if (!sidecar.active())
        return {};
    const std::string path = sidecar_path_for(image_path);
    const int err = run.writer.publish(sidecar, path);
    if (err == EEXIST) {
        sidecar.discard();
        return {};
    }
    if (err != 0)
        return fail("create_sidecar: creat error", path, err);
    if (listed)
        run.sidecars.push_back(path);
    run.note_published(path, run.template_hash, {});
    return {};
}

}  // namespace oakvane
