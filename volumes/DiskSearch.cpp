#include "volumes/DiskSearch.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

#include "platform/DiagnosticLog.h"
#include "platform/Platform.h"
#include "volumes/VolumeDigest.h"
#include "volumes/VolumeFormat.h"

namespace disks {

std::function<bool()> WhileProbing;

namespace {

void AddOnce(std::vector<std::string>& folders, const std::string& folder) {
    if (std::find(folders.begin(), folders.end(), folder) == folders.end())
        folders.push_back(folder);
}

bool Below(const std::string& folder, const std::string& root) {
    return folder.size() > root.size() && folder.compare(0, root.size(), root) == 0 &&
           folder[root.size()] == '/';
}

// How many mount points a message names before "and N more".
constexpr std::size_t kMountsNamed = 3;

// The answer of one look into a folder, shared by the worker and the waiter.
struct Look {
    std::mutex mutex;
    std::condition_variable done;
    bool answered = false;
    bool holds = false;
    const char* passedOver = "";  // why it does not hold the disk
};

}  // namespace

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

std::string MountOf(const std::string& folder, const std::vector<MountPoint>& mounts) {
    std::string best = "/";
    for (const MountPoint& mount : mounts)
        if ((mount.folder == folder || Below(folder, mount.folder)) &&
            mount.folder.size() > best.size())
            best = mount.folder;
    return best;
}

std::string RelativeToMount(const std::string& folder, const std::vector<MountPoint>& mounts) {
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

bool NeverProbed(const MountPoint& mount) {
    static const std::set<std::string> pseudo = {
        "autofs",  "binfmt_misc", "bpf",      "cgroup",     "cgroup2",     "configfs",
        "debugfs", "devpts",      "efivarfs", "fusectl",    "hugetlbfs",   "mqueue",
        "nsfs",    "proc",        "pstore",   "rpc_pipefs", "securityfs",  "selinuxfs",
        "sysfs",   "tracefs",     "devtmpfs", "ramfs",      "fuse.portal", "nfsd"};
    return pseudo.count(mount.type) != 0 || mount.folder == "/proc" ||
           Below(mount.folder, "/proc") || mount.folder == "/sys" || Below(mount.folder, "/sys") ||
           mount.folder == "/dev" || Below(mount.folder, "/dev");
}

bool OverNetwork(const MountPoint& mount) {
    static const std::set<std::string> network = {"nfs",
                                                  "nfs4",
                                                  "cifs",
                                                  "smb3",
                                                  "smbfs",
                                                  "ncpfs",
                                                  "afs",
                                                  "9p",
                                                  "ceph",
                                                  "glusterfs",
                                                  "lustre",
                                                  "davfs",
                                                  "fuse.sshfs",
                                                  "fuse.gvfsd-fuse",
                                                  "fuse.rclone",
                                                  "fuse.s3fs",
                                                  "fuse.curlftpfs",
                                                  "fuse.glusterfs"};
    return network.count(mount.type) != 0;
}

TDiskSearch::TDiskSearch(DiskProbe probe, std::chrono::milliseconds limit)
    : probe_(std::move(probe)), limit_(limit) {}

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

std::vector<MountPoint> TDiskSearch::Mounts() const {
    return probe_.mounts ? probe_.mounts() : std::vector<MountPoint>();
}

// Touched only by the searching thread: the workers write into their Look only.
std::vector<std::string> TDiskSearch::Unanswered() const { return *unanswered_; }

std::vector<TDiskSearch::Candidate> TDiskSearch::Candidates(
    int number, const std::vector<MountPoint>& mounts) const {
    std::vector<Candidate> candidates;
    std::vector<std::string> seen;
    const auto add = [&](const std::string& folder, bool sameSetOnly, bool onMount) {
        if (folder.empty() || std::find(seen.begin(), seen.end(), folder) != seen.end()) return;
        seen.push_back(folder);
        candidates.push_back({folder, sameSetOnly, onMount});
    };
    // a
    add(last_, false, false);
    for (const std::string& source : sources_) add(source, false, false);
    // b and c: only where the digest file can tell the set.
    if (!identity_.empty() && !first_.empty()) {
        const std::size_t slash = first_.find_last_of('/');
        const std::string parent = slash == 0 ? "/" : first_.substr(0, slash);
        for (const std::string& name : SiblingNames(first_.substr(slash + 1), number))
            add(JoinFolder(parent, name), true, false);
        // A first disk on the file system of "/" is a folder, not a disk of its own.
        if (MountOf(first_, mounts) != "/") {
            const std::string relative = RelativeToMount(first_, mounts);
            for (const bool network : {false, true})
                for (const MountPoint& mount : mounts)
                    if (mount.folder != "/" && !NeverProbed(mount) && OverNetwork(mount) == network)
                        add(NormalFolder(JoinFolder(mount.folder, relative)), true, true);
        }
    }
    // d
    for (const std::string& folder : chosen_) add(folder, false, false);
    return candidates;
}

std::vector<TDiskSearch::Candidate> TDiskSearch::FirstCandidates(
    const std::vector<MountPoint>& mounts) const {
    std::vector<Candidate> candidates;
    std::vector<std::string> seen;
    const auto add = [&](const std::string& folder, bool onMount) {
        if (std::find(seen.begin(), seen.end(), folder) != seen.end()) return;
        seen.push_back(folder);
        candidates.push_back({folder, false, onMount});
    };
    for (const std::string& source : sources_) add(source, false);
    for (const std::string& folder : chosen_) add(folder, false);
    for (const bool network : {false, true})
        for (const MountPoint& mount : mounts) {
            if (NeverProbed(mount) || OverNetwork(mount) != network ||
                (!Below(mount.folder, "/media") && !Below(mount.folder, "/run/media") &&
                 !Below(mount.folder, "/mnt")))
                continue;
            add(mount.folder, true);
            for (const std::string& source : sources_)
                add(NormalFolder(JoinFolder(mount.folder, RelativeToMount(source, mounts))), true);
        }
    return candidates;
}

std::vector<std::string> TDiskSearch::Folders(int number) const {
    std::vector<std::string> folders;
    for (const Candidate& candidate : Candidates(number, Mounts()))
        folders.push_back(candidate.folder);
    return folders;
}

std::vector<std::string> TDiskSearch::FirstFolders() const {
    std::vector<std::string> folders;
    for (const Candidate& candidate : FirstCandidates(Mounts()))
        folders.push_back(candidate.folder);
    return folders;
}

bool TDiskSearch::Holds(const std::string& folder, int number, bool identity,
                        const std::vector<MountPoint>& mounts) {
    const std::string mount = MountOf(folder, mounts);
    {
        const std::vector<std::string>& unanswered = *unanswered_;
        if (std::find(unanswered.begin(), unanswered.end(), mount) != unanswered.end()) {
            diag::Note("disk ", number, ": passed over ", diag::Host{folder}, ": its mount ",
                       diag::Host{mount}, " did not answer before");
            return false;
        }
    }
    const auto look = std::make_shared<Look>();
    const DiskProbe probe = probe_;
    const std::string wanted = identity ? identity_ : std::string();
    const auto work = [look, probe, folder, number, identity, wanted] {
        const char* passedOver = "";
        bool holds = probe.holdsVolume(folder, number);
        if (!holds) passedOver = "no volume there";
        if (holds && identity && probe.setIdentity(folder) != wanted) {
            holds = false;
            passedOver = "its digest file does not name the set";
        }
        {
            const std::lock_guard<std::mutex> lock(look->mutex);
            look->answered = true;
            look->holds = holds;
            look->passedOver = passedOver;
        }
        look->done.notify_all();
    };
    try {
        std::thread(work).detach();
    } catch (const std::system_error&) {
        work();  // no thread to be had: looked into here, as without a limit
    }
    const auto deadline = std::chrono::steady_clock::now() + limit_;
    std::unique_lock<std::mutex> lock(look->mutex);
    while (true) {
        if (look->done.wait_for(lock, std::chrono::milliseconds(20),
                                [&look] { return look->answered; })) {
            if (look->holds)
                diag::Note("disk ", number, ": looked in ", diag::Host{folder}, ": holds it");
            else
                diag::Note("disk ", number, ": looked in ", diag::Host{folder}, ": passed over, ",
                           look->passedOver);
            return look->holds;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            AddOnce(*unanswered_, mount);
            diag::Note("disk ", number, ": passed over ", diag::Host{folder}, ": its mount ",
                       diag::Host{mount}, " does not answer");
            return false;
        }
        lock.unlock();
        const bool stop = WhileProbing && WhileProbing();
        lock.lock();
        if (stop) {
            stopped_ = true;
            return look->answered && look->holds;
        }
    }
}

bool TDiskSearch::HoldsVolume(const std::string& folder, int number) {
    stopped_ = false;
    return Holds(NormalFolder(folder), number, false, Mounts());
}

std::optional<std::string> TDiskSearch::Find(int number) {
    const std::vector<MountPoint> mounts = Mounts();
    stopped_ = false;
    for (const Candidate& candidate : Candidates(number, mounts)) {
        if (Holds(candidate.folder, number, candidate.sameSetOnly, mounts)) {
            diag::Note("disk ", number, ": looked in ", diag::Host{candidate.folder}, ": taken");
            return candidate.folder;
        }
        if (stopped_) break;
    }
    diag::Note("disk ", number, ": not found in any folder of the search");
    return std::nullopt;
}

std::optional<std::string> TDiskSearch::FindFirst() {
    const std::vector<MountPoint> mounts = Mounts();
    std::vector<std::string> found;
    stopped_ = false;
    for (const Candidate& candidate : FirstCandidates(mounts)) {
        const bool holds = Holds(candidate.folder, 1, false, mounts);
        if (stopped_) return std::nullopt;
        if (!holds) continue;
        if (!candidate.onMount) {
            diag::Note("disk 1: looked in ", diag::Host{candidate.folder}, ": taken");
            return candidate.folder;
        }
        AddOnce(found, candidate.folder);
    }
    if (found.size() == 1) {
        diag::Note("disk 1: taken in ", diag::Host{found.front()},
                   ", the only mounted disk that holds it");
        return found.front();
    }
    diag::Note("disk 1: not found", found.size() > 1 ? " (several mounted disks hold it)" : "");
    return std::nullopt;
}

std::string TDiskSearch::Searched(int number) const {
    const std::vector<MountPoint> mounts = Mounts();
    return Text(number, number == 1 ? FirstCandidates(mounts) : Candidates(number, mounts),
                *unanswered_);
}

std::string TDiskSearch::Text(int number, const std::vector<Candidate>& candidates,
                              const std::vector<std::string>& unanswered) {
    std::vector<std::string> places;
    std::vector<std::string> onMounts;
    for (const Candidate& candidate : candidates)
        (candidate.onMount ? onMounts : places).push_back(ReadableFolder(candidate.folder));
    if (!onMounts.empty()) {
        std::string part = onMounts.size() == 1 ? onMounts.front() : "";
        if (onMounts.size() > 1) {
            part = std::to_string(onMounts.size()) + " mounted file systems (";
            for (std::size_t i = 0; i < std::min(onMounts.size(), kMountsNamed); ++i)
                part += (i > 0 ? ", " : "") + onMounts[i];
            if (onMounts.size() > kMountsNamed)
                part += " and " + std::to_string(onMounts.size() - kMountsNamed) + " more";
            part += ")";
        }
        places.push_back(part);
    }
    std::string text;
    for (std::size_t i = 0; i < places.size(); ++i) {
        if (i > 0) text += i + 1 == places.size() ? " and " : ", ";
        text += places[i];
    }
    if (places.empty()) text = "no folder";
    if (number == 1)
        text += onMounts.empty() ? " nor on a disk mounted below /media, /run/media or /mnt"
                                 : " (below /media, /run/media and /mnt)";
    if (!unanswered.empty()) {
        text += "; ";
        for (std::size_t i = 0; i < unanswered.size(); ++i) {
            if (i > 0) text += i + 1 == unanswered.size() ? " and " : ", ";
            text += ReadableFolder(unanswered[i]);
        }
        text += unanswered.size() == 1 ? " did not answer and was passed over"
                                       : " did not answer and were passed over";
    }
    return text;
}

DiskProbe MachineProbe() {
    DiskProbe probe;
    probe.holdsVolume = [](const std::string& folder, int number) {
        return FileInFolder(folder, volume::VolumeName(number)).has_value();
    };
    probe.setIdentity = [](const std::string& folder) -> std::optional<std::string> {
        try {
            const auto digests = volume::ReadDigestFileIn(folder);
            if (digests) return digests->identity;
        } catch (const volume::EDamagedDigestFile&) {
        }
        return std::nullopt;
    };
    probe.mounts = [] { return Files().MountTable(); };
    return probe;
}

}  // namespace disks
