#include "app/PrefixForRun.h"

#include <cstdlib>
#include <exception>
#include <system_error>

#include "app/DiagnosticLogFile.h"
#include "app/StartUp.h"
#include "dialogs/Unit_Constants.h"
#include "install/Unit_Installation.h"
#include "platform/Exceptions.h"
#include "platform/ExitCodes.h"
#include "platform/host/machine/HostMachine.h"
#include "platform/host/machine/PrefixLock.h"
#include "platform/host/machine/WinePrefix.h"

namespace {

// The prefix's lock as the runs take it.
class PrefixRunLock : public IRunLock {
  public:
    explicit PrefixRunLock(PrefixLock& lock) : lock_(lock) {}
    std::string Take() override { return lock_.Take(); }
    void Release() override { lock_.Release(); }
    std::string Lost() override { return lock_.Lost(); }

  private:
    PrefixLock& lock_;
};

// Makes lock the one that the installation runs and removals take; null: none.
void InstallPrefixRunLock(PrefixLock* lock) {
    static std::unique_ptr<PrefixRunLock> installed;
    InstallRunLock(nullptr);
    installed = lock != nullptr ? std::make_unique<PrefixRunLock>(*lock) : nullptr;
    InstallRunLock(installed.get());
}

// Wine's rule: a prefix that belongs to another user is not used.
std::string OwnershipRefusal(const std::filesystem::path& folder) {
    const std::string owner = PrefixOwnershipRefusal(folder);
    if (owner.empty()) return {};
    return owner +
           ": Wine does not use a prefix that belongs to another user, so Setup does not "
           "change it";
}

}  // namespace

TPrefixForRun::~TPrefixForRun() {
    // A run that was refused, or never confirmed, leaves no prefix of its own behind.
    if (!MachineChangesBegan()) {
        if (machine_) machine_->RemoveLaidDownPrefix();
        std::error_code ignored;  // only an empty folder goes; one that is not stays
        if (!madeFolder_.empty()) std::filesystem::remove(madeFolder_, ignored);
    }
    InstallPrefixRunLock(nullptr);
}

std::unique_ptr<TPrefixForRun> OpenPrefixForRun(const TPrefixForRunOptions& options,
                                                TPrefixRefusal& refusal) {
    std::unique_ptr<TPrefixForRun> run(new TPrefixForRun());
    try {
        CheckWinePrefixVariable(std::getenv("WINEPREFIX"));
        const WinePrefix prefix(WinePrefix::DefaultFolder());
        const bool prefixExisted = prefix.Exists();
        if (options.RequirePrefix && !prefixExisted) {
            refusal = {ExitRefused, "Lingora " + std::string(VersionText) + " is not installed: " +
                                        prefix.Folder().string() + " holds no Wine prefix"};
            return nullptr;
        }
        // Wine's rule and one run at a time, before anything is laid down.
        if (std::string refused = OwnershipRefusal(prefix.Folder()); !refused.empty()) {
            refusal = {ExitRefused, refused};
            return nullptr;
        }
        if (options.LockAtOnce) {
            std::error_code error;
            if (std::filesystem::create_directories(prefix.Folder(), error))  // as Wine makes it
                run->madeFolder_ = prefix.Folder();
            if (error)
                throw Exception("cannot create the folder " + prefix.Folder().string() + ": " +
                                error.message());
        }
        run->lock_ = std::make_unique<PrefixLock>(prefix.Folder());
        if (options.LockAtOnce) {
            if (std::string refused = run->lock_->Take(); !refused.empty()) {
                refusal = {ExitRefused, refused};
                return nullptr;
            }
        }
        InstallPrefixRunLock(run->lock_.get());
        run->machine_ = HostMachine::Open(prefix.Folder());
        NotePrefix(prefix.Folder(), prefixExisted);
    } catch (const std::exception& error) {
        refusal = {ExitUsage, error.what(), true};
        return nullptr;
    }
    return run;
}
