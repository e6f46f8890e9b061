#include "extract/CopyingScope.h"

#include <utility>

#include "extract/Unit_ExtractForm.h"
#include "extract/Unit_ExtractThread.h"

namespace {

// Sets seam to value, keeping its first value in saved.
template <typename T, typename V>
void Set(T& seam, std::optional<T>& saved, V&& value) {
    if (!saved) saved = seam;
    seam = std::forward<V>(value);
}

template <typename T>
void Restore(T& seam, std::optional<T>& saved) {
    if (saved) seam = std::move(*saved);
}

}  // namespace

TCopyingScope::TCopyingScope() { ExtractAborted = false; }

TCopyingScope::~TCopyingScope() {
    Restore(ExtractStopRequested, stop_);
    Restore(ExtractView, view_);
    Restore(FirstDiskFolder, firstDisk_);
    Restore(ExtractPars.Sources, sources_);
    Restore(ExtractPars.TargetFolder, target_);
    Restore(ExtractPars.LogFile, log_);
}

TCopyingScope& TCopyingScope::Into(TLogFile& log, const std::string& targetFolder) {
    Set(ExtractPars.LogFile, log_, &log);
    Set(ExtractPars.TargetFolder, target_, targetFolder);
    return *this;
}

TCopyingScope& TCopyingScope::From(const std::vector<std::string>& sources) {
    Set(ExtractPars.Sources, sources_, sources);
    return *this;
}

TCopyingScope& TCopyingScope::FirstDisk(const std::string& folder) {
    Set(FirstDiskFolder, firstDisk_, folder);
    return *this;
}

TCopyingScope& TCopyingScope::View(IExtractView* view) {
    Set(ExtractView, view_, view);
    return *this;
}

TCopyingScope& TCopyingScope::Stop(std::function<bool()> requested) {
    Set(ExtractStopRequested, stop_, std::move(requested));
    return *this;
}
