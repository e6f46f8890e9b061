#include "volumes/DiskSearch.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/DiagnosticLog.h"
#include "platform/Platform.h"
#include "volumes/VolumeDigest.h"
#include "volumes/VolumeFormat.h"

namespace disks {

std::vector<std::string> SourceFolders;

namespace {

// The mountinfo escapes: \040 (space), \011 (tab), \012 (newline), \134 (\).
std::string Unescape(const std::string& field) {
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() &&
            std::all_of(field.begin() + static_cast<long>(i) + 1,
                        field.begin() + static_cast<long>(i) + 4,
                        [](char c) { return c >= '0' && c <= '7'; })) {
            text += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) |
                                      (field[i + 3] - '0'));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

void AddOnce(std::vector<std::string>& folders, const std::string& folder) {
    if (std::find(folders.begin(), folders.end(), folder) == folders.end())
        folders.push_back(folder);
}

bool Below(const std::string& folder, const std::string& root) {
    return folder.size() > root.size() && folder.compare(0, root.size(), root) == 0 &&
           folder[root.size()] == '/';
}

}  // namespace

std::vector<std::string> ParseMountInfo(const std::string& text) {
    std::vector<std::string> mounts;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string field;
        // mount id, parent id, major:minor, root, mount point
        for (int i = 0; i < 5 && fields >> field; ++i) {
            if (i == 4 && !field.empty() && field[0] == '/')
                AddOnce(mounts, NormalFolder(Unescape(field)));
        }
    }
    return mounts;
}

std::vector<std::string> ReadMountTable() {
    std::ifstream file("/proc/self/mountinfo");
    if (!file) return {};
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    return ParseMountInfo(text);
}

