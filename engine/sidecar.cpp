#include "sidecar.h"

#include "file_copy.h"
#include "fs_util.h"
#include "run_state.h"

#include <cerrno>
#include <fcntl.h>
#include <strings.h>

namespace oakvane {

namespace {

int copy_template(UniqueFd& sidecar, const std::string& path)
{
    UniqueFd from(::open(run_state().sidecar_path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!from)
        return record_errno_error("Can't access metadata template", run_state().sidecar_path, errno);
    const CopyOutcome outcome = copy_data(from.get(), sidecar.get());
    if (outcome.status != CopyStatus::done)
        return record_copy_failure(outcome, "create_sidecar: read error", run_state().sidecar_path,
                                   "create_sidecar: write error", path);
    const int from_closed = from.close();
    if (sidecar.close() != 0 || from_closed != 0)
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

int create_sidecar(const std::string& image_path, bool listed, bool* created)
{
    if (created)
        *created = false;
    RunState& run = run_state();
    if (run.sidecar_path.empty())
        return 1;
    if (image_path.size() < 4)
        return record_error("create_sidecar: path too short");
    const std::string path = sidecar_path_for(image_path);
    if (path.empty())
        return 1;
    // Created exclusively: a sidecar that is already there, maybe edited by the user, stays.
    UniqueFd sidecar(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!sidecar && errno == EEXIST)
        return 1;
    if (!sidecar)
        return record_errno_error("create_sidecar: creat error", path, errno);
    if (listed)
        run.sidecars.push_back(path);
    if (!copy_template(sidecar, path)) {
        sidecar.close();
        remove_unfinished(path);
        if (listed)
            run.sidecars.pop_back();
        return 0;
    }
    if (created)
        *created = true;
    return 1;
}

}  // namespace oakvane
