// The search for the disks of a set, on a machine made of a fake mount table and
// a map of the folders that hold volumes and digest files.
#include "volumes/DiskSearch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <utility>

#include "volumes/VolumeFormat.h"

namespace {

using disks::TDiskSearch;

constexpr char kSet[] = "5f0c2e8d9a4b17c3e6f01a2b3c4d5e6f";
constexpr char kOtherSet[] = "00000000000000000000000000000001";

// Folders with the volumes they hold and the set their digest file names.
struct FakeMachine {
    std::vector<MountPoint> mounts = {"/", "/home", "/tmp"};
    std::map<std::string, std::set<int>> volumes;
    std::map<std::string, std::string> identities;
    std::vector<std::string> probed;  // every folder asked for a volume, in order
    std::mutex probing;               // the looks run on workers
    // Folders below this one never answer until the gate opens (a hung mount).
    std::string hung = "/never";
    struct Gate {
        std::mutex mutex;
        std::condition_variable opened;
        bool open = false;
    };
    std::shared_ptr<Gate> gate = std::make_shared<Gate>();
    ~FakeMachine() { Open(); }
    void Open() {
        {
            const std::lock_guard<std::mutex> lock(gate->mutex);
            gate->open = true;
        }
        gate->opened.notify_all();
    }
    std::vector<std::string> Probed() {
        const std::lock_guard<std::mutex> lock(probing);
        return probed;
    }

