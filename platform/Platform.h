// The one installed platform: the machine as the rest of the system sees it.
// app/ installs the host machine at program start; each test installs its own.
#pragma once

#include "platform/Desktop.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/WindowServices.h"

struct Platform {
    IFileSystem* files = nullptr;
    IRegistry* registry = nullptr;
    IShell* shell = nullptr;
    IWindowServices* windows = nullptr;
    IDesktop* desktop = nullptr;
};

// Makes the given platform the current one; returns the one it replaces.
Platform InstallPlatform(const Platform& platform);
const Platform& CurrentPlatform();

// The interfaces of the current platform. Using one that is not installed is a
// programming error and aborts with a message.
IFileSystem& Files();
IRegistry& Registry();
IShell& Shell();
IWindowServices& WindowServices();
IDesktop& Desktop();

// Installs a platform for a scope and puts the previous one back afterwards.
class ScopedPlatform {
  public:
    explicit ScopedPlatform(const Platform& platform) : previous_(InstallPlatform(platform)) {}
    ~ScopedPlatform() { InstallPlatform(previous_); }
    ScopedPlatform(const ScopedPlatform&) = delete;
    ScopedPlatform& operator=(const ScopedPlatform&) = delete;

  private:
    Platform previous_;
};