std::string JoinFolder(const std::string& folder, const std::string& name) {
    if (name.empty()) return folder;
    if (folder.empty() || folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::string NormalFolder(const std::string& folder) {
    std::vector<std::string> parts;
    std::size_t at = 0;
    while (at <= folder.size()) {
        std::size_t end = folder.find('/', at);
        if (end == std::string::npos) end = folder.size();
        const std::string part = folder.substr(at, end - at);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = end + 1;
    }
    std::string result;
    for (const std::string& part : parts) result += "/" + part;
    return result.empty() ? "/" : result;
}

std::string MountOf(const std::string& folder, const std::vector<std::string>& mounts) {
    std::string best = "/";
    for (const std::string& mount : mounts)
        if ((mount == folder || Below(folder, mount) || mount == "/") && mount.size() > best.size())
            best = mount;
    return best;
}

std::string RelativeToMount(const std::string& folder, const std::vector<std::string>& mounts) {
    const std::string mount = MountOf(folder, mounts);
    if (mount == folder) return {};
    return folder.substr(mount == "/" ? 1 : mount.size() + 1);
}

std::vector<std::string> SiblingNames(const std::string& name, int number) {
    const std::size_t last = name.find_last_of("0123456789");
    if (last == std::string::npos) return {};
    std::size_t first = last;
    while (first > 0 && name[first - 1] >= '0' && name[first - 1] <= '9') --first;
    const std::string before = name.substr(0, first);
    const std::string after = name.substr(last + 1);
    const std::size_t width = last - first + 1;
    std::vector<std::string> names;
    std::string digits = std::to_string(number);
    if (digits.size() < width)
        AddOnce(names, before + std::string(width - digits.size(), '0') + digits + after);
    AddOnce(names, before + digits + after);
    names.erase(std::remove(names.begin(), names.end(), name), names.end());
    return names;
}

void TDiskSearch::Start(const std::vector<std::string>& sources) {
    sources_.clear();
    for (const std::string& source : sources) AddOnce(sources_, NormalFolder(source));
    chosen_.clear();
    first_.clear();
    last_.clear();
    identity_.clear();
}

void TDiskSearch::FirstDiskFound(const std::string& folder, const std::string& identity) {
    first_ = NormalFolder(folder);
    last_ = first_;
    identity_ = identity;
}

void TDiskSearch::AddFolder(const std::string& folder) { AddOnce(chosen_, NormalFolder(folder)); }

std::vector<TDiskSearch::Candidate> TDiskSearch::Candidates(int number) const {
    std::vector<Candidate> candidates;
    std::vector<std::string> seen;
    const auto add = [&](const std::string& folder, bool sameSetOnly) {
        if (folder.empty() || std::find(seen.begin(), seen.end(), folder) != seen.end()) return;
        seen.push_back(folder);
        candidates.push_back({folder, sameSetOnly});
    };
    // a
    add(last_, false);
    for (const std::string& source : sources_) add(source, false);
    // b and c: only where the digest file can tell the set.
    if (!identity_.empty() && !first_.empty()) {
        const std::size_t slash = first_.find_last_of('/');
        const std::string parent = slash == 0 ? "/" : first_.substr(0, slash);
        for (const std::string& name : SiblingNames(first_.substr(slash + 1), number))
            add(JoinFolder(parent, name), true);
        const std::vector<std::string> mounts =
            probe_.mounts ? probe_.mounts() : std::vector<std::string>();
        // A first disk on the file system of "/" is a folder, not a disk of its own.
        if (MountOf(first_, mounts) != "/") {
            const std::string relative = RelativeToMount(first_, mounts);
            for (const std::string& mount : mounts)
                if (mount != "/") add(NormalFolder(JoinFolder(mount, relative)), true);
        }
    }
    // d
    for (const std::string& folder : chosen_) add(folder, false);
    return candidates;
}

std::vector<std::string> TDiskSearch::Folders(int number) const {
    std::vector<std::string> folders;
    for (const Candidate& candidate : Candidates(number)) folders.push_back(candidate.folder);
    return folders;
}

std::optional<std::string> TDiskSearch::Find(int number) const {
    for (const Candidate& candidate : Candidates(number)) {
        const diag::Host folder{candidate.folder};
        if (!probe_.holdsVolume(candidate.folder, number)) {
            diag::Note("disk ", number, ": looked in ", folder, ": passed over, no volume there");
            continue;
        }
        if (candidate.sameSetOnly && probe_.setIdentity(candidate.folder) != identity_) {
            diag::Note("disk ", number, ": looked in ", folder,
                       ": passed over, its digest file does not name the set ", identity_);
            continue;
        }
        diag::Note("disk ", number, ": looked in ", folder, ": taken");
        return candidate.folder;
    }
    diag::Note("disk ", number, ": not found in any folder of the search");
    return std::nullopt;
}

std::string FileInFolder(const std::string& folder, const std::string& name) {
    const std::string host = JoinFolder(folder, name);
    return Files().FromHostPath(host).value_or(host);
}

DiskProbe MachineProbe() {
    DiskProbe probe;
    probe.holdsVolume = [](const std::string& folder, int number) {
        return Files().FileExists(FileInFolder(folder, volume::VolumeName(number)));
    };
    probe.setIdentity = [](const std::string& folder) -> std::optional<std::string> {
        try {
            const auto digests =
                volume::ReadDigestFile(FileInFolder(folder, volume::kDigestFileName));
            if (digests) return digests->identity;
        } catch (const volume::EDamagedDigestFile&) {
        }
        return std::nullopt;
    };
    probe.mounts = [] { return ReadMountTable(); };
    return probe;
}

std::optional<std::string> FindFirstDisk(const std::vector<std::string>& sources,
                                         const DiskProbe& probe) {
    for (const std::string& source : sources) {
        const bool holds = probe.holdsVolume(NormalFolder(source), 1);
        diag::Note("disk 1: looked in ", diag::Host{NormalFolder(source)},
                   holds ? ": taken" : ": passed over, no volume there");
        if (holds) return NormalFolder(source);
    }
    const std::vector<std::string> mounts =
        probe.mounts ? probe.mounts() : std::vector<std::string>();
    std::vector<std::string> found;
    for (const std::string& mount : mounts) {
        if (!Below(mount, "/media") && !Below(mount, "/run/media") && !Below(mount, "/mnt"))
            continue;
        std::vector<std::string> places = {mount};
        for (const std::string& source : sources)
            AddOnce(places,
                    NormalFolder(JoinFolder(mount, RelativeToMount(NormalFolder(source), mounts))));
        for (const std::string& place : places) {
            const bool holds = probe.holdsVolume(place, 1);
            diag::Note("disk 1: looked in ", diag::Host{place},
                       holds ? ": holds the volume" : ": passed over, no volume there");
            if (holds) AddOnce(found, place);
        }
    }
    if (found.size() == 1) {
        diag::Note("disk 1: taken in ", diag::Host{found.front()},
                   ", the only mounted disk that holds it");
        return found.front();
    }
    diag::Note("disk 1: not found", found.size() > 1 ? " (several mounted disks hold it)" : "");
    return std::nullopt;
}

}  // namespace disks
