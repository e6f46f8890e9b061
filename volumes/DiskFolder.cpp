#include "volumes/DiskFolder.h"

#include <algorithm>

#include "platform/Platform.h"
#include "volumes/VolumeFormat.h"

namespace disks {

std::string JoinFolder(const std::string& folder, const std::string& name) {
    if (name.empty()) return folder;
    if (folder.empty() || folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::string ReadableFolder(const std::string& folder) {
    static const char hex[] = "0123456789abcdef";
    std::string text;
    const auto escaped = [&](unsigned char c) {
        text += "\\x";
        text += hex[c >> 4];
        text += hex[c & 15];
    };
    for (std::size_t i = 0; i < folder.size();) {
        const auto c = static_cast<unsigned char>(folder[i]);
        if (c == '\\') {
            text += "\\\\";
            ++i;
        } else if (c == '\t') {
            text += "\\t";
            ++i;
        } else if (c == '\n') {
            text += "\\n";
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            escaped(c);
            ++i;
        } else if (c < 0x80) {
            text += static_cast<char>(c);
            ++i;
        } else {
            // A whole UTF-8 sequence stays as it is; any other byte is escaped.
            const std::size_t length = c >= 0xF0 && c < 0xF5 ? 4
                                       : c >= 0xE0           ? 3
                                       : c >= 0xC2           ? 2
                                                             : 0;
            bool whole = length != 0 && i + length <= folder.size();
            for (std::size_t k = 1; whole && k < length; ++k)
                whole = (static_cast<unsigned char>(folder[i + k]) & 0xC0) == 0x80;
            if (whole && c >= 0xE0 && c < 0xF0) {
                const auto next = static_cast<unsigned char>(folder[i + 1]);
                // No overlong forms and no surrogates.
                whole = !(c == 0xE0 && next < 0xA0) && !(c == 0xED && next >= 0xA0);
            }
            if (whole && c >= 0xF0) {
                const auto next = static_cast<unsigned char>(folder[i + 1]);
                whole = !(c == 0xF0 && next < 0x90) && !(c == 0xF4 && next >= 0x90);
            }
            if (whole) {
                text.append(folder, i, length);
                i += length;
            } else {
                escaped(c);
                ++i;
            }
        }
    }
    return text;
}

std::optional<std::string> FileInFolder(const std::string& folder, const std::string& name) {
    const std::optional<std::vector<std::string>> files = Files().HostFolderFiles(folder);
    if (!files) return std::nullopt;
    if (std::find(files->begin(), files->end(), name) != files->end())
        return JoinFolder(folder, name);
    for (const std::string& file : *files)
        if (volume::NamesFile(file, name)) return JoinFolder(folder, file);
    return std::nullopt;
}

}  // namespace disks
