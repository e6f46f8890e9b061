#include "tests/support/TempFolder.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/CodePage.h"

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "setup-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    // Tests may leave read-only folders behind; make them writable before removal.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path TempFolder::WriteFile(const std::string& relative,
                                            const std::string& content) const {
    const std::filesystem::path file = path_ / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out << content;
    return file;
}

std::string TempFolder::ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

std::filesystem::path TempFolder::BelowFolder(const std::filesystem::path& folder,
                                              const std::string& windowsRelative) {
    std::filesystem::path path = folder;
    std::string part;
    for (const char c : windowsRelative + "\\") {
        if (c != '\\') {
            part += c;
            continue;
        }
        path /= AnsiToUtf8(part);
        part.clear();
    }
    return path;
}
