#include "platform/host/files/WindowsPath.h"

#include <cctype>

#include "platform/CodePage.h"
#include "platform/WinTypes.h"

namespace {

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool HasDrive(const std::string& path) {
    return path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':';
}

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

// Appends the names of text (separated by backslashes) to names, resolving "."
// and ".." on the way.
void AddNames(const std::string& text, std::vector<std::string>& names, bool& leftRoot) {
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\\', start);
        if (end == std::string::npos) end = text.size();
        const std::string name = text.substr(start, end - start);
        if (name == "..") {
            if (names.empty())
                leftRoot = true;
            else
                names.pop_back();
        } else if (!name.empty() && name != ".") {
            names.push_back(name);
        }
        start = end + 1;
    }
}

// True when the path is in full form already: a drive, a backslash, and names
// that are neither empty nor "." or ".." (a trailing backslash may follow).
// Every file an installation creates is named so, and needs no rebuilding.
bool IsFullForm(const std::string& path) {
    if (!HasDrive(path) || path.size() < 3 || path[2] != '\\' ||
        path.find('/') != std::string::npos)
        return false;
    std::size_t start = 3;
    while (start < path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        const std::size_t length = end - start;
        if (length == 0 || path.compare(start, length, ".") == 0 ||
            path.compare(start, length, "..") == 0)
            return false;
        start = end + 1;
    }
    return true;
}

}  // namespace

std::string FullWindowsPath(const std::string& original, const std::string& currentDirectory,
                            bool* leftRoot) {
    if (IsFullForm(original)) {
        if (leftRoot != nullptr) *leftRoot = false;
        return original;
    }
    std::string path = original;
    for (char& c : path)
        if (c == '/') c = '\\';
    if (path.rfind("\\\\", 0) == 0) return path;

    std::string drive;
    std::string base;  // names taken before the path's own
    std::string rest;
    const bool currentHasDrive = HasDrive(currentDirectory);
    if (HasDrive(path)) {
        drive = path.substr(0, 2);
        rest = path.substr(2);
        const bool rooted = !rest.empty() && rest[0] == '\\';
        if (!rooted && currentHasDrive && Upper(currentDirectory[0]) == Upper(drive[0]))
            base = currentDirectory.substr(2);
    } else if (!path.empty() && path[0] == '\\') {
        drive = currentHasDrive ? currentDirectory.substr(0, 2) : "C:";
        rest = path;
    } else {
        drive = currentHasDrive ? currentDirectory.substr(0, 2) : "C:";
        base = currentHasDrive ? currentDirectory.substr(2) : "";
        rest = path;
    }

    std::vector<std::string> names;
    bool left = false;
    AddNames(base, names, left);
    left = false;  // the current directory is already a full path
    AddNames(rest, names, left);
    if (leftRoot != nullptr) *leftRoot = left;

    std::string full = drive + "\\";
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) full += '\\';
        full += names[i];
    }
    const bool trailing = !path.empty() && path.back() == '\\';
    if (trailing && !names.empty()) full += '\\';
    return full;
}

std::optional<SplitPath> SplitFullPath(const std::string& fullPath) {
    if (!HasDrive(fullPath) || (fullPath.size() > 2 && fullPath[2] != '\\')) return std::nullopt;
    SplitPath split;
    split.drive = Upper(fullPath[0]);
    std::size_t start = 3;
    while (start < fullPath.size()) {
        std::size_t end = fullPath.find('\\', start);
        if (end == std::string::npos) end = fullPath.size();
        if (end > start) split.names.push_back(fullPath.substr(start, end - start));
        start = end + 1;
    }
    return split;
}

bool IsValidWindowsName(const std::string& name) {
    if (name.empty()) return false;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 32) return false;
        switch (c) {
            case '<':
            case '>':
            case ':':
            case '"':
            case '/':
            case '\\':
            case '|':
            case '?':
            case '*':
                return false;
            default:
                break;
        }
    }
    return true;
}

namespace {

// A device's name, which Windows gives the device in every folder: the part
// before the first dot, trailing spaces cut.
bool IsDeviceName(const std::string& name) {
    std::string base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base) c = FoldCase(c);
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
    if (base.size() != 4 || (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0))
        return false;
    // 1 to 9, and the superscript digits that Windows takes for them too
    // (Windows-1252: \xB9, \xB2, \xB3).
    const auto digit = static_cast<unsigned char>(base[3]);
    return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

}  // namespace

std::uint32_t CreatableNameError(const std::string& fullPath, bool folder) {
    constexpr std::size_t kMaxPath = 260;        // with the terminating null
    constexpr std::size_t kMaxFolderPath = 248;  // MAX_PATH less an 8.3 name
    if (fullPath.size() + 1 > (folder ? kMaxFolderPath : kMaxPath))
        return win::ERROR_FILENAME_EXCED_RANGE;
    const auto split = SplitFullPath(fullPath);
    if (!split) return 0;
    for (const std::string& name : split->names) {
        if (name.empty()) continue;
        if (name.back() == '.' || name.back() == ' ' || IsDeviceName(name))
            return win::ERROR_INVALID_NAME;
    }
    return 0;
}

bool MatchesPattern(const std::string& name, const std::string& pattern) {
    if (pattern == "*.*" || pattern == "*") return true;
    // Iterative wildcard match with one backtracking point for the last '*'.
    std::size_t n = 0, p = 0, starP = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == '?' || FoldCase(pattern[p]) == FoldCase(name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::string ParentOfFullPath(const std::string& fullPath) {
    std::string path = fullPath;
    while (path.size() > 3 && path.back() == '\\') path.pop_back();
    const std::size_t slash = path.rfind('\\');
    if (slash == std::string::npos || path.size() <= 3) return path;
    return slash <= 2 ? path.substr(0, 3) : path.substr(0, slash);
}

namespace {
bool IsAscii(const std::string& text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}
}  // namespace

std::string HostName(const std::string& ansi) { return IsAscii(ansi) ? ansi : AnsiToUtf8(ansi); }

std::optional<std::string> WindowsName(const std::string& utf8) {
    if (IsAscii(utf8)) return utf8;
    return Utf8ToAnsi(utf8);
}
