#include "tests/support/QuietWindowServices.h"

QuietWindowServices::QuietWindowServices(Restart restart) : restart_(restart) {}

void QuietWindowServices::MessageBeep(std::uint32_t type) { beeps_.push_back(type); }

ScreenSize QuietWindowServices::GetScreenSize() { return kScreen; }

bool QuietWindowServices::ExitWindowsEx(std::uint32_t flags) {
    restarts_.push_back(flags);
    return restart_ == Restart::Accepted;
}

void QuietWindowServices::Clear() {
    beeps_.clear();
    restarts_.clear();
}
