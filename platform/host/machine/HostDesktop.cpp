#include "platform/host/machine/HostDesktop.h"

#include <pwd.h>
#include <unistd.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/AsciiText.h"
#include "platform/CodePage.h"
#include "platform/DiagnosticLog.h"
#include "platform/Exceptions.h"
#include "platform/host/files/PosixFile.h"
#include "platform/host/machine/DesktopEntryText.h"
#include "platform/host/machine/HostProcess.h"
#include "platform/host/machine/ProgramIcons.h"

namespace fs = std::filesystem;
using desktopentry::ExecValue;
using desktopentry::StringValue;
using desktopentry::XmlText;

namespace {

// What update-mime-database makes of the packages; without any package left
// these describe nothing and go.
constexpr const char* MimeDatabaseFiles[] = {
    "aliases",    "generic-icons", "globs",     "globs2", "icons",   "magic",
    "mime.cache", "subclasses",    "treemagic", "types",  "version", "XMLnamespaces"};

// Programs larger than this are not read for their icon.
constexpr std::uintmax_t MaxIconSource = 64ull << 20;

fs::path HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') return home;
    const passwd* account = getpwuid(getuid());
    return account != nullptr ? account->pw_dir : "/";
}

fs::path XdgFolder(const char* variable, const fs::path& fallback) {
    const char* value = std::getenv(variable);
    // A relative path here counts as unset, as the desktop itself takes it.
    if (value != nullptr && fs::path(value).is_absolute()) return value;
    return fallback;
}

std::string Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}

std::string Required(const std::optional<std::string>& value, const std::string& what) {
    if (!value) throw Exception(what + " cannot be written in a desktop entry.");
    return *value;
}

// One level of a menu path or an entry's name, in UTF-8, fit to be a file name.
std::string FileNamePart(const std::string& ansi) {
    const std::string name = AnsiToUtf8(ansi);
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        !StringValue(name))
        throw Exception("\"" + ansi + "\" cannot be the name of a desktop menu entry.");
    return name;
}

std::string Join(const std::vector<std::string>& parts, std::size_t count, char separator) {
    std::string joined;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) joined += separator;
        joined += parts[i];
    }
    return joined;
}

// The menu's name of level k of a menu path, as Wine names it: "wine-wine",
// "wine-Programs", "wine-Programs-<folder>", ...
std::string LevelName(const std::vector<std::string>& path, std::size_t k) {
    return k == 0 ? "wine-" + path[0] : Join(path, k + 1, '-');
}

bool IsEmptyFolder(const fs::path& folder) {
    std::error_code error;
    return fs::is_directory(folder, error) && fs::is_empty(folder, error) && !error;
}

// True when the folder holds exactly one entry (and can be read to the end).
bool OnlyEntryIn(const fs::path& folder) {
    std::error_code error;
    int entries = 0;
    fs::directory_iterator entry(folder, error), end;
    for (; !error && entry != end && entries < 2; entry.increment(error)) ++entries;
    return !error && entries == 1;
}

// The prefix folder from the root; one that cannot be made so (no current
// folder) stays as given, and the ownership check compares it as it is.
fs::path AbsoluteFolder(fs::path folder) {
    std::error_code unknown;
    fs::path absolute = fs::absolute(folder, unknown);
    return unknown ? folder : absolute;
}

std::string Reason(const std::error_code& error) { return error.message(); }

std::string Shown(const fs::path& path) { return Utf8ToAnsiForMessage(path.string()); }

}  // namespace

DesktopSettings DesktopSettings::FromEnvironment() {
    const fs::path home = HomeFolder();
    DesktopSettings settings;
    settings.dataHome = XdgFolder("XDG_DATA_HOME", home / ".local" / "share");
    settings.configHome = XdgFolder("XDG_CONFIG_HOME", home / ".config");
    const char* overrides = std::getenv("WINEDLLOVERRIDES");
    settings.enabled = overrides == nullptr || !MenuBuilderDisabled(overrides);
    return settings;
}

