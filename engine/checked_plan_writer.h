#pragma once
// The writer of a plan that also looks at what the run's writes would meet: a folder that
// can't be written, a name or path longer than the destination's file system takes. What
// the run would fail on half-way, the plan fails on first, with the error the run would get.

#include "tree_writer.h"

#include <map>
#include <string>

namespace oakvane {

class CheckedPlanWriter : public PlanWriter {
public:
    int make_dir(const std::string& path) override;
    int stage(const std::string& folder, StagedFile& file) override;
    int publish(StagedFile& file, const std::string& final_path) override;
    int rename_folder(const std::string& from, const std::string& to) override;

    // Whether one of the checks above failed a write.
    bool refused() const { return m_refused; }

private:
    int refuse(int err)
    {
        m_refused = m_refused || err != 0;
        return err;
    }

    // 0, or the errno creating an entry at path would give for its name's length.
    int check_name(const std::string& path);
    // 0, or the errno writing into the existing folder would give.
    int check_writable(const std::string& folder);
    long name_max(const std::string& folder);

    std::map<std::string, long> m_name_max;  // by existing folder
    std::map<std::string, int> m_writable;   // by existing folder
    bool m_refused = false;
};

}  // namespace oakvane
