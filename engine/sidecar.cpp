#include "sidecar.h"

#include "file_copy.h"
#include "run_state.h"

#include <cerrno>
#include <fcntl.h>
#include <strings.h>

namespace oakvane {

namespace {

int copy_template(StagedFile& sidecar, const std::string& path)
{
    UniqueFd from(::open(run_state().sidecar_path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!from)
        return record_errno_error("Can't access metadata template", run_state().sidecar_path, errno);
    const CopyOutcome outcome = copy_data(from.get(), sidecar.fd());
    if (outcome.status != CopyStatus::done)
        return record_copy_failure(outcome, "create_sidecar: read error", run_state().sidecar_path,
                                   "create_sidecar: write error", path);
    if (from.close() != 0)
        return record_errno_error("create_sidecar: close", path, errno);
    return 1;
}

}  // namespace

std::string sidecar_path_for(const std::string& image_path)
{
    const std::size_t n = image_path.size();
    if (n < 4 || strcasecmp(image_path.c_str() + n - 3, "xmp") == 0 || image_path[n - 4] != '.')
        return {};
    return image_path.substr(0, n - 3) + "xmp";
}

int stage_sidecar(const std::string& image_path, StagedFile& sidecar)
{
    const RunState& run = run_state();
    if (run.sidecar_path.empty())
        return 1;
    if (image_path.size() < 4)
        return record_error("create_sidecar: path too short");
    const std::string path = sidecar_path_for(image_path);
    if (path.empty())
        return 1;
    if (const int err = sidecar.create(folder_of(path)); err != 0)
        return record_errno_error("create_sidecar: creat error", path, err);
    if (!copy_template(sidecar, path)) {
        sidecar.discard();
        return 0;
    }
    return 1;
}

int publish_sidecar(StagedFile& sidecar, const std::string& image_path, bool listed)
{
    if (!sidecar.active())
        return 1;
    const std::string path = sidecar_path_for(image_path);
    const int err = sidecar.publish(path);
    if (err == EEXIST) {
        sidecar.discard();
        return 1;
    }
    if (err != 0)
        return record_errno_error("create_sidecar: creat error", path, err);
    if (listed)
        run_state().sidecars.push_back(path);
    return 1;
}

int create_sidecar(const std::string& image_path, bool listed)
{
    StagedFile sidecar;
    if (!stage_sidecar(image_path, sidecar))
        return 0;
    if (!sidecar.active())
        return 1;
    const std::string path = sidecar_path_for(image_path);
    if (const int err = sidecar.flush(); err != 0)
        return record_errno_error("Write-back error: \"" + path + "\"", path, err);
    return publish_sidecar(sidecar, image_path, listed);
}

}  // namespace oakvane