bool MenuBuilderDisabled(std::string_view overrides) {
    bool disabled = false;
    // "name[,name...]=mode[;...]": the last setting of a module counts.
    while (!overrides.empty()) {
        const std::size_t end = std::min(overrides.find(';'), overrides.size());
        const std::string_view entry = overrides.substr(0, end);
        overrides.remove_prefix(std::min(end + 1, overrides.size()));
        const std::size_t equals = entry.find('=');
        const std::string mode =
            equals == std::string_view::npos ? "" : Lower(Trimmed(entry.substr(equals + 1)));
        std::string_view names = entry.substr(0, equals);
        while (!names.empty()) {
            const std::size_t comma = std::min(names.find(','), names.size());
            const std::string name = Lower(Trimmed(names.substr(0, comma)));
            names.remove_prefix(std::min(comma + 1, names.size()));
            if (name == "winemenubuilder.exe" || name == "winemenubuilder")
                disabled = mode.empty() || mode == "d" || mode == "disabled";
        }
    }
    return disabled;
}

HostDesktop::HostDesktop(fs::path prefixFolder, HostFileSystem& files, DesktopSettings settings)
    : prefixFolder_(AbsoluteFolder(std::move(prefixFolder))),
      files_(files),
      settings_(std::move(settings)) {}

fs::path HostDesktop::Applications() const { return settings_.dataHome / "applications"; }
fs::path HostDesktop::Directories() const { return settings_.dataHome / "desktop-directories"; }
fs::path HostDesktop::MergedMenus() const {
    return settings_.configHome / "menus" / "applications-merged";
}
fs::path HostDesktop::Mime() const { return settings_.dataHome / "mime"; }

std::vector<std::string> HostDesktop::MenuPath(const std::string& folder) {
    std::vector<std::string> path = {"wine", "Programs"};
    std::string level;
    for (std::size_t i = 0; i <= folder.size(); ++i) {
        if (i == folder.size() || folder[i] == '\\' || folder[i] == '/') {
            if (!level.empty()) path.push_back(FileNamePart(level));
            level.clear();
        } else {
            level += folder[i];
        }
    }
    return path;
}

fs::path HostDesktop::MenuEntryFile(const std::string& folder, const std::string& name) const {
    fs::path file = Applications();
    for (const std::string& level : MenuPath(folder)) file /= level;
    return file / (FileNamePart(name) + ".desktop");
}

fs::path HostDesktop::MenuFile(const std::string& folder, const std::string& name) const {
    const std::vector<std::string> path = MenuPath(folder);
    return MergedMenus() / (Join(path, path.size(), '-') + "-" + FileNamePart(name) + ".menu");
}

std::string HostDesktop::BareExtension(const std::string& extension) {
    if (extension.size() < 2 || extension[0] != '.')
        throw Exception("\"" + extension + "\" is not a file name extension.");
    return Lower(FileNamePart(extension.substr(1)));
}

std::string HostDesktop::MimeTypeName(const std::string& extension) {
    return "application/x-wine-extension-" + BareExtension(extension);
}

fs::path HostDesktop::FileTypeEntryFile(const std::string& extension) const {
    return Applications() / ("wine-extension-" + BareExtension(extension) + ".desktop");
}

fs::path HostDesktop::MimePackageFile(const std::string& extension) const {
    return Mime() / "packages" / ("x-wine-extension-" + BareExtension(extension) + ".xml");
}

std::string HostDesktop::ExecPrefix() const { return "WINEPREFIX=" + prefixFolder_.string(); }

