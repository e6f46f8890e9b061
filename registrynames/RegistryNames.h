// The registry keys and values of the product, each named once: the start-up
// reads them, the registry entries write them, the removal of an earlier
// installation deletes them, and the version-1.0 detection looks for them.
// Keys are paths from their root key, with a leading backslash.
#pragma once

namespace regnames {

// HKEY_LOCAL_MACHINE: where programs go.
inline constexpr char CurrentVersionKey[] = "\\Software\\Microsoft\\Windows\\CurrentVersion";
inline constexpr char ProgramFilesDirValue[] = "ProgramFilesDir";

// HKEY_LOCAL_MACHINE: the uninstall entry, written by this version and by 1.0.
inline constexpr char UninstallKey[] =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lingora";
inline constexpr char DisplayNameValue[] = "DisplayName";
inline constexpr char DisplayName[] = "Lingora";
inline constexpr char UninstallStringValue[] = "UninstallString";

// HKEY_LOCAL_MACHINE: present only while version 1.0 is installed.
inline constexpr char Version1Key[] = "\\Software\\Tarnwick\\Lingora\\1.0";

// HKEY_CLASSES_ROOT: the ".wdl" file type and its verbs.
inline constexpr char Extension[] = ".wdl";
inline constexpr char ExtensionKey[] = "\\.wdl";
inline constexpr char FileTypeName[] = "Lingora.Wordlist";
inline constexpr char FileTypeKey[] = "\\Lingora.Wordlist";
inline constexpr char FileTypeDescription[] = "Lingora wordlist";
inline constexpr char DefaultIconKey[] = "\\Lingora.Wordlist\\DefaultIcon";
inline constexpr char ShellKey[] = "\\Lingora.Wordlist\\Shell";
inline constexpr char OpenVerb[] = "Open";
inline constexpr char OpenKey[] = "\\Lingora.Wordlist\\Shell\\Open";
inline constexpr char OpenCommandKey[] = "\\Lingora.Wordlist\\Shell\\Open\\command";
// The Dutch verb of older installations, removed with the earlier installation.
inline constexpr char OldOpenKey[] = "\\Lingora.Wordlist\\Shell\\Openen";
inline constexpr char OldOpenCommandKey[] = "\\Lingora.Wordlist\\Shell\\Openen\\command";

}  // namespace regnames
