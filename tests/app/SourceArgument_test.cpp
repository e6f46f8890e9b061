// The volume set named on the command line ("lingora-setup PATH"): which paths
// name a set's folder, and that everything else is refused with its reason.
#include "app/SourceArgument.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;

namespace {

class SourceArgumentTest : public TempFolderTest {
  protected:
    // The folder PATH names, or "refused: <reason>".
    std::string Named(const std::string& path) {
        const TSourceArgument named = SourceFolderOf(path);
        EXPECT_TRUE(named.Folder.empty() != named.Error.empty()) << path;
        return named.Error.empty() ? named.Folder.string() : "refused: " + named.Error;
    }
    std::string Folder(const std::string& relative) { return (temp_.Path() / relative).string(); }
};

TEST_F(SourceArgumentTest, AVolumeNamesItsFolderAndAFolderItself) {
    temp_.WriteFile("disk 1/Setup.d01", "volume 1");
    temp_.WriteFile("disk 1/Setup.d02", "volume 2");
    temp_.WriteFile("disk 1/Setup.sum", "digests");
    const std::string disk = Folder("disk 1");

    EXPECT_EQ(Named(disk + "/Setup.d01"), disk);
    EXPECT_EQ(Named(disk + "/Setup.d02"), disk);  // a later volume beside the first
    EXPECT_EQ(Named(disk), disk);
    EXPECT_EQ(Named(disk + "/"), disk);
    EXPECT_EQ(Named(disk + "/./"), disk);
    // A relative path is taken from the current folder and given as absolute:
    // the wizard must find the set wherever its own current folder is.
    const fs::path before = fs::current_path();
    fs::current_path(temp_.Path());
    EXPECT_EQ(Named("disk 1/Setup.d01"), disk);
    EXPECT_EQ(Named("disk 1"), disk);
    fs::current_path(disk);
    EXPECT_EQ(Named("Setup.d01"), disk);
    EXPECT_EQ(Named("."), disk);
    fs::current_path(before);

    // A disk without long names shows them in capitals; Setup finds its
    // volumes whatever their case, and so does the argument.
    temp_.WriteFile("CDROM/SETUP.D01", "volume 1");
    EXPECT_EQ(Named(Folder("CDROM")), Folder("CDROM"));
    EXPECT_EQ(Named(Folder("CDROM/SETUP.D01")), Folder("CDROM"));
    // A link to the first volume is the volume.
    fs::create_directory(temp_.Path() / "links");
    fs::create_symlink(disk + "/Setup.d01", temp_.Path() / "links" / "Setup.d01");
    EXPECT_EQ(Named(Folder("links")), Folder("links"));
}

TEST_F(SourceArgumentTest, AnythingElseIsRefusedWithItsReason) {
    temp_.WriteFile("disk 2/Setup.d02", "volume 2");
    temp_.WriteFile("set/Setup.d01", "volume 1");
    for (const char* name : {"Setup.d1", "Setup.d001", "Setup.d00", "Setup.d256", "Setup.d01.bak",
                             "MySetup.d01", "Setup.exe", "Install.log"})
        temp_.WriteFile(std::string("set/") + name, "other");
    temp_.WriteFile("empty/readme.txt", "no volumes here");
    fs::create_directories(temp_.Path() / "folder named/Setup.d01");

    const auto refused = [&](const std::string& path, const std::string& reason) {
        const std::string named = Named(path);
        EXPECT_EQ(named.rfind("refused: ", 0), 0u) << path << " -> " << named;
        EXPECT_NE(named.find(reason), std::string::npos) << path << " -> " << named;
    };
    refused(Folder("nowhere/Setup.d01"), "'" + Folder("nowhere/Setup.d01") + "' does not exist");
    refused("", "does not exist");
    for (const char* name : {"Setup.d1", "Setup.d001", "Setup.d00", "Setup.d256", "Setup.d01.bak",
                             "MySetup.d01", "Setup.exe", "Install.log"})
        refused(Folder(std::string("set/") + name), "is not a volume of a set");
    refused(Folder("empty"), "'" + Folder("empty") + "' holds no Setup.d01");
    // A later disk on its own: the copying starts at the first.
    refused(Folder("disk 2/Setup.d02"), "its folder holds no Setup.d01");
    refused(Folder("disk 2"), "holds no Setup.d01");
    // A folder of the first volume's name is no volume, and holds none.
    refused(Folder("folder named/Setup.d01"), "holds no Setup.d01");
    refused(Folder("folder named"), "holds no Setup.d01");
    // Not a plain file.
    ASSERT_EQ(::mkfifo((temp_.Path() / "set/Setup.d03").c_str(), 0600), 0);
    refused(Folder("set/Setup.d03"), "is not a volume of a set");
    refused("/dev/null", "is not a volume of a set");

    // A first volume that cannot be read would fail only once copying starts.
    if (::geteuid() != 0) {
        fs::permissions(temp_.Path() / "set/Setup.d01", fs::perms::none);
        refused(Folder("set"), "cannot read '" + Folder("set/Setup.d01") + "'");
        fs::permissions(temp_.Path() / "set/Setup.d01", fs::perms::owner_all);
    }
    EXPECT_EQ(Named(Folder("set")), Folder("set"));
}

}  // namespace

namespace {

// "..", as the shell's cd -P takes it: the folder above where a link leads.
TEST_F(SourceArgumentTest, TwoDotsAreResolvedThroughTheFileSystem) {
    temp_.WriteFile("media/cd/setup/Setup.d01", "volume 1");
    temp_.WriteFile("home/anna/x", "");
    fs::create_symlink(temp_.Path() / "media" / "cd" / "setup", temp_.Path() / "home/anna/cd");
    const std::string real = fs::canonical(temp_.Path()).string();
    EXPECT_EQ(ResolveFolder(Folder("home/anna/cd/../setup")), real + "/media/cd/setup");
    EXPECT_EQ(Named(Folder("home/anna/cd/../setup/Setup.d01")), real + "/media/cd/setup");
    // Without a link, and past a name that does not exist, by the text.
    EXPECT_EQ(ResolveFolder(Folder("home/anna/../anna")), real + "/home/anna");
    EXPECT_EQ(ResolveFolder(Folder("home/none/../anna")), Folder("home/anna"));
}

// One resolution for the whole run: from the home folder, a volume named on the
// disk names the disk's folder; --source options win, each resolved.
TEST_F(SourceArgumentTest, TheRunsSourcesComeFromTheArgumentsOnce) {
    temp_.WriteFile("media/cd/Setup.d01", "volume 1");
    fs::create_directories(temp_.Path() / "home");
    const std::string real = fs::canonical(temp_.Path()).string();
    const fs::path before = fs::current_path();
    fs::current_path(temp_.Path() / "home");
    const auto sources = [](std::vector<std::string> arguments) {
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        return RunSources(static_cast<int>(argv.size()), argv.data());
    };
    const std::string volume = Folder("media/cd/Setup.d01");
    EXPECT_EQ(sources({"lingora-setup", volume}), std::vector<std::string>{Folder("media/cd")});
    EXPECT_EQ(sources({"lingora-setup", "--unattended", "--dir", "C:\\x", "--log", "run.log",
                       "--answers", "a.ini", volume}),
              std::vector<std::string>{Folder("media/cd")});
    EXPECT_EQ(sources({"lingora-setup", "--source", "../media/cd", "--source=."}),
              (std::vector<std::string>{real + "/media/cd", real + "/home"}));
    EXPECT_EQ(sources({"lingora-setup"}), std::vector<std::string>{real + "/home"});
    fs::current_path(before);
}

}  // namespace