void HostDesktop::AddMenuEntry(const DesktopMenuEntry& entry) {
    const std::vector<std::string> path = MenuPath(entry.folder);
    const std::string name = FileNamePart(entry.name);
    const std::string exec =
        Required(ExecValue({"env", ExecPrefix(), "wine", "start", AnsiToUtf8(entry.target)}),
                 "The program " + entry.target);

    std::string text = "[Desktop Entry]\nType=Application\n";
    text += "Name=" + *StringValue(name) + "\n";
    text += "Exec=" + exec + "\n";
    const HostLocation folder = files_.Locate(entry.workingFolder);
    if (folder.error == 0 && folder.exists) {
        if (const auto value = StringValue(folder.host.string())) text += "Path=" + *value + "\n";
    }
    if (const std::optional<std::string> icon = WriteIcon(entry.target))
        text += "Icon=" + *icon + "\n";
    text += "StartupNotify=true\n";
    WriteFile(MenuEntryFile(entry.folder, entry.name), text);
    WriteDirectoryFiles(path);

    std::string menu =
        // No document type: the desktop's menu readers do not validate.
        "<Menu>\n  <Name>Applications</Name>\n";
    for (std::size_t k = 0; k < path.size(); ++k) {
        const std::string indent(2 * k + 2, ' ');
        const std::string level = XmlText(LevelName(path, k));
        menu += indent + "<Menu>\n" + indent + "  <Name>" + level + "</Name>\n" + indent +
                "  <Directory>" + level + ".directory</Directory>\n";
    }
    const std::string indent(2 * path.size() + 2, ' ');
    menu += indent + "<Include>\n" + indent + "  <Filename>" +
            XmlText(Join(path, path.size(), '-') + "-" + name + ".desktop") + "</Filename>\n" +
            indent + "</Include>\n";
    for (std::size_t k = path.size(); k-- > 0;) menu += std::string(2 * k + 2, ' ') + "</Menu>\n";
    menu += "</Menu>\n";
    WriteFile(MenuFile(entry.folder, entry.name), menu);
}

void HostDesktop::WriteDirectoryFiles(const std::vector<std::string>& path) {
    for (std::size_t k = 0; k < path.size(); ++k) {
        const fs::path file = Directories() / (LevelName(path, k) + ".directory");
        std::error_code error;
        if (fs::exists(file, error)) continue;  // another program's submenu has it already
        const bool wine = k == 0;
        WriteFile(file, "[Desktop Entry]\nType=Directory\nName=" +
                            (wine ? std::string("Wine") : *StringValue(path[k])) +
                            "\nIcon=" + (wine ? "wine" : "folder") + "\n");
    }
}

void HostDesktop::AddFileType(const DesktopFileType& type) {
    const std::string mimeType = MimeTypeName(type.extension);
    const std::string exec = Required(
        ExecValue({"env", ExecPrefix(), "wine", "start", "/ProgIDOpen", AnsiToUtf8(type.progId)},
                  "%f"),
        "The file type " + type.progId);
    const std::string appName = Required(StringValue(AnsiToUtf8(type.appName)), "The name");

    WriteFile(MimePackageFile(type.extension),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
              "  <mime-type type=\"" +
                  XmlText(mimeType) + "\">\n    <glob pattern=\"*" +
                  XmlText(Lower(AnsiToUtf8(type.extension))) + "\"/>\n    <comment>" +
                  XmlText(AnsiToUtf8(type.comment)) + "</comment>\n  </mime-type>\n</mime-info>\n");
    WriteFile(FileTypeEntryFile(type.extension),
              "[Desktop Entry]\nType=Application\nName=" + appName + "\nMimeType=" + mimeType +
                  ";\nExec=" + exec + "\nNoDisplay=true\nStartupNotify=true\n");
}

bool HostDesktop::BelongsToThisPrefix(const fs::path& entryFile) const {
    std::ifstream in(entryFile);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("Exec=", 0) != 0) continue;
        for (const std::string& argument : desktopentry::ExecArguments(line.substr(5))) {
            if (argument.rfind("WINEPREFIX=", 0) != 0) continue;
            const fs::path prefix = argument.substr(11);
            std::error_code error;
            return fs::equivalent(prefix, prefixFolder_, error) ||
                   prefix.lexically_normal() == prefixFolder_.lexically_normal();
        }
        return false;
    }
    return false;
}

