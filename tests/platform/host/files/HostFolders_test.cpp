// The host's mount table and folders as the disk search gets them.
#include "platform/host/files/HostFolders.h"

#include <gtest/gtest.h>

namespace {

TEST(MountTable, MountPointsAreReadWithTheirEscapesUndoneAndTheirTypes) {
    const std::string text =
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "60 22 7:0 / /media/anna/LINGORA\\0402 ro,nosuid shared:30 - iso9660 /dev/loop0 ro\n"
        "61 22 0:50 /sub /mnt/bind\\134x rw - tmpfs tmpfs rw\n"
        "62 22 0:51 / /media/anna/LINGORA_1/ ro - iso9660 /dev/loop1 ro\n"
        "63 22 0:52 / /run/user/1000/gvfs rw master:5 - fuse.gvfsd-fuse gvfsd-fuse rw\n"
        "64 22 0:53 / /media/auto rw - autofs systemd-1 rw\n"
        "65 64 0:54 / /media/auto rw - nfs4 server:/x rw\n";
    EXPECT_EQ(hostfiles::ParseMountInfo(text),
              (std::vector<MountPoint>{{"/", "ext4"},
                                       {"/media/anna/LINGORA 2", "iso9660"},
                                       {"/mnt/bind\\x", "tmpfs"},
                                       {"/media/anna/LINGORA_1", "iso9660"},
                                       {"/run/user/1000/gvfs", "fuse.gvfsd-fuse"},
                                       // mounted over: what is seen there
                                       {"/media/auto", "nfs4"}}));
}

}  // namespace
