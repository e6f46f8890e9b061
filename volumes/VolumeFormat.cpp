#include "volumes/VolumeFormat.h"

#include <cctype>

namespace volume {

std::string VolumeSuffix(int number) { return (number < 10 ? "d0" : "d") + std::to_string(number); }

std::string VolumeName(int number) { return "Setup." + VolumeSuffix(number); }

namespace {
// Windows drops trailing dots and spaces of a path component, so "...", ". ."
// and ".. " all end up as a step up or a no-op: none of them names a file.
bool DotsAndSpacesOnly(const std::string& component) {
    if (component.find('.') == std::string::npos) return false;
    return component.find_first_not_of(". ") == std::string::npos;
}
}  // namespace

std::string StoredNameFault(const std::string& name) {
    if (name.empty()) return "an empty file name";
    if (name.front() == '\\') return "a file name starting with a backslash";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20) return "a file name holding a control character";
        if (c == ':') return "a file name holding a drive or stream colon";
        if (c == '/') return "a file name holding a slash";
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t end = name.find('\\', start);
        const std::string component =
            name.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (component.empty()) return "a file name with an empty folder component";
        if (DotsAndSpacesOnly(component))
            return "a file name with a \"..\" or other dots-only component";
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return {};
}

std::string StoredFileTarget(const std::string& folder, const std::string& storedName) {
    // A stored name without fault neither starts nor ends with a backslash.
    if (folder.empty() || folder.back() == '\\') return folder + storedName;
    return folder + '\\' + storedName;
}

bool NamesFile(const std::string& onDisk, const std::string& name) {
    std::size_t length = onDisk.size();
    const std::size_t semicolon = onDisk.rfind(';');
    if (semicolon != std::string::npos && semicolon + 1 < onDisk.size() &&
        onDisk.size() - semicolon <= 6 &&
        onDisk.find_first_not_of("0123456789", semicolon + 1) == std::string::npos)
        length = semicolon;
    if (length != name.size()) return false;
    for (std::size_t i = 0; i < length; ++i)
        if (std::tolower(static_cast<unsigned char>(onDisk[i])) !=
            std::tolower(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}

std::string EncodeInt32(std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
    return bytes;
}

std::int32_t DecodeInt32(const unsigned char (&bytes)[4]) {
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) bits |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
    return static_cast<std::int32_t>(bits);
}

}  // namespace volume
