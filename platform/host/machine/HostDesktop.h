// The Linux desktop of the person running Setup, in Wine's layout, so that the
// entries sit where a Wine user looks for them and Wine's own menu builder
// finds them in place rather than beside it:
//   $XDG_DATA_HOME/applications/wine/Programs/<folder>/<name>.desktop
//   $XDG_CONFIG_HOME/menus/applications-merged/wine-Programs-<folder>-<name>.menu
//   $XDG_DATA_HOME/desktop-directories/wine-wine.directory, wine-Programs[-<folder>].directory
//   $XDG_DATA_HOME/mime/packages/x-wine-extension-<ext>.xml
//   $XDG_DATA_HOME/applications/wine-extension-<ext>.desktop
//   $XDG_DATA_HOME/icons/hicolor/<size>/apps/wine-<program>-<hash>.png (the programs' icons)
// Each entry starts its program through `wine` with WINEPREFIX set to this
// prefix; that is also how the removal tells this prefix's entries from
// another's of the same name.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Desktop.h"
#include "platform/host/files/HostFileSystem.h"

struct DesktopSettings {
    std::filesystem::path dataHome;    // $XDG_DATA_HOME
    std::filesystem::path configHome;  // $XDG_CONFIG_HOME
    bool enabled = true;

    // XDG_DATA_HOME and XDG_CONFIG_HOME when they are absolute paths, else
    // ~/.local/share and ~/.config; switched off when WINEDLLOVERRIDES switches
    // off Wine's menu builder.
    static DesktopSettings FromEnvironment();
};

// True when a WINEDLLOVERRIDES value disables winemenubuilder.exe (mode "d" or
// empty, as in "winemenubuilder.exe=d" or "mscoree,winemenubuilder.exe=").
bool MenuBuilderDisabled(std::string_view overrides);

class HostDesktop : public IDesktop {
  public:
    HostDesktop(std::filesystem::path prefixFolder, HostFileSystem& files,
                DesktopSettings settings);

    const DesktopSettings& Settings() const { return settings_; }
    void SwitchOff() { settings_.enabled = false; }

    bool Enabled() override { return settings_.enabled; }
    void AddMenuEntry(const DesktopMenuEntry& entry) override;
    void AddFileType(const DesktopFileType& type) override;
    void RemoveMenuEntry(const std::string& folder, const std::string& name) override;
    void RemoveFileType(const std::string& extension) override;
    // update-mime-database and update-desktop-database on the two folders,
    // when anything changed there; the databases of a folder left without any
    // entry go with it.
    void UpdateDatabases() override;

    // The files of a menu entry and of a file type (host paths).
    std::filesystem::path MenuEntryFile(const std::string& folder, const std::string& name) const;
    std::filesystem::path MenuFile(const std::string& folder, const std::string& name) const;
    std::filesystem::path FileTypeEntryFile(const std::string& extension) const;
    std::filesystem::path MimePackageFile(const std::string& extension) const;
    static std::string MimeTypeName(const std::string& extension);
    // The icon theme name of a program's icon: "wine-<name>-<8 hex digits>".
    std::string IconName(const std::string& target) const;
    std::filesystem::path Icons() const;  // $XDG_DATA_HOME/icons/hicolor

  private:
    // "wine", "Programs", then the folder's levels: UTF-8 names. Throws
    // Exception when a name cannot stand in a file name.
    static std::vector<std::string> MenuPath(const std::string& folder);
    // ".WDL" -> "wdl"; throws Exception for what is no extension.
    static std::string BareExtension(const std::string& extension);
    std::filesystem::path Applications() const;
    std::filesystem::path Directories() const;
    std::filesystem::path MergedMenus() const;
    std::filesystem::path Mime() const;
    std::string ExecPrefix() const;  // for the ownership check
    bool BelongsToThisPrefix(const std::filesystem::path& entryFile) const;
    void WriteDirectoryFiles(const std::vector<std::string>& menuPath);
    // The program's own icon in every size it has, as PNG files of the icon
    // theme; its name, or nothing when the program has no icon to be had.
    std::optional<std::string> WriteIcon(const std::string& target);
    std::string IconOf(const std::filesystem::path& entryFile) const;
    void RemoveIcon(const std::string& name);
    void WriteFile(const std::filesystem::path& file, const std::string& text);
    void RemoveFile(const std::filesystem::path& file);
    // Removes the empty folders from folder up to (not including) stop.
    void RemoveEmptyFolders(std::filesystem::path folder, const std::filesystem::path& stop);

    std::filesystem::path prefixFolder_;
    HostFileSystem& files_;
    DesktopSettings settings_;
    bool changed_ = false;
};
