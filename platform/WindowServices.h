// Services of the window system: the message beep, the screen size and the
// restart of the machine.
//
// Thread use: the user-interface thread only.
#pragma once

#include <cstdint>

struct ScreenSize {
    int width = 0;
    int height = 0;
};

class IWindowServices {
  public:
    virtual ~IWindowServices() = default;
    virtual void MessageBeep(std::uint32_t type) = 0;  // win::MB_*
    virtual ScreenSize GetScreenSize() = 0;
    // ExitWindowsEx: true when the machine accepted the request.
    virtual bool ExitWindowsEx(std::uint32_t flags) = 0;  // win::EWX_*
};

class ForwardingWindowServices : public IWindowServices {
  public:
    explicit ForwardingWindowServices(IWindowServices& inner) : inner_(inner) {}
    void MessageBeep(std::uint32_t type) override { inner_.MessageBeep(type); }
    ScreenSize GetScreenSize() override { return inner_.GetScreenSize(); }
    bool ExitWindowsEx(std::uint32_t flags) override { return inner_.ExitWindowsEx(flags); }

  protected:
    IWindowServices& Inner() { return inner_; }

  private:
    IWindowServices& inner_;
};
