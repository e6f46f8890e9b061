// The seams of one copying (extract/Unit_ExtractThread.h, Unit_ExtractForm.h):
// where the files go and the log that lists them, the run's source folders,
// the folder of disk 1, the view that shows the copying and the stop that a
// run asks between two steps. A TCopyingScope sets those it is given and puts
// each back as it was when the scope ends, whatever way it ends; outside the
// copying itself nothing else writes them.
//
// The copying's result (ExtractAborted) is cleared when a scope begins, so
// that a copying starts as not abandoned, and stays readable after it ends.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

class IExtractView;
class TLogFile;

class TCopyingScope {
  public:
    TCopyingScope();
    ~TCopyingScope();
    TCopyingScope(const TCopyingScope&) = delete;
    TCopyingScope& operator=(const TCopyingScope&) = delete;

    // The installation folder (a Windows path) and its open install log (not
    // owned: it must outlive the scope).
    TCopyingScope& Into(TLogFile& log, const std::string& targetFolder);
    // The run's source folders (absolute host paths), searched for the disks first.
    TCopyingScope& From(const std::vector<std::string>& sources);
    // The folder of disk 1, found before the run; empty: the copying looks for it.
    TCopyingScope& FirstDisk(const std::string& folder);
    // Where the steps report; null: the progress window.
    TCopyingScope& View(IExtractView* view);
    // Asked after each step besides the thread's own interruption.
    TCopyingScope& Stop(std::function<bool()> requested);

  private:
    std::optional<TLogFile*> log_;
    std::optional<std::string> target_;
    std::optional<std::vector<std::string>> sources_;
    std::optional<std::string> firstDisk_;
    std::optional<IExtractView*> view_;
    std::optional<std::function<bool()>> stop_;
};
