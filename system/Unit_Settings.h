// The registry entries of the installed program: its uninstall entry and the
// ".wdl" file type bound to "Lingora.exe", written by the installation and
// removed again by the command-line removal.
#pragma once

#include <string>

// Writes, in this order, under HKEY_LOCAL_MACHINE the uninstall entry
// (DisplayName, UninstallString = the bare path of Uninst.exe) and under
// HKEY_CLASSES_ROOT ".wdl", "Lingora.Wordlist" with its DefaultIcon, Shell,
// Shell\Open and Shell\Open\command keys. Every value is a REG_SZ.
//
// A value that cannot be written raises ERegistryException "Failed to set data
// for '%s'" naming the value (empty for a default value); the values written
// before stay, no later one is written, and no key is left open.
void WriteRegistryEntries(const std::string& installFolder);

// Removes what WriteRegistryEntries wrote, and only what is still ours:
//   1. HKEY_LOCAL_MACHINE: the DisplayName and UninstallString values of the
//      uninstall entry, then its key if it is empty now, then the list of
//      uninstall entries ("...\CurrentVersion\Uninstall") if it is empty now.
//      CurrentVersion and the keys above it always stay.
//   2. HKEY_CLASSES_ROOT ".wdl": its default value only while it is still a
//      text naming "Lingora.Wordlist" (compared without regard to case; another
//      program may have taken the extension over), then the key if it is empty
//      now.
//   3. HKEY_CLASSES_ROOT "Lingora.Wordlist", from the inside outwards: the
//      default value of Shell\Open\command and the key, Shell\Open, the default
//      value of Shell and the key, the default value of DefaultIcon and the key,
//      the default value of the type and its key; each key only if it is empty
//      once its own value went. Other verbs, values and subkeys stay, and with
//      them the keys that hold them.
// Keys and values that are missing are passed over. Failed deletions are
// ignored and never raise: on a registry that refuses changes nothing changes.
// No key is created and none is left open; the root keys stay, HKEY_CLASSES_ROOT
// too where the file type was all it held.
void RemoveRegistryEntries();
