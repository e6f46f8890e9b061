// The parser of a volume set's digest file (Setup.sum) over arbitrary bytes. It
// either refuses the text with EDamagedDigestFile or gives a set whose written
// form reads back to the same set; what it accepts stays within the bounds of
// the format (1..255 volumes, numbered in order, 32-digit hex digests), however
// large the counts the text claims.
#include <cstdint>
#include <string>

#include "volumes/VolumeDigest.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

bool IsHexDigest(const std::string& text) {
    if (text.size() != 32) return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    volume::SetDigests set;
    try {
        set = volume::ParseDigestFile(text);
    } catch (const volume::EDamagedDigestFile& refused) {
        Check(std::string(refused.what()).find(volume::kDigestFileName) != std::string::npos);
        return 0;
    }
    Check(IsHexDigest(set.identity));
    Check(!set.volumes.empty() && set.volumes.size() <= std::size_t{volume::kMostVolumes});
    for (std::size_t i = 0; i < set.volumes.size(); ++i) {
        Check(set.volumes[i].number == static_cast<int>(i) + 1);
        Check(set.volumes[i].size >= 1);
        Check(IsHexDigest(set.volumes[i].digest));
        Check(set.Find(static_cast<int>(i) + 1) == &set.volumes[i]);
    }
    Check(set.Find(0) == nullptr && set.Find(static_cast<int>(set.volumes.size()) + 1) == nullptr);
    const volume::SetDigests again = volume::ParseDigestFile(volume::FormatDigestFile(set));
    Check(again.identity == set.identity && again.volumes.size() == set.volumes.size());
    for (std::size_t i = 0; i < set.volumes.size(); ++i)
        Check(again.volumes[i].size == set.volumes[i].size &&
              again.volumes[i].digest == set.volumes[i].digest);
    return 0;
}
