#include "wizard/Unit_ProgramGroups.h"

#include <algorithm>

#include "installlog/Unit_Paths.h"
#include "platform/Platform.h"

namespace {

constexpr std::size_t MaxPath = 260;  // MAX_PATH, with the terminating zero

unsigned char Fold(unsigned char c) {
    // Windows-1252 letters: ASCII, and the accented ones of Latin-1.
    if (c >= 'a' && c <= 'z') return c - 32;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
    if (c == 0x9A || c == 0x9C || c == 0x9E) return c - 16;  // š œ ž
    if (c == 0xFF) return 0x9F;                              // ÿ
    return c;
}

void ReadChildren(const std::string& path, TFolderNode& node) {
    for (const FindData& entry : Files().FindFiles(JoinPath(path, "*.*"))) {
        if (!entry.IsDirectory() || entry.name == "." || entry.name == "..") continue;
        TFolderNode child{entry.name, {}};
        const std::string childPath = JoinPath(path, entry.name);
        if (childPath.size() < MaxPath - 1) ReadChildren(childPath, child);
        node.Children.push_back(std::move(child));
    }
    std::sort(
        node.Children.begin(), node.Children.end(),
        [](const TFolderNode& a, const TFolderNode& b) { return FolderNameLess(a.Name, b.Name); });
}

}  // namespace

bool FolderNameLess(const std::string& a, const std::string& b) {
    const auto folded = [](unsigned char x, unsigned char y) { return Fold(x) < Fold(y); };
    if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), folded)) return true;
    if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), folded)) return false;
    return a < b;
}

TFolderNode ReadFolderTree(const std::string& path) {
    TFolderNode root;
    const std::string folder = TrimTrailingBackslash(path);
    const std::vector<FindData> self = Files().FindFiles(folder);
    if (!self.empty()) {
        root.Name = self.front().name;
    } else {
        const std::size_t last = folder.rfind('\\');
        root.Name = last == std::string::npos ? folder : folder.substr(last + 1);
    }
    ReadChildren(folder, root);
    return root;
}
