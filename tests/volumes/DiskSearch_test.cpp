// The search for the disks of a set, on a machine made of a fake mount table and
// a map of the folders that hold volumes and digest files.
#include "volumes/DiskSearch.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <utility>

namespace {

using disks::TDiskSearch;

constexpr char kSet[] = "5f0c2e8d9a4b17c3e6f01a2b3c4d5e6f";
constexpr char kOtherSet[] = "00000000000000000000000000000001";

// Folders with the volumes they hold and the set their digest file names.
struct FakeMachine {
    std::vector<std::string> mounts = {"/", "/home", "/tmp"};
    std::map<std::string, std::set<int>> volumes;
    std::map<std::string, std::string> identities;
    std::vector<std::string> probed;  // every folder asked for a volume, in order

    void Disk(const std::string& folder, std::set<int> numbers,
              const std::string& identity = kSet) {
        volumes[folder] = std::move(numbers);
        if (!identity.empty()) identities[folder] = identity;
    }
    disks::DiskProbe Probe() {
        disks::DiskProbe probe;
        probe.holdsVolume = [this](const std::string& folder, int number) {
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

TEST(MountTable, MountPointsAreReadWithTheirEscapesUndone) {
    const std::string text =
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "60 22 7:0 / /media/anna/LINGORA\\0402 ro,nosuid shared:30 - iso9660 /dev/loop0 ro\n"
        "61 22 0:50 /sub /mnt/bind\\134x rw - tmpfs tmpfs rw\n"
        "62 22 0:51 / /media/anna/LINGORA_1/ ro - iso9660 /dev/loop1 ro\n";
    EXPECT_EQ(disks::ParseMountInfo(text),
              (std::vector<std::string>{"/", "/media/anna/LINGORA 2", "/mnt/bind\\x",
                                        "/media/anna/LINGORA_1"}));
}

TEST(MountTable, AFolderIsPlacedInsideTheDeepestMountThatHoldsIt) {
    const std::vector<std::string> mounts = {"/", "/media", "/media/anna/LINGORA_1"};
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

TEST(FirstDisk, TheSourceFirstThenTheOnlyDiskMountedBelowMediaOrMnt) {
    FakeMachine machine;
    machine.mounts = {"/", "/home", "/media/anna/LINGORA_1", "/run/media/bo/X", "/srv/disk"};
    machine.Disk("/srv/disk", {1});  // not where removable disks are mounted
    EXPECT_EQ(disks::FindFirstDisk({"/home/anna"}, machine.Probe()), std::nullopt);
    machine.Disk("/media/anna/LINGORA_1", {1});
    EXPECT_EQ(disks::FindFirstDisk({"/home/anna"}, machine.Probe()), "/media/anna/LINGORA_1");
    // The source's own relative folder on each disk.
    machine.volumes.clear();
    machine.Disk("/run/media/bo/X/setup", {1});
    EXPECT_EQ(disks::FindFirstDisk({"/media/anna/LINGORA_1/setup"}, machine.Probe()),
              "/run/media/bo/X/setup");
    // Two disks 1: which one is meant cannot be told.
    machine.Disk("/media/anna/LINGORA_1", {1});
    machine.Disk("/run/media/bo/X", {1});
    EXPECT_EQ(disks::FindFirstDisk({"/home/anna"}, machine.Probe()), std::nullopt);
    // A source that holds it wins over them.
    machine.Disk("/home/anna", {1});
    EXPECT_EQ(disks::FindFirstDisk({"/tmp/none", "/home/anna"}, machine.Probe()), "/home/anna");
}

}  // namespace
