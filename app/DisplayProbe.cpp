#include "app/DisplayProbe.h"

#include <dlfcn.h>

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QPluginLoader>
#include <QStringList>
#include <cstdlib>

#include "platform/AsciiText.h"

namespace {

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// Qt's platform plugins declare this interface and their names ("Keys").
constexpr char kPlatformInterface[] = "org.qt-project.Qt.QPA.QPlatformIntegrationFactoryInterface";

// True when a platform plugin of that name is where Qt looks for one: the
// "platforms" folder of each library path (the plugin path of Qt's
// installation or of a qt.conf beside the program, QT_PLUGIN_PATH, the
// program's folder) and the folder QT_QPA_PLATFORM_PLUGIN_PATH. Read from the
// plugins' metadata, without loading them. Needs the application object.
bool PluginInstalled(const std::string& name) {
    QStringList folders;
    for (const QString& path : QCoreApplication::libraryPaths()) folders << path + "/platforms";
    if (const QString extra = qEnvironmentVariable("QT_QPA_PLATFORM_PLUGIN_PATH"); !extra.isEmpty())
        folders << extra;
    const QString wanted = QString::fromStdString(name);
    for (const QString& folder : folders) {
        const QDir dir(folder);
        for (const QString& file : dir.entryList(QDir::Files)) {
            const QJsonObject meta = QPluginLoader(dir.filePath(file)).metaData();
            if (!meta.value("IID").toString().startsWith(kPlatformInterface)) continue;
            for (const QJsonValue key : meta.value("MetaData").toObject().value("Keys").toArray())
                if (key.toString().compare(wanted, Qt::CaseInsensitive) == 0) return true;
        }
    }
    return false;
}

// The display connections, each through the library that Qt's own plugin uses
// and as it connects (to the display its variable names), closed at once. A
// library that is missing counts as a display that does not answer: the plugin
// could not start without it.
template <typename Use>
bool WithLibrary(const char* library, Use use) {
    void* handle = ::dlopen(library, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return false;
    const bool answered = use(handle);
    ::dlclose(handle);
    return answered;
}

bool WaylandAnswers() {
    return WithLibrary("libwayland-client.so.0", [](void* library) {
        const auto connect =
            reinterpret_cast<void* (*)(const char*)>(::dlsym(library, "wl_display_connect"));
        const auto disconnect =
            reinterpret_cast<void (*)(void*)>(::dlsym(library, "wl_display_disconnect"));
        if (connect == nullptr || disconnect == nullptr) return false;
        void* display = connect(nullptr);
        if (display == nullptr) return false;
        disconnect(display);
        return true;
    });
}

bool XAnswers() {
    return WithLibrary("libxcb.so.1", [](void* library) {
        const auto connect =
            reinterpret_cast<void* (*)(const char*, int*)>(::dlsym(library, "xcb_connect"));
        const auto hasError =
            reinterpret_cast<int (*)(void*)>(::dlsym(library, "xcb_connection_has_error"));
        const auto disconnect =
            reinterpret_cast<void (*)(void*)>(::dlsym(library, "xcb_disconnect"));
        if (connect == nullptr || hasError == nullptr || disconnect == nullptr) return false;
        void* connection = connect(nullptr, nullptr);
        const bool answered = hasError(connection) == 0;
        disconnect(connection);  // also one in error
        return answered;
    });
}

PlatformStart TryWayland() {
    if (!PluginInstalled("wayland")) return PlatformStart::PluginMissing;
    // A socket handed over by the compositor can be taken once only: Qt's.
    if (Set("WAYLAND_SOCKET")) return PlatformStart::Starts;
    return WaylandAnswers() ? PlatformStart::Starts : PlatformStart::Unreachable;
}

PlatformStart TryX() {
    if (!Set("DISPLAY")) return PlatformStart::Unreachable;
    if (!PluginInstalled("xcb")) return PlatformStart::PluginMissing;
    return XAnswers() ? PlatformStart::Starts : PlatformStart::Unreachable;
}

std::string WaylandName() {
    return Set("WAYLAND_DISPLAY") ? std::getenv("WAYLAND_DISPLAY") : "wayland-0";
}

}  // namespace

std::vector<std::string> QtPlatformOrder(const std::function<const char*(const char*)>& variable) {
    const char* chosen = variable("QT_QPA_PLATFORM");
    if (chosen != nullptr && *chosen != '\0') {
        std::vector<std::string> names;
        const std::string list = chosen;
        std::size_t start = 0;
        while (start <= list.size()) {
            std::size_t end = list.find(';', start);
            if (end == std::string::npos) end = list.size();
            const std::string entry = list.substr(start, end - start);
            const std::string name = entry.substr(0, entry.find(':'));
            if (!name.empty()) names.push_back(name);
            start = end + 1;
        }
        return names;
    }
    const char* session = variable("XDG_SESSION_TYPE");
    if (variable("WAYLAND_DISPLAY") != nullptr ||
        (session != nullptr && std::string(session) == "wayland"))
        return {"wayland", "xcb"};
    return {"xcb"};
}

std::string DisplayProblem(char* program) {
    const std::string advice =
        "install with 'lingora-setup --unattended --accept-licence'; 'lingora-setup --help' "
        "says more.";
    if (!Set("DISPLAY") && !Set("WAYLAND_DISPLAY") && !Set("QT_QPA_PLATFORM"))
        return "the installation wizard needs a display (DISPLAY or WAYLAND_DISPLAY). Without "
               "one, " +
               advice;

    // The plugin folders of a qt.conf beside the program count only once an
    // application object exists; it goes before the wizard's own is made.
    int argc = 1;
    char* argv[] = {program, nullptr};
    const QCoreApplication probe(argc, argv);
    std::vector<std::string> reasons;
    for (const std::string& platform : QtPlatformOrder(
             [](const char* name) { return static_cast<const char*>(std::getenv(name)); })) {
        const std::string name = Lower(platform);
        if (name == "wayland") {
            const PlatformStart start = TryWayland();
            if (start == PlatformStart::Starts) return {};
            reasons.push_back("the Wayland display " + WaylandName() + " (WAYLAND_DISPLAY): " +
                              (start == PlatformStart::PluginMissing
                                   ? "Qt's Wayland platform plugin is not installed (Debian "
                                     "package qt6-wayland)"
                                   : "no Wayland compositor answers there"));
        } else if (name == "xcb") {
            const PlatformStart start = TryX();
            if (start == PlatformStart::Starts) return {};
            if (!Set("DISPLAY"))
                reasons.push_back("an X display (DISPLAY is not set)");
            else
                reasons.push_back(std::string("the display ") + std::getenv("DISPLAY") +
                                  " (DISPLAY): " +
                                  (start == PlatformStart::PluginMissing
                                       ? "Qt's X platform plugin is not installed (Debian "
                                         "package libqt6gui6)"
                                       : "no X server answers there, or it does not let Setup "
                                         "in"));
        } else {
            // Another platform named in QT_QPA_PLATFORM (offscreen, vnc, eglfs ...):
            // taken when its plugin is there, as Qt takes it.
            if (PluginInstalled(name)) return {};
            reasons.push_back("the Qt platform \"" + platform +
                              "\" (QT_QPA_PLATFORM): its plugin is not installed");
        }
    }
    std::string text = "the installation wizard cannot open ";
    for (std::size_t i = 0; i < reasons.size(); ++i) text += (i == 0 ? "" : "; nor ") + reasons[i];
    if (reasons.empty()) text += "a display (QT_QPA_PLATFORM names no platform)";
    return text + ". Without a display, " + advice;
}
