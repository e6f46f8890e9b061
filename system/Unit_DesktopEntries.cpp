#include "system/Unit_DesktopEntries.h"

#include <algorithm>
#include <exception>
#include <functional>

#include "installlog/Unit_Paths.h"
#include "installlog/Unit_Uninstall.h"
#include "platform/Platform.h"
#include "registrynames/RegistryNames.h"
#include "system/Unit_Shortcuts.h"

namespace {

constexpr char LinkExtension[] = ".lnk";

std::string WithoutFullStop(std::string text) {
    while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
    return text;
}

// Runs each step; the first failure is the one reported, and the steps after
// it are still tried, so that one unwritable file costs no more than itself.
class StepRunner {
  public:
    void Run(const std::function<void()>& step) {
        try {
            step();
        } catch (const std::exception& error) {
            if (firstFailure_.empty()) firstFailure_ = WithoutFullStop(error.what());
        }
    }
    const std::string& FirstFailure() const { return firstFailure_; }

  private:
    std::string firstFailure_;
};

DesktopFileType WordListType() {
    return {regnames::Extension, regnames::FileTypeName, regnames::FileTypeDescription,
            regnames::DisplayName};
}

bool EndsWithLinkExtension(const std::string& name) {
    const std::size_t length = sizeof(LinkExtension) - 1;
    if (name.size() <= length) return false;
    for (std::size_t i = 0; i < length; ++i) {
        const char c = name[name.size() - length + i];
        if ((c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c) != LinkExtension[i]) return false;
    }
    return true;
}

std::string WithoutLinkExtension(const std::string& name) {
    return name.substr(0, name.size() - (sizeof(LinkExtension) - 1));
}

}  // namespace

std::string CreateDesktopEntries(const std::string& installFolder,
                                 const std::string& startMenuFolder,
                                 const std::vector<std::string>& missing) {
    if (!Desktop().Enabled()) return "";
    StepRunner steps;
    for (const ShortcutRow& row : ShortcutRows()) {
        if (std::find(missing.begin(), missing.end(), row.file) != missing.end()) continue;
        steps.Run([&] {
            Desktop().AddMenuEntry({startMenuFolder, WithoutLinkExtension(row.file),
                                    JoinPath(installFolder, row.target), installFolder});
        });
    }
    steps.Run([] { Desktop().AddFileType(WordListType()); });
    if (steps.FirstFailure().empty()) return "";
    return "Lingora's entries in the desktop's application menu could not all be written (" +
           steps.FirstFailure() + "). The installation in Wine is complete.";
}

std::string RemoveDesktopEntries(const std::string& startMenuFolder,
                                 const std::vector<std::string>& shortcutFiles) {
    StepRunner steps;
    if (IsContainedRelativePath(startMenuFolder)) {
        for (const std::string& file : shortcutFiles) {
            // Only shortcuts have menu entries; a name may hold sub-folders.
            if (!IsContainedRelativePath(file) || !EndsWithLinkExtension(file)) continue;
            const std::string path = startMenuFolder.empty() ? file : startMenuFolder + "\\" + file;
            const std::size_t backslash = path.rfind('\\');
            const std::string folder =
                backslash == std::string::npos ? "" : path.substr(0, backslash);
            const std::string name =
                backslash == std::string::npos ? path : path.substr(backslash + 1);
            steps.Run([&] { Desktop().RemoveMenuEntry(folder, WithoutLinkExtension(name)); });
        }
    }
    steps.Run([] { Desktop().RemoveFileType(regnames::Extension); });
    if (steps.FirstFailure().empty()) return "";
    return "Lingora's entries in the desktop's application menu could not all be removed (" +
           steps.FirstFailure() + ").";
}

void UpdateDesktopDatabases() noexcept {
    try {
        Desktop().UpdateDatabases();
    } catch (...) {
        // The entries stand; the desktop finds them at its next refresh.
    }
}
