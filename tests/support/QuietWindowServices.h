// Window services that reach nothing: no sound, no desktop, no restart. For
// tests, benchmarks and fuzz targets that run the program's windows without a
// machine underneath. The beeps and restart requests are recorded; the screen
// has a fixed size, and the restart is refused unless constructed to accept it.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/WindowServices.h"

class QuietWindowServices : public IWindowServices {
  public:
    enum class Restart { Refused, Accepted };
    static constexpr ScreenSize kScreen{1024, 768};

    explicit QuietWindowServices(Restart restart = Restart::Refused);

    void MessageBeep(std::uint32_t type) override;
    ScreenSize GetScreenSize() override;
    bool ExitWindowsEx(std::uint32_t flags) override;

    const std::vector<std::uint32_t>& Beeps() const { return beeps_; }
    const std::vector<std::uint32_t>& RestartRequests() const { return restarts_; }
    // Forgets what was recorded, so that a long run keeps no history.
    void Clear();

  private:
    Restart restart_;
    std::vector<std::uint32_t> beeps_;
    std::vector<std::uint32_t> restarts_;
};