    void Disk(const std::string& folder, std::set<int> numbers,
              const std::string& identity = kSet) {
        volumes[folder] = std::move(numbers);
        if (!identity.empty()) identities[folder] = identity;
    }
    disks::DiskProbe Probe() {
        disks::DiskProbe probe;
        probe.holdsVolume = [this, gate = gate, hung = hung](const std::string& folder,
                                                             int number) {
            if (folder.rfind(hung, 0) == 0) {
                // Held in the "kernel" until the test ends; touches nothing of it then.
                std::unique_lock<std::mutex> lock(gate->mutex);
                gate->opened.wait(lock, [&] { return gate->open; });
                return false;
            }
            const std::lock_guard<std::mutex> lock(probing);
            probed.push_back(folder);
            const auto found = volumes.find(folder);
            return found != volumes.end() && found->second.count(number) != 0;
        };
        probe.setIdentity = [this](const std::string& folder) -> std::optional<std::string> {
            const auto found = identities.find(folder);
            if (found == identities.end()) return std::nullopt;
            return found->second;
        };
        probe.mounts = [this] { return mounts; };
        return probe;
    }
};

TEST(MountTable, AFolderIsPlacedInsideTheDeepestMountThatHoldsIt) {
    const std::vector<MountPoint> mounts = {"/", "/media", "/media/anna/LINGORA_1"};
    EXPECT_EQ(disks::MountOf("/media/anna/LINGORA_1/setup", mounts), "/media/anna/LINGORA_1");
    EXPECT_EQ(disks::RelativeToMount("/media/anna/LINGORA_1/setup", mounts), "setup");
    EXPECT_EQ(disks::RelativeToMount("/media/anna/LINGORA_1", mounts), "");
    // A prefix of a name is no parent: LINGORA_10 is not inside LINGORA_1.
    EXPECT_EQ(disks::MountOf("/media/anna/LINGORA_10/setup", mounts), "/media");
    EXPECT_EQ(disks::RelativeToMount("/home/anna/x", mounts), "home/anna/x");
    EXPECT_EQ(disks::NormalFolder("/media//anna/./x/../LINGORA_1/"), "/media/anna/LINGORA_1");
}

TEST(SiblingNames, DifferOnlyInTheNumber) {
    EXPECT_EQ(disks::SiblingNames("Disk1", 2), (std::vector<std::string>{"Disk2"}));
    EXPECT_EQ(disks::SiblingNames("DISK1", 12), (std::vector<std::string>{"DISK12"}));
    EXPECT_EQ(disks::SiblingNames("disk_1", 3), (std::vector<std::string>{"disk_3"}));
    EXPECT_EQ(disks::SiblingNames("CD01", 2), (std::vector<std::string>{"CD02", "CD2"}));
    EXPECT_EQ(disks::SiblingNames("Lingora2-cd1.d", 2),
              (std::vector<std::string>{"Lingora2-cd2.d"}));
    EXPECT_TRUE(disks::SiblingNames("setup", 2).empty());
    EXPECT_TRUE(disks::SiblingNames("Disk2", 2).empty());
}

TEST(DiskSearch, LooksInTheLastFolderThenTheSourcesThenSiblingsThenMountsThenChosen) {
    FakeMachine machine;
    machine.mounts = {"/", "/media/anna/LINGORA_1", "/media/anna/LINGORA_2", "/mnt/cd"};
    TDiskSearch search(machine.Probe());
    search.Start({"/home/anna/in", "/media/anna/LINGORA_1/setup/Disk1"});
    search.FirstDiskFound("/media/anna/LINGORA_1/setup/Disk1", kSet);
    search.AddFolder("/home/anna/chosen");
    EXPECT_EQ(search.Folders(2),
              (std::vector<std::string>{"/media/anna/LINGORA_1/setup/Disk1", "/home/anna/in",
                                        "/media/anna/LINGORA_1/setup/Disk2",
                                        "/media/anna/LINGORA_2/setup/Disk1", "/mnt/cd/setup/Disk1",
                                        "/home/anna/chosen"}));
    // The folder of the disk found last goes first for the next.
    search.DiskFound("/mnt/cd/setup/Disk1");
    EXPECT_EQ(search.Folders(3).front(), "/mnt/cd/setup/Disk1");
}

TEST(DiskSearch, TheDiskAtItsOwnLabelIsFoundOnlyWhenItsDigestFileNamesTheSet) {
    FakeMachine machine;
    machine.mounts = {"/", "/media/anna/LINGORA_1", "/media/anna/OTHER_2", "/media/anna/LINGORA_2"};
    machine.Disk("/media/anna/LINGORA_1/setup", {1}, kSet);
    machine.Disk("/media/anna/OTHER_2/setup", {2}, kOtherSet);
    TDiskSearch search(machine.Probe());
    search.Start({"/media/anna/LINGORA_1/setup"});
    search.FirstDiskFound("/media/anna/LINGORA_1/setup", kSet);
    EXPECT_EQ(search.Find(2), std::nullopt);  // another set's disk 2 is not taken

    machine.Disk("/media/anna/LINGORA_2/setup", {2}, "");  // no digest file beside it
    EXPECT_EQ(search.Find(2), std::nullopt);
    machine.identities["/media/anna/LINGORA_2/setup"] = kSet;
    EXPECT_EQ(search.Find(2), "/media/anna/LINGORA_2/setup");
}

TEST(DiskSearch, ASetWithoutADigestFileIsLookedForOnlyWhereItWasAndWhereChosen) {
    FakeMachine machine;
    machine.mounts = {"/", "/media/anna/LINGORA_1", "/media/anna/LINGORA_2"};
    machine.Disk("/media/anna/LINGORA_2/setup", {2}, "");
    machine.Disk("/media/anna/Disk2", {2}, "");
    TDiskSearch search(machine.Probe());
    search.Start({"/media/anna/LINGORA_1/setup"});
    search.FirstDiskFound("/media/anna/LINGORA_1/setup", "");
    EXPECT_EQ(search.Folders(2), (std::vector<std::string>{"/media/anna/LINGORA_1/setup"}));
    EXPECT_EQ(search.Find(2), std::nullopt);
    // The disks changed in one mount point: found where the last one was.
    machine.Disk("/media/anna/LINGORA_1/setup", {2}, "");
    EXPECT_EQ(search.Find(2), "/media/anna/LINGORA_1/setup");
    machine.volumes.erase("/media/anna/LINGORA_1/setup");
    search.AddFolder("/media/anna/LINGORA_2/setup/");
    EXPECT_EQ(search.Find(2), "/media/anna/LINGORA_2/setup");
}

TEST(DiskSearch, ADownloadFolderOnTheRootFileSystemFindsItsSiblingsButNoOtherMounts) {
    FakeMachine machine;
    machine.mounts = {"/", "/tmp", "/media/anna/STICK"};
    machine.Disk("/home/anna/Lingora/DISK1", {1});
    machine.Disk("/home/anna/Lingora/DISK2", {2});
    TDiskSearch search(machine.Probe());
    search.Start({"/home/anna/Lingora/DISK1"});
    search.FirstDiskFound("/home/anna/Lingora/DISK1", kSet);
    EXPECT_EQ(search.Find(2), "/home/anna/Lingora/DISK2");
    EXPECT_EQ(search.Folders(3),
              (std::vector<std::string>{"/home/anna/Lingora/DISK1", "/home/anna/Lingora/DISK3"}));
}

// Disk 1 as the search finds it before the run, from these sources.
std::optional<std::string> First(FakeMachine& machine, const std::vector<std::string>& sources) {
    TDiskSearch search(machine.Probe());
    search.Start(sources);
    return search.FindFirst();
}

TEST(FirstDisk, TheSourceFirstThenTheOnlyDiskMountedBelowMediaOrMnt) {
    FakeMachine machine;
    machine.mounts = {"/", "/home", "/media/anna/LINGORA_1", "/run/media/bo/X", "/srv/disk"};
    machine.Disk("/srv/disk", {1});  // not where removable disks are mounted
    EXPECT_EQ(First(machine, {"/home/anna"}), std::nullopt);
    machine.Disk("/media/anna/LINGORA_1", {1});
    EXPECT_EQ(First(machine, {"/home/anna"}), "/media/anna/LINGORA_1");
    // The source's own relative folder on each disk.
    machine.volumes.clear();
    machine.Disk("/run/media/bo/X/setup", {1});
    EXPECT_EQ(First(machine, {"/media/anna/LINGORA_1/setup"}), "/run/media/bo/X/setup");
    // Two disks 1: which one is meant cannot be told.
    machine.Disk("/media/anna/LINGORA_1", {1});
    machine.Disk("/run/media/bo/X", {1});
    EXPECT_EQ(First(machine, {"/home/anna"}), std::nullopt);
    // A source that holds it wins over them.
    machine.Disk("/home/anna", {1});
    EXPECT_EQ(First(machine, {"/tmp/none", "/home/anna"}), "/home/anna");
}

TEST(DiskSearch, AMountThatDoesNotAnswerIsPassedOverWithinTheLimitForTheRestOfTheRunAndNamed) {
    using Clock = std::chrono::steady_clock;
    FakeMachine machine;
    machine.mounts = {"/", "/media/anna/LINGORA_1", "/media/anna/HUNG", "/media/anna/LINGORA_2"};
    machine.hung = "/media/anna/HUNG";
    machine.Disk("/media/anna/LINGORA_1/setup", {1});
    machine.Disk("/media/anna/LINGORA_2/setup", {2});
    const auto limit = std::chrono::milliseconds(300);
    TDiskSearch search(machine.Probe(), limit);
    search.Start({"/media/anna/LINGORA_1/setup"});
    search.FirstDiskFound("/media/anna/LINGORA_1/setup", kSet);
    Clock::time_point start = Clock::now();
    EXPECT_EQ(search.Find(2), "/media/anna/LINGORA_2/setup");
    EXPECT_LT(Clock::now() - start, limit + std::chrono::milliseconds(250));
    EXPECT_EQ(search.Unanswered(), std::vector<std::string>{"/media/anna/HUNG"});
    // Not waited for again, whichever folder of it is asked for.
    search.AddFolder("/media/anna/HUNG/elsewhere");
    start = Clock::now();
    EXPECT_EQ(search.Find(3), std::nullopt);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_NE(search.Searched(3).find("/media/anna/HUNG did not answer and was passed over"),
              std::string::npos)
        << search.Searched(3);
}

TEST(DiskSearch, AWaitThatTheCallerStopsEndsAtOnceWithoutPassingTheMountOver) {
    FakeMachine machine;
    machine.mounts = {"/", "/media/anna/HUNG"};
    machine.hung = "/media/anna/HUNG";
    TDiskSearch search(machine.Probe(), std::chrono::milliseconds(5000));
    search.Start({"/media/anna/HUNG/setup"});
    int asked = 0;
    disks::WhileProbing = [&asked] { return ++asked == 3; };
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(search.FindFirst(), std::nullopt);
    disks::WhileProbing = nullptr;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
    EXPECT_EQ(asked, 3);
    EXPECT_TRUE(search.Unanswered().empty());
}

TEST(DiskSearch, PseudoAndAutomountedFileSystemsAreNeverLookedIntoAndNetworkSharesLast) {
    FakeMachine machine;
    machine.mounts = {{"/", "ext4"},
                      {"/media/anna/LINGORA_1", "iso9660"},
                      {"/proc", "proc"},
                      {"/media/net", "fuse.sshfs"},
                      {"/media/auto", "autofs"},
                      {"/media/cg", "cgroup2"},
                      {"/media/anna/STICK", "vfat"}};
    TDiskSearch search(machine.Probe());
    search.Start({"/media/anna/LINGORA_1"});
    search.FirstDiskFound("/media/anna/LINGORA_1", kSet);
    EXPECT_EQ(search.Find(2), std::nullopt);
    // The sibling folder, then the mounts; the network share last.
    EXPECT_EQ(machine.Probed(),
              (std::vector<std::string>{"/media/anna/LINGORA_1", "/media/anna/LINGORA_2",
                                        "/media/anna/STICK", "/media/net"}));
    EXPECT_EQ(First(machine, {"/home/anna"}), std::nullopt);
    const std::vector<std::string> probed = machine.Probed();
    EXPECT_EQ(std::vector<std::string>(probed.begin() + 4, probed.end()),
              (std::vector<std::string>{"/home/anna", "/media/anna/LINGORA_1",
                                        "/media/anna/LINGORA_1/home/anna", "/media/anna/STICK",
                                        "/media/anna/STICK/home/anna", "/media/net",
                                        "/media/net/home/anna"}));
}

TEST(DiskSearch, TheMissingDiskIsReportedInShortWithEveryFolderReadable) {
    FakeMachine machine;
    machine.mounts = {"/", "/media/anna/LINGORA_1"};
    machine.mounts.push_back(std::string("/media/anna/tab") + '\t' + "there");
    machine.mounts.push_back(std::string("/media/anna/new") + '\n' + "line\xff");
    for (int i = 0; i < 500; ++i) machine.mounts.push_back("/media/m" + std::to_string(i));
    TDiskSearch search(machine.Probe());
    search.Start({"/home/anna/Disk1"});
    search.FirstDiskFound("/media/anna/LINGORA_1/Disk1", kSet);
    const std::string text = search.Searched(2);
    EXPECT_EQ(text,
              "/media/anna/LINGORA_1/Disk1, /home/anna/Disk1, /media/anna/LINGORA_1/Disk2 and "
              "502 mounted file systems (/media/anna/tab\\tthere/Disk1, "
              "/media/anna/new\\nline\\xff/Disk1, /media/m0/Disk1 and 499 more)");
}

TEST(VolumeNames, MatchInAnyCaseWithAnIso9660VersionOrNone) {
    EXPECT_TRUE(volume::NamesFile("Setup.d01", "Setup.d01"));
    EXPECT_TRUE(volume::NamesFile("SETUP.D01;1", "Setup.d01"));
    EXPECT_TRUE(volume::NamesFile("setup.sum;12", "Setup.sum"));
    EXPECT_FALSE(volume::NamesFile("Setup.d01;", "Setup.d01"));
    EXPECT_FALSE(volume::NamesFile("Setup.d01;x", "Setup.d01"));
    EXPECT_FALSE(volume::NamesFile("Setup.d011", "Setup.d01"));
    EXPECT_FALSE(volume::NamesFile("Setup.d0", "Setup.d01"));
}

TEST(ReadableFolder, EscapesControlCharactersAndBytesThatAreNotUtf8) {
    EXPECT_EQ(disks::ReadableFolder("/media/smb-share:server=x,share=y"),
              "/media/smb-share:server=x,share=y");
    EXPECT_EQ(disks::ReadableFolder(std::string("/a\tb\nc\x01\x7f\\") + "\xff\xc3"),
              "/a\\tb\\nc\\x01\\x7f\\\\\\xff\\xc3");
    EXPECT_EQ(disks::ReadableFolder("/media/Ren\xc3\xa9"
                                    "e/\xe2\x82\xac"),
              "/media/Ren\xc3\xa9"
              "e/\xe2\x82\xac");
    EXPECT_EQ(disks::ReadableFolder("/x\xed\xa0\x80"), "/x\\xed\\xa0\\x80");  // a surrogate
}

}  // namespace