void HostDesktop::RemoveMenuEntry(const std::string& folder, const std::string& name) {
    const std::vector<std::string> path = MenuPath(folder);
    const fs::path entry = MenuEntryFile(folder, name);
    std::error_code error;
    if (fs::exists(entry, error)) {
        if (!BelongsToThisPrefix(entry)) return;
        const std::string icon = IconOf(entry);
        RemoveFile(entry);
        if (!icon.empty()) RemoveIcon(icon);
    }
    RemoveFile(MenuFile(folder, name));

    // The submenus that this leaves without entries go, with their files.
    for (std::size_t k = path.size(); k-- > 0;) {
        fs::path level = Applications();
        for (std::size_t i = 0; i <= k; ++i) level /= path[i];
        if (fs::exists(level, error)) {
            if (!IsEmptyFolder(level)) break;
            fs::remove(level, error);
            if (error) throw Exception("Cannot delete " + Shown(level) + ": " + Reason(error));
        }
        RemoveFile(Directories() / (LevelName(path, k) + ".directory"));
    }
    RemoveEmptyFolders(Applications(), settings_.dataHome);
    RemoveEmptyFolders(Directories(), settings_.dataHome);
    RemoveEmptyFolders(MergedMenus(), settings_.configHome);
}

void HostDesktop::RemoveFileType(const std::string& extension) {
    const fs::path entry = FileTypeEntryFile(extension);
    std::error_code error;
    if (fs::exists(entry, error)) {
        if (!BelongsToThisPrefix(entry)) return;
        RemoveFile(entry);
    }
    RemoveFile(MimePackageFile(extension));
    // What update-mime-database made of that package.
    const std::string type = MimeTypeName(extension);
    RemoveFile(Mime() / (type + ".xml"));
    RemoveEmptyFolders(Mime() / type.substr(0, type.find('/')), Mime());
    RemoveEmptyFolders(Mime() / "packages", Mime());
    RemoveEmptyFolders(Applications(), settings_.dataHome);
}

void HostDesktop::UpdateDatabases() {
    if (!changed_) return;
    changed_ = false;
    std::error_code error;

    const fs::path packages = Mime() / "packages";
    if (fs::is_directory(packages, error) && !fs::is_empty(packages, error)) {
        RunQuietly({{"update-mime-database", Mime().string()}, {}, {}});
    } else if (fs::is_directory(Mime(), error)) {
        for (const char* name : MimeDatabaseFiles) fs::remove(Mime() / name, error);
        RemoveEmptyFolders(packages, settings_.dataHome);
        RemoveEmptyFolders(Mime(), settings_.dataHome);
    }

    if (fs::is_directory(Applications(), error)) {
        RunQuietly({{"update-desktop-database", Applications().string()}, {}, {}});
        // A cache of no types in a folder of nothing else describes nothing.
        const fs::path cache = Applications() / "mimeinfo.cache";
        std::ifstream in(cache);
        std::string line;
        bool types = false;
        while (std::getline(in, line)) types = types || line.find('=') != std::string::npos;
        in.close();
        if (!types && fs::exists(cache, error) && OnlyEntryIn(Applications())) {
            fs::remove(cache, error);
            RemoveEmptyFolders(Applications(), settings_.dataHome);
        }
    }
}

void HostDesktop::WriteFile(const fs::path& file, const std::string& text) {
    std::error_code error;
    fs::create_directories(file.parent_path(), error);
    if (error) throw Exception("Cannot create " + Shown(file.parent_path()) + ": " + Reason(error));

    // Replaced whole: the desktop never reads half an entry.
    if (const int failure = posix::ReplaceFile(file, text))
        throw Exception("Cannot write " + Shown(file) + ": " + std::strerror(failure));
    diag::Note("desktop file written: ", diag::Host{file.string()}, " (", text.size(), " bytes)");
    changed_ = true;
}

void HostDesktop::RemoveFile(const fs::path& file) {
    std::error_code error;
    if (fs::remove(file, error)) {
        diag::Note("desktop file removed: ", diag::Host{file.string()});
        changed_ = true;
    }
    if (error) throw Exception("Cannot delete " + Shown(file) + ": " + Reason(error));
}

