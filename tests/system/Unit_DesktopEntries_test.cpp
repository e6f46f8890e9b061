// Which desktop entries the installation makes and removes, seen through a
// desktop that records the calls: the names come from the shortcut table and,
// for the removal, from the log, whose hostile names are skipped.
#include "system/Unit_DesktopEntries.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/Platform.h"

namespace {

class RecordingDesktop : public IDesktop {
  public:
    bool Enabled() override { return enabled; }
    void AddMenuEntry(const DesktopMenuEntry& entry) override {
        calls.push_back("add " + entry.folder + "|" + entry.name + "|" + entry.target + "|" +
                        entry.workingFolder);
        if (entry.name == failOn) throw Exception("Cannot write " + entry.name + ".desktop.");
    }
    void AddFileType(const DesktopFileType& type) override {
        calls.push_back("type " + type.extension + "|" + type.progId + "|" + type.comment + "|" +
                        type.appName);
    }
    void RemoveMenuEntry(const std::string& folder, const std::string& name) override {
        calls.push_back("remove " + folder + "|" + name);
        if (name == failOn) throw Exception("Cannot delete " + name + ".desktop");
    }
    void RemoveFileType(const std::string& extension) override {
        calls.push_back("untype " + extension);
    }
    void UpdateDatabases() override {
        calls.push_back("update");
        throw Exception("never reaches the caller");
    }

    bool enabled = true;
    std::string failOn;
    std::vector<std::string> calls;
};

class DesktopEntriesTest : public testing::Test {
  protected:
    RecordingDesktop desktop_;
    ScopedPlatform platform_{Platform{nullptr, nullptr, nullptr, nullptr, &desktop_}};
};

TEST_F(DesktopEntriesTest, AnEntryPerShortcutAndTheWordListType) {
    EXPECT_EQ(CreateDesktopEntries("C:\\Lingora", "Taal\\NL"), "");
    EXPECT_EQ(desktop_.calls,
              (std::vector<std::string>{
                  "add Taal\\NL|Lingora|C:\\Lingora\\Lingora.exe|C:\\Lingora",
                  "add Taal\\NL|Lingora Help|C:\\Lingora\\Lingohlp.hlp|C:\\Lingora",
                  "add Taal\\NL|Uninstall Lingora|C:\\Lingora\\Uninst.exe|C:\\Lingora",
                  "type .wdl|Lingora.Wordlist|Lingora wordlist|Lingora"}));
    EXPECT_NO_THROW(UpdateDesktopDatabases());
}

TEST_F(DesktopEntriesTest, SwitchedOffMakesNothing) {
    desktop_.enabled = false;
    EXPECT_EQ(CreateDesktopEntries("C:\\Lingora", "Lingora"), "");
    EXPECT_TRUE(desktop_.calls.empty());
}

TEST_F(DesktopEntriesTest, AFailureIsAWarningAndTheOtherEntriesAreStillMade) {
    desktop_.failOn = "Lingora Help";
    const std::string warning = CreateDesktopEntries("C:\\", "Lingora");
    EXPECT_EQ(warning,
              "Lingora's entries in the desktop's application menu could not all be written "
              "(Cannot write Lingora Help.desktop). The installation in Wine is complete.");
    EXPECT_EQ(desktop_.calls.size(), 4u);
    EXPECT_EQ(desktop_.calls[2], "add Lingora|Uninstall Lingora|C:\\Uninst.exe|C:\\");

    desktop_.calls.clear();
    EXPECT_EQ(RemoveDesktopEntries("Lingora", {"Lingora Help.lnk", "Lingora.lnk"}),
              "Lingora's entries in the desktop's application menu could not all be removed "
              "(Cannot delete Lingora Help.desktop).");
    EXPECT_EQ(desktop_.calls.size(), 3u);
}

TEST_F(DesktopEntriesTest, RemovalTakesTheLogsShortcutsAndSkipsWhatWouldLeaveTheFolder) {
    EXPECT_EQ(RemoveDesktopEntries("Tarnwick\\Lingora",
                                   {"Lingora.lnk", "Sub\\Other.LNK", "..\\..\\Evil.lnk",
                                    "C:\\Evil.lnk", "\\Evil.lnk", "Lingohlp.hlp", ".lnk"}),
              "");
    EXPECT_EQ(desktop_.calls,
              (std::vector<std::string>{"remove Tarnwick\\Lingora|Lingora",
                                        "remove Tarnwick\\Lingora\\Sub|Other", "untype .wdl"}));

    desktop_.calls.clear();
    RemoveDesktopEntries("", {"Lingora.lnk"});
    RemoveDesktopEntries("..\\Other", {"Lingora.lnk"});
    EXPECT_EQ(desktop_.calls,
              (std::vector<std::string>{"remove |Lingora", "untype .wdl", "untype .wdl"}));
}

}  // namespace
