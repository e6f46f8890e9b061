#include "system/Unit_Settings.h"

#include <string>

#include "installlog/Unit_Paths.h"
#include "installlog/Unit_Uninstall.h"
#include "platform/Exceptions.h"
#include "platform/TRegistry.h"
#include "platform/WindowsNames.h"
#include "registrynames/RegistryNames.h"

namespace {

using namespace regnames;

// Creates or opens the key, writes its default value and closes it again. The
// result of the creation is not looked at: with no key open the write fails and
// says so.
void WriteDefaultValue(TRegistry& registry, const char* key, const std::string& text) {
    registry.OpenKey(key, true);
    registry.WriteString("", text);
    registry.CloseKey();
}

// The key that holds the given one: its path up to the last backslash.
std::string ParentKey(const std::string& key) { return key.substr(0, key.rfind('\\')); }

// Whether the open key's default value is a text naming the file type. Type
// names compare as key names do, without regard to case; a value of another
// type names nothing.
bool DefaultValueNamesFileType(TRegistry& registry) {
    if (!registry.ValueExists("")) return false;
    try {
        return SameNameIgnoringCase(registry.ReadString(""), FileTypeName);
    } catch (const ERegistryException&) {
        return false;
    }
}

}  // namespace

void WriteRegistryEntries(const std::string& installFolder) {
    // The destructor closes whatever key an error leaves open.
    TRegistry registry;

    registry.SetRootKey(RootKey::LocalMachine);
    registry.OpenKey(UninstallKey, true);
    registry.WriteString(DisplayNameValue, DisplayName);
    // The bare path: the next setup takes the folder before its last backslash.
    registry.WriteString(UninstallStringValue, JoinPath(installFolder, "Uninst.exe"));
    registry.CloseKey();

    registry.SetRootKey(RootKey::ClassesRoot);
    WriteDefaultValue(registry, ExtensionKey, FileTypeName);
    WriteDefaultValue(registry, FileTypeKey, FileTypeDescription);
    // Icon index 1: the second icon of the program, the document icon.
    WriteDefaultValue(registry, DefaultIconKey, JoinPath(installFolder, "Lingora.exe") + ",1");
    WriteDefaultValue(registry, ShellKey, OpenVerb);
    // The verb key holds no value of its own; a failure to create it goes
    // unnoticed because the command key below creates it anyway.
    registry.OpenKey(OpenKey, true);
    registry.CloseKey();
    // Only the placeholder is quoted; the program path stands as it is.
    WriteDefaultValue(registry, OpenCommandKey, JoinPath(installFolder, "Lingora.exe") + " \"%1\"");
}

void RemoveRegistryEntries() {
    // Deletions report failure by their results, which are not looked at; the
    // destructor closes whatever key is open at the end.
    TRegistry registry;

    registry.SetRootKey(RootKey::LocalMachine);
    if (registry.OpenKey(UninstallKey, false)) {
        registry.DeleteValue(DisplayNameValue);
        registry.DeleteValue(UninstallStringValue);
        registry.CloseKey();
    }
    DeleteKeyIfEmpty(registry, UninstallKey);
    // The list of uninstall entries, and nothing above it: CurrentVersion is
    // the machine's.
    DeleteKeyIfEmpty(registry, ParentKey(UninstallKey));

    registry.SetRootKey(RootKey::ClassesRoot);
    if (registry.OpenKey(ExtensionKey, false)) {
        if (DefaultValueNamesFileType(registry)) registry.DeleteValue("");
        registry.CloseKey();
    }
    DeleteKeyIfEmpty(registry, ExtensionKey);

    DeleteDefaultValueAndKeyIfEmpty(registry, OpenCommandKey);
    DeleteKeyIfEmpty(registry, OpenKey);
    DeleteDefaultValueAndKeyIfEmpty(registry, ShellKey);
    DeleteDefaultValueAndKeyIfEmpty(registry, DefaultIconKey);
    DeleteDefaultValueAndKeyIfEmpty(registry, FileTypeKey);
}
