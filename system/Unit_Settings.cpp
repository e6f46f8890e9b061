#include "system/Unit_Settings.h"

#include "installlog/Unit_Paths.h"
#include "platform/TRegistry.h"
#include "system/RegistryNames.h"

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

}  // namespace

void WriteRegistryEntries(const std::string& installFolder) {
    // The destructor closes whatever key an error leaves open.
    TRegistry registry;

    registry.SetRootKey(RootKey::LocalMachine);
    registry.OpenKey(UninstallKey, true);
    registry.WriteString(DisplayNameValue, "Lingora");
    // The bare path: the next setup takes the folder before its last backslash.
    registry.WriteString(UninstallStringValue, JoinPath(installFolder, "Uninst.exe"));
    registry.CloseKey();

    registry.SetRootKey(RootKey::ClassesRoot);
    WriteDefaultValue(registry, ExtensionKey, FileTypeName);
    WriteDefaultValue(registry, FileTypeKey, "Lingora wordlist");
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
