#include "system/Unit_Shortcuts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "installlog/Unit_Logfile.h"
#include "installlog/Unit_Paths.h"
#include "platform/Exceptions.h"
#include "platform/Platform.h"
#include "tests/support/ShellLinkReader.h"
#include "tests/support/TempPrefix.h"

namespace {

namespace fs = std::filesystem;

constexpr char Header[] = "*** Don't change or delete this file ***\r\n\r\n{program folder}\r\n";

// A shell whose shell-link object can be replaced, and whose creation can fail.
class SwitchableShell : public ForwardingShell {
  public:
    using ForwardingShell::ForwardingShell;
    std::function<std::unique_ptr<IShellLinkObject>(IShell&)> create;
    std::unique_ptr<IShellLinkObject> CreateShellLink() override {
        return create ? create(Inner()) : Inner().CreateShellLink();
    }
};

// Passes everything to the real object but reports its calls.
class WatchedLinkObject : public IShellLinkObject, IPersistFile {
  public:
    WatchedLinkObject(std::unique_ptr<IShellLinkObject> inner,
                      std::function<void(const std::string&)> onSave)
        : inner_(std::move(inner)), onSave_(std::move(onSave)) {}
    IShellLink* QueryShellLink() override { return inner_->QueryShellLink(); }
    IPersistFile* QueryPersistFile() override { return this; }
    win::HRESULT Save(const std::string& fileName) override {
        onSave_(fileName);
        return inner_->QueryPersistFile()->Save(fileName);
    }

  private:
    std::unique_ptr<IShellLinkObject> inner_;
    std::function<void(const std::string&)> onSave_;
};

// A shell-link object that lacks one of its interfaces.
class PartialLinkObject : public IShellLinkObject {
  public:
    PartialLinkObject(std::unique_ptr<IShellLinkObject> inner, bool hasLink, bool hasPersist)
        : inner_(std::move(inner)), hasLink_(hasLink), hasPersist_(hasPersist) {}
    IShellLink* QueryShellLink() override { return hasLink_ ? inner_->QueryShellLink() : nullptr; }
    IPersistFile* QueryPersistFile() override {
        return hasPersist_ ? inner_->QueryPersistFile() : nullptr;
    }

  private:
    std::unique_ptr<IShellLinkObject> inner_;
    bool hasLink_, hasPersist_;
};

class ShortcutsTest : public TempPrefixTest {
  protected:
    // The installation folder with its log, as the wizard has them before copying.
    std::unique_ptr<TLogFile> OpenLog(const std::string& installFolder,
                                      const std::string& startMenuFolder) {
        Files().MakeSureDirectoryPathExists(JoinPath(installFolder, "Install.log"));
        return std::make_unique<TLogFile>(installFolder, startMenuFolder);
    }

    std::string Log(const std::string& installFolder) {
        return prefix_.ReadFile(JoinPath(installFolder, "Install.log"));
    }

    void ExpectLink(const std::string& linkFile, const std::string& target,
                    const std::string& workingFolder) {
        SCOPED_TRACE(linkFile);
        const std::optional<ShellLinkContent> link = ReadShellLink(prefix_.ReadFile(linkFile));
        ASSERT_TRUE(link.has_value());
        EXPECT_EQ(link->target, target);
        EXPECT_EQ(link->workingFolder, workingFolder);
    }

