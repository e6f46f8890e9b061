#include "volumes/VolumeSetWalker.h"

#include <algorithm>
#include <memory>

#include "platform/Exceptions.h"
#include "platform/Platform.h"
#include "platform/SystemMessages.h"
#include "platform/WinTypes.h"
#include "volumes/DiskFolder.h"
#include "volumes/Unit_DataFile.h"
#include "volumes/VolumeDigest.h"

// The publisher's file system names host paths.
SetFileLocator InSetFolder(const std::string& folder) {
    return [folder](const std::string& name) { return disks::JoinFolder(folder, name); };
}

SetFileLocator OnSetDisks(const std::vector<std::string>& disks) {
    return [disks](const std::string& name) {
        for (const std::string& disk : disks)
            if (const std::optional<std::string> file = disks::FileInFolder(disk, name))
                return *file;
        return disks.empty() ? name : disks::JoinFolder(disks.front(), name);
    };
}

std::int32_t TVolumeSetWalk::Start(TDataFile& first) {
    read_ = {1};
    total_ = 0;
    if (!first.ReadInt32(total_) || first.Position() > first.Size() - 1)
        first.Damaged("the total runs past the end of the volume", 0);
    if (total_ < 0) first.Damaged("the total size is negative", 0);
    return total_;
}

int TVolumeSetWalk::NextVolume(TDataFile& volume) {
    const std::int64_t at = volume.Position();
    int next = 0;
    if (!volume.ReadByte(next)) volume.Damaged("the next-volume byte is missing", at);
    if (next == 0 || read_.count(next) != 0)
        volume.Damaged("the set ends before its total of " + std::to_string(total_) +
                           " bytes (the next volume is given as " + std::to_string(next) + ")",
                       at);
    read_.insert(next);
    return next;
}

void TVolumeSetWalk::CheckEnd(TDataFile& last, std::int64_t done, std::int64_t remaining) const {
    if (done > total_)
        last.Damaged("the set holds " + std::to_string(done) +
                         " bytes of file data, more than its total of " + std::to_string(total_),
                     last.Position());
    if (remaining > 0)
        last.Damaged("a file is still " + std::to_string(remaining) +
                         " bytes short when the set's total of " + std::to_string(total_) +
                         " bytes is reached",
                     last.Position());
}

WalkedSet WalkVolumeSet(const std::function<void(const WalkedRecord&)>& onRecord,
                        const SetFileLocator& where) {
    WalkedSet set;
    TVolumeSetWalk walk;
    auto volume =
        std::make_unique<TDataFile>(where(volume::VolumeName(1)), TDataFile::FileStarting(), "");
    set.volumes = 1;
    set.total = walk.Start(*volume);

    auto moveOn = [&] {
        const std::int64_t at = volume->Position();
        const std::string name = where(volume::VolumeName(walk.NextVolume(*volume)));
        if (!Files().FileExists(name))
            throw Exception(volume->FileName() + " names " + name + " as the next volume (offset " +
                            std::to_string(at) + "), but it is missing");
        volume = std::make_unique<TDataFile>(name, TDataFile::FileStarting(), "");
        ++set.volumes;
    };

    std::int64_t done = 0;
    std::int64_t remaining = 0;
    while (done < set.total) {
        if (volume->DataExhausted()) {
            moveOn();
            continue;
        }
        if (remaining == 0) {
            WalkedRecord record;
            record.volume = volume->FileName();
            record.offset = volume->Position();
            volume->ReadHeader(record.name, record.size, INT32_MAX);
            remaining = record.size;
            ++set.files;
            onRecord(record);
        }
        const std::int64_t step = std::min(remaining, volume->Size() - 1 - volume->Position());
        volume->SkipData(step);
        remaining -= step;
        done += step;
    }
    walk.CheckEnd(*volume, done, remaining);
    // Empty files may follow the last data byte in the same volume.
    while (!volume->DataExhausted()) {
        WalkedRecord record;
        record.volume = volume->FileName();
        record.offset = volume->Position();
        volume->ReadHeader(record.name, record.size, 0);
        ++set.files;
        onRecord(record);
    }
    return set;
}

std::optional<int> CheckVolumeDigests(const SetFileLocator& where) {
    const std::optional<volume::SetDigests> digests =
        volume::ReadDigestFile(where(volume::kDigestFileName));
    if (!digests) return std::nullopt;
    for (const volume::VolumeDigest& entry : digests->volumes) {
        const std::string name = where(volume::VolumeName(entry.number));
        std::uint32_t error = 0;
        const std::unique_ptr<IFileStream> file = Files().OpenRead(name, error);
        if (!file && (error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND))
            throw Exception("The data volume " + name + " that " + volume::kDigestFileName +
                            " lists is missing");
        if (!file)
            throw EDamagedVolume("The data volume " + name + " that " + volume::kDigestFileName +
                                 " lists cannot be read: " + SysErrorMessage(error));
        const std::string mismatch =
            volume::VolumeMismatch(*digests, entry.number, *volume::DigestOf(*file));
        if (!mismatch.empty())
            throw EDamagedVolume("The data volume " + name +
                                 " is damaged or belongs to another set: " + mismatch);
    }
    return static_cast<int>(digests->volumes.size());
}
