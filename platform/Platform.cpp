#include "platform/Platform.h"

#include <cstdio>
#include <cstdlib>

namespace {
Platform installed;

template <typename T>
T& Require(T* part, const char* name) {
    if (part == nullptr) {
        std::fprintf(stderr, "Setup: no %s installed in the platform\n", name);
        std::abort();
    }
    return *part;
}
}  // namespace

Platform InstallPlatform(const Platform& platform) {
    Platform previous = installed;
    installed = platform;
    return previous;
}

const Platform& CurrentPlatform() { return installed; }

IFileSystem& Files() { return Require(installed.files, "file system"); }
IRegistry& Registry() { return Require(installed.registry, "registry"); }
IShell& Shell() { return Require(installed.shell, "shell"); }
IWindowServices& WindowServices() { return Require(installed.windows, "window services"); }
IDesktop& Desktop() { return Require(installed.desktop, "desktop"); }
