#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace oakvane::test {

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "oakvane-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::remove_all(m_path, ec);
}

std::string read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void write_file(const fs::path& path, const std::string& content)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << content;
}

std::vector<std::string> list_tree(const fs::path& root)
{
    std::vector<std::string> files;
    if (!fs::exists(root))
        return files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string rel = fs::relative(entry.path(), root).string();
        if (entry.is_regular_file() && !rel.starts_with(kHistoryFolder))
            files.push_back(rel);
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace oakvane::test
