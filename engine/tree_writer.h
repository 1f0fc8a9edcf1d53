#pragma once
// Everything a run does to the backup and primary trees goes through one writer: creating
// folders, staging files, publishing them and renaming range folders. A run writes through
// the disk writer; a plan runs the very same steps through one that only notes what would
// happen, so that a plan cannot drift from what a run does.

#include "failure.h"
#include "fs_util.h"

#include <map>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

namespace oakvane {

class StagedFile;

class TreeWriter {
public:
    virtual ~TreeWriter() = default;
    // Whether file data is written (a plan copies nothing and decodes nothing).
    virtual bool writes() const = 0;
    // Creates one folder; one already there is fine. 0 or errno.
    virtual int make_dir(const std::string& path) = 0;
    // A new staging file in folder. 0 or errno.
    virtual int stage(const std::string& folder, StagedFile& file) = 0;
    // Gives a flushed staging file its final name, never replacing anything. 0 or errno
    // (EEXIST: the name is taken; the staging file stays for another try).
    virtual int publish(StagedFile& file, const std::string& final_path) = 0;
    // Renames a folder of this run, never replacing anything. 0 or errno.
    virtual int rename_folder(const std::string& from, const std::string& to) = 0;
    // Whether something stands at path (or will, in a plan).
    virtual bool exists(const std::string& path) = 0;
    // Holds the tree at root for this run, so that no other run writes there meanwhile.
    virtual Status lock(const std::string& root) = 0;
    // Removes the staging leftovers of dead runs from folder (once per folder), and from
    // the range folders beside it, removing those that held nothing else.
    virtual void sweep(const std::string& folder) = 0;
    // Removes folder, a range folder placeholder this run did not make, when it holds
    // nothing but a dead run's staging leftovers, or nothing at all. True when it is gone
    // (in a plan: would be), so that this run may take its name.
    virtual bool clear_placeholder(const std::string& folder) = 0;
    // Makes the entries of every folder this run changed durable, and the names it
    // published there.
    virtual Status sync_folders() = 0;
};

// The writer of a real run.
class DiskWriter : public TreeWriter {
public:
    bool writes() const override { return true; }
    int make_dir(const std::string& path) override;
    int stage(const std::string& folder, StagedFile& file) override;
    int publish(StagedFile& file, const std::string& final_path) override;
    int rename_folder(const std::string& from, const std::string& to) override;
    bool exists(const std::string& path) override;
    Status lock(const std::string& root) override;
    void sweep(const std::string& folder) override;
    bool clear_placeholder(const std::string& folder) override;
    Status sync_folders() override;

    // Records that entries of folder changed, so that they are made durable.
    void note_changed(const std::string& folder) { m_changed.insert(folder); }
    // Records that a file was given the name path, so that the name is made durable.
    void note_named(const std::string& path);

private:
    Status sync_names();
    void sweep_ranges_beside(const std::string& parent);
    bool clear_dead_folder(const std::string& folder, bool empty_too);
    bool remove_dead(const std::string& folder, const std::vector<std::string>& names);

    std::set<std::string> m_changed;  // folders whose entries must be flushed
    std::set<std::string> m_named;    // files named since the last flush of the folders
    std::set<std::string> m_swept;    // folders cleared of staging leftovers
    std::set<std::string> m_swept_beside;  // folders whose range folders were swept
    std::map<std::string, UniqueFd> m_locks;  // tree roots held
    unsigned m_staged = 0;            // staging names made so far
};

// The writer of a plan: writes nothing, notes the folders a run would create and the names
// it would publish.
class PlanWriter : public TreeWriter {
public:
    bool writes() const override { return false; }
    int make_dir(const std::string& path) override;
    int stage(const std::string& folder, StagedFile& file) override;
    int publish(StagedFile& file, const std::string& final_path) override;
    int rename_folder(const std::string& from, const std::string& to) override;
    bool exists(const std::string& path) override;
    Status lock(const std::string&) override { return {}; }
    void sweep(const std::string&) override {}
    bool clear_placeholder(const std::string& folder) override;
    Status sync_folders() override { return {}; }

    const std::set<std::string>& new_folders() const { return m_new_folders; }

private:
    std::set<std::string> m_new_folders;
    std::unordered_set<std::string> m_existing;  // folders looked at and found
    std::set<std::string> m_published;           // names planned for files
};

}  // namespace oakvane