void HostDesktop::RemoveEmptyFolders(fs::path folder, const fs::path& stop) {
    const fs::path end = stop.lexically_normal();
    std::error_code error;
    while (folder.lexically_normal() != end && folder.has_relative_path() &&
           IsEmptyFolder(folder)) {
        fs::remove(folder, error);
        if (error) return;
        folder = folder.parent_path();
    }
}

fs::path HostDesktop::Icons() const { return settings_.dataHome / "icons" / "hicolor"; }

std::string HostDesktop::IconName(const std::string& target) const {
    // Unique for this prefix's program, so that removing it never takes
    // another prefix's icon: FNV-1a of the prefix and the Windows path.
    std::uint32_t hash = 2166136261u;
    for (const char c : prefixFolder_.string() + "|" + target) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    const std::size_t slash = target.find_last_of("\\/:");
    std::string base = target.substr(slash == std::string::npos ? 0 : slash + 1);
    base = base.substr(0, base.rfind('.'));
    char suffix[10];
    std::snprintf(suffix, sizeof suffix, "-%08x", hash);
    return "wine-" + AnsiToUtf8(base) + suffix;
}

std::optional<std::string> HostDesktop::WriteIcon(const std::string& target) {
    const HostLocation program = files_.Locate(target);
    std::error_code error;
    if (program.error != 0 || !program.regular) return std::nullopt;
    const std::uintmax_t size = fs::file_size(program.host, error);
    if (error || size > MaxIconSource) return std::nullopt;
    std::ifstream in(program.host, std::ios::binary);
    const std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::optional<std::string> ico = ProgramIcon(image);
    if (!ico) return std::nullopt;

    const std::string name = IconName(target);
    if (!StringValue(name)) return std::nullopt;
    QByteArray bytes(ico->data(), static_cast<qsizetype>(ico->size()));
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer, "ico");
    // Of the images of one size, the one of most colours (its bits per pixel
    // in the .ico file's entry, in the reader's order).
    std::map<int, std::pair<unsigned, QImage>> best;
    for (int i = 0; i < std::max(reader.imageCount(), 1); ++i) {
        if (i > 0 && !reader.jumpToNextImage()) break;
        const QImage picture = reader.read();
        if (picture.isNull() || picture.width() != picture.height()) continue;
        const std::size_t entry = 6 + 16 * static_cast<std::size_t>(i);
        const unsigned bits = entry + 8 <= ico->size()
                                  ? static_cast<unsigned char>((*ico)[entry + 6]) |
                                        static_cast<unsigned char>((*ico)[entry + 7]) << 8
                                  : 0;
        auto found = best.find(picture.width());
        if (found == best.end() || bits > found->second.first)
            best[picture.width()] = {bits, picture};
    }
    for (const auto& [size, picture] : best) {
        QByteArray png;
        QBuffer output(&png);
        output.open(QIODevice::WriteOnly);
        if (!picture.second.save(&output, "PNG")) continue;
        WriteFile(Icons() / (std::to_string(size) + "x" + std::to_string(size)) / "apps" /
                      (name + ".png"),
                  std::string(png.constData(), static_cast<std::size_t>(png.size())));
    }
    if (best.empty()) return std::nullopt;
    return name;
}

std::string HostDesktop::IconOf(const fs::path& entryFile) const {
    std::ifstream in(entryFile);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("Icon=", 0) == 0) return desktopentry::UnescapeStringValue(line.substr(5));
    return "";
}

void HostDesktop::RemoveIcon(const std::string& name) {
    // Only the icons named as Setup names them, in the size folders there are.
    if (name.rfind("wine-", 0) != 0 || name.find('/') != std::string::npos || name == "wine-")
        return;
    std::error_code error;
    if (!fs::is_directory(Icons(), error)) return;
    std::vector<fs::path> sizes;
    fs::directory_iterator size(Icons(), error), end;
    for (; !error && size != end; size.increment(error)) sizes.push_back(size->path());
    for (const fs::path& size : sizes) {
        RemoveFile(size / "apps" / (name + ".png"));
        RemoveEmptyFolders(size / "apps", settings_.dataHome);
    }
}