    bool Exists(const std::string& windowsPath) {
        return fs::exists(prefix_.HostPath(windowsPath));
    }
};

TEST_F(ShortcutsTest, NewTwoLevelFolderHoldsTheThreeLinksThatTheLogNames) {
    const std::string folder = "C:\\Program Files\\Lingora";
    const std::string shortcuts = prefix_.ProgramsFolder() + "\\Tarnwick\\Lingora";
    ASSERT_FALSE(Exists(prefix_.ProgramsFolder() + "\\Tarnwick"));

    auto log = OpenLog(folder, "Tarnwick\\Lingora");
    CreateShortcuts(folder, "Tarnwick\\Lingora", *log);
    log->Close();

    ExpectLink(shortcuts + "\\Lingora.lnk", folder + "\\Lingora.exe", folder);
    ExpectLink(shortcuts + "\\Lingora Help.lnk", folder + "\\Lingohlp.hlp", folder);
    ExpectLink(shortcuts + "\\Uninstall Lingora.lnk", folder + "\\Uninst.exe", folder);
    EXPECT_EQ(Log(folder), std::string(Header) +
                               "Tarnwick\\Lingora\r\n\r\n{program folder files}\r\n"
                               "Lingora.lnk\r\nLingora Help.lnk\r\nUninstall Lingora.lnk\r\n\r\n");
}

TEST_F(ShortcutsTest, EmptyStartMenuFolderPutsTheLinksIntoThePrograms) {
    const std::string folder = "C:\\Lingora";
    auto log = OpenLog(folder, "");
    CreateShortcuts(folder, "", *log);
    ExpectLink(prefix_.ProgramsFolder() + "\\Lingora.lnk", "C:\\Lingora\\Lingora.exe", folder);
    ExpectLink(prefix_.ProgramsFolder() + "\\Uninstall Lingora.lnk", "C:\\Lingora\\Uninst.exe",
               folder);
}

// A shell that cannot name the Programs folder.
class NoProgramsShell : public ForwardingShell {
  public:
    using ForwardingShell::ForwardingShell;
    std::optional<std::string> GetSpecialFolderPath(int) override { return std::nullopt; }
};

TEST_F(ShortcutsTest, UnknownProgramsFolderSavesNothingBesideTheVolumes) {
    const std::string folder = "C:\\Lingora";
    auto log = OpenLog(folder, "Lingora");
    TempFolder volumes;
    const auto cwd = prefix_.ChangeDirectory(volumes.Path());
    NoProgramsShell shell(prefix_.Machine().Shell());
    Platform platform = CurrentPlatform();
    platform.shell = &shell;
    ScopedPlatform installed(platform);

    EXPECT_THROW(CreateShortcuts(folder, "Lingora", *log), Exception);
    EXPECT_TRUE(fs::is_empty(volumes.Path()));
    log->Close();
    EXPECT_TRUE(Log(folder).ends_with("{program folder files}\r\n\r\n"));
}

TEST_F(ShortcutsTest, DriveRootGivesSingleBackslashes) {
    auto log = OpenLog("C:\\", "Lingora");
    CreateShortcuts("C:\\", "Lingora", *log);
    const std::string shortcuts = prefix_.ProgramsFolder() + "\\Lingora";
    ExpectLink(shortcuts + "\\Lingora.lnk", "C:\\Lingora.exe", "C:\\");
    ExpectLink(shortcuts + "\\Lingora Help.lnk", "C:\\Lingohlp.hlp", "C:\\");
    ExpectLink(shortcuts + "\\Uninstall Lingora.lnk", "C:\\Uninst.exe", "C:\\");
}

TEST_F(ShortcutsTest, AnsiFolderNamesReachTheLink) {
    const std::string folder =
        "C:\\Programme\\W\xF6rterb\xFC"
        "cher";  // Wörterbücher
    auto log = OpenLog(folder, "Sprachen \xE9t\xE9");
    CreateShortcuts(folder, "Sprachen \xE9t\xE9", *log);
    ExpectLink(prefix_.ProgramsFolder() + "\\Sprachen \xE9t\xE9\\Lingora.lnk",
               folder + "\\Lingora.exe", folder);
}

TEST_F(ShortcutsTest, EachNameIsLoggedBeforeItsLinkIsSavedIntoAnExistingFolder) {
    SwitchableShell shell(Shell());
    Platform platform = CurrentPlatform();
    platform.shell = &shell;
    ScopedPlatform watched(platform);

    const std::string folder = "C:\\Lingora";
    std::vector<std::string> saved;
    shell.create = [&](IShell& inner) {
        return std::make_unique<WatchedLinkObject>(
            inner.CreateShellLink(), [&](const std::string& fileName) {
                const std::string name = fileName.substr(fileName.rfind('\\') + 1);
                const std::string log = Log(folder);
                EXPECT_EQ(log.substr(log.size() - name.size() - 2), name + "\r\n");
                EXPECT_TRUE(
                    fs::is_directory(prefix_.HostPath(fileName.substr(0, fileName.rfind('\\')))));
                saved.push_back(name);
            });
    };
    auto log = OpenLog(folder, "A\\B\\C");
    CreateShortcuts(folder, "A\\B\\C", *log);
    EXPECT_EQ(saved, (std::vector<std::string>{"Lingora.lnk", "Lingora Help.lnk",
                                               "Uninstall Lingora.lnk"}));
}

TEST_F(ShortcutsTest, FailingObjectCreationStopsAfterTheSectionLine) {
    SwitchableShell shell(Shell());
    Platform platform = CurrentPlatform();
    platform.shell = &shell;
    ScopedPlatform failing(platform);
    shell.create = [](IShell&) -> std::unique_ptr<IShellLinkObject> {
        throw EOleSysError(win::REGDB_E_CLASSNOTREG);
    };

    const std::string folder = "C:\\Lingora";
    auto log = OpenLog(folder, "Lingora");
    try {
        CreateShortcuts(folder, "Lingora", *log);
        FAIL() << "no error";
    } catch (const EOleSysError& error) {
        EXPECT_EQ(error.ErrorCode(), win::REGDB_E_CLASSNOTREG);
    }
    // The message without a system text gives the code in lower-case hex.
    EXPECT_STREQ(EOleSysError(win::CO_E_NOTINITIALIZED).what(), "OLE error 800401f0");
    log->Close();
    EXPECT_EQ(Log(folder), std::string(Header) + "Lingora\r\n\r\n{program folder files}\r\n\r\n");
    EXPECT_FALSE(Exists(prefix_.ProgramsFolder() + "\\Lingora"));
}

TEST_F(ShortcutsTest, MissingInterfaceIsReportedBeforeAnyLink) {
    SwitchableShell shell(Shell());
    Platform platform = CurrentPlatform();
    platform.shell = &shell;
    ScopedPlatform partial(platform);

    const std::string folder = "C:\\Lingora";
    for (const bool hasLink : {false, true}) {
        SCOPED_TRACE(hasLink ? "without IPersistFile" : "without IShellLinkA");
        shell.create = [&](IShell& inner) {
            return std::make_unique<PartialLinkObject>(inner.CreateShellLink(), hasLink, !hasLink);
        };
        auto log = OpenLog(folder, "Lingora");
        try {
            CreateShortcuts(folder, "Lingora", *log);
            FAIL() << "no error";
        } catch (const EIntfCastError& error) {
            EXPECT_STREQ(error.what(), "Interface not supported");
        }
        log->Close();
        EXPECT_EQ(Log(folder),
                  std::string(Header) + "Lingora\r\n\r\n{program folder files}\r\n\r\n");
        EXPECT_FALSE(Exists(prefix_.ProgramsFolder() + "\\Lingora"));
    }
}

}  // namespace
