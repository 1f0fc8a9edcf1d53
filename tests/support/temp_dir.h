#pragma once
// A fresh folder per test, removed with everything in it afterwards.

#include <filesystem>
#include <string>
#include <vector>

namespace oakvane::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string str() const { return m_path.string(); }
    std::string operator/(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

// Whole-file helpers for checking results.
std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& content);

// A tree's ASC MHL history, which the tests of the copies leave aside (it has tests of its own).
inline constexpr char kHistoryFolder[] = "ascmhl/";

// Every regular file below root, as paths relative to root, sorted; the tree's history left out.
std::vector<std::string> list_tree(const std::filesystem::path& root);

}  // namespace oakvane::test
