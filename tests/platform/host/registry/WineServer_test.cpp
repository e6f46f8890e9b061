// A running wineserver (seen by the lock it holds) keeps every change from the
// registry files, and our own writes hold that lock against a starting one.
#include "platform/host/registry/WineServer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <optional>
#include <string>

#include "platform/WinTypes.h"
#include "platform/host/registry/HostRegistry.h"
#include "tests/support/TempFolder.h"

namespace {

// A child process that holds the lock as wineserver does (a POSIX write lock
// on the first byte of <server folder>/lock) until it is ended.
class LockHolder {
  public:
    explicit LockHolder(const std::filesystem::path& folder) {
        std::filesystem::create_directories(folder);
        const std::string lockFile = (folder / "lock").string();
        int ready[2];
        if (pipe(ready) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            // Only async-signal-safe calls in the child.
            const int fd = open(lockFile.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
            struct flock lock {};
            lock.l_type = F_WRLCK;
            lock.l_whence = SEEK_SET;
            lock.l_start = 0;
            lock.l_len = 1;
            const char result = (fd >= 0 && fcntl(fd, F_SETLK, &lock) == 0) ? 'y' : 'n';
            if (write(ready[1], &result, 1) != 1) _exit(1);
            pause();
            _exit(0);
        }
        close(ready[1]);
        char result = 'n';
        locked_ = read(ready[0], &result, 1) == 1 && result == 'y';
        close(ready[0]);
    }
    ~LockHolder() { Release(); }
    bool Locked() const { return locked_; }
    pid_t Pid() const { return pid_; }
    void Release() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

  private:
    pid_t pid_ = -1;
    bool locked_ = false;
};

// Whether another process finds the lock of `lockFile` taken.
bool LockedForOthers(const std::filesystem::path& lockFile) {
    const std::string name = lockFile.string();
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(name.c_str(), O_RDWR);
        struct flock probe {};
        probe.l_type = F_WRLCK;
        probe.l_whence = SEEK_SET;
        probe.l_len = 1;
        if (fd < 0 || fcntl(fd, F_GETLK, &probe) != 0) _exit(2);
        _exit(probe.l_type == F_UNLCK ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 1;
}

RegValue Sz(const std::string& text) { return RegValue{win::REG_SZ, text + '\0'}; }

std::string ServerName(const std::filesystem::path& prefix) {
    struct stat st {};
    stat(prefix.c_str(), &st);
    char name[64];
    snprintf(name, sizeof name, "server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
             static_cast<unsigned long long>(st.st_ino));
    return name;
}

class WineServerTest : public TempFolderTest {
  protected:
    std::filesystem::path Prefix() const { return temp_.Path() / "prefix"; }
    void SetUp() override {
        std::filesystem::create_directories(Prefix());
        // A prefix of Debian's Wine names its temporary folder; keep it unique.
        debianRoot_ = "wine-regtest-" + temp_.Path().filename().string();
        std::ofstream(Prefix() / "wineserver") << debianRoot_;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path("/tmp") / debianRoot_, ignored);
        const char* tmpdir = std::getenv("TMPDIR");
        if (tmpdir != nullptr)
            std::filesystem::remove_all(std::filesystem::path(tmpdir) / debianRoot_, ignored);
    }
    std::string debianRoot_;
};

}  // namespace

TEST_F(WineServerTest, FoldersOfUpstreamAndDebianWine) {
    const std::vector<std::filesystem::path> folders = WineServerFolders(Prefix());
    const std::string server = ServerName(Prefix());
    ASSERT_GE(folders.size(), 2u);
    EXPECT_EQ(folders.back(),
              std::filesystem::path("/tmp/.wine-" + std::to_string(getuid())) / server);
    const std::filesystem::path debian = std::filesystem::path("/tmp") / debianRoot_ / server;
    EXPECT_NE(std::find(folders.begin(), folders.end(), debian), folders.end());
    std::filesystem::remove(Prefix() / "wineserver");
    EXPECT_EQ(WineServerFolders(Prefix()).size(), 1u);
    EXPECT_TRUE(WineServerFolders(temp_.Path() / "missing").empty());
}

TEST_F(WineServerTest, RunningWineserverRefusesEveryChange) {
    const std::string server = ServerName(Prefix());
    const std::filesystem::path layouts[] = {
        std::filesystem::path("/tmp") / debianRoot_ / server,
        std::filesystem::path("/tmp/.wine-" + std::to_string(getuid())) / server,
    };
    int round = 0;
    for (const std::filesystem::path& folder : layouts) {
        SCOPED_TRACE(folder.string());
        HostRegistry registry(Prefix());
        IRegistry::Key key = 0;
        const std::string path = "Software\\Tarnwick" + std::to_string(++round);
        ASSERT_EQ(registry.OpenKey(RootKey::LocalMachine, path, true, key), 0u);
        const std::string before = TempFolder::ReadFile(Prefix() / "system.reg");

        EXPECT_EQ(registry.CheckWritable(), 0u);
        LockHolder wine(folder);
        ASSERT_TRUE(wine.Locked());
        EXPECT_EQ(registry.CheckWritable(), win::ERROR_LOCK_VIOLATION);
        EXPECT_EQ(registry.SetValue(key, "Name", Sz("x")), win::ERROR_LOCK_VIOLATION);
        const std::string text = registry.LastErrorText();
        EXPECT_NE(text.find("close the programs that run in this Wine prefix"), std::string::npos);
        EXPECT_NE(text.find(std::to_string(wine.Pid())), std::string::npos) << text;
        IRegistry::Key other = 0;
        EXPECT_EQ(registry.OpenKey(RootKey::CurrentUser, "Software\\New", true, other),
                  win::ERROR_LOCK_VIOLATION);
        EXPECT_EQ(registry.DeleteKey(RootKey::LocalMachine, path), win::ERROR_LOCK_VIOLATION);
        EXPECT_EQ(registry.DeleteValue(key, "Name"), win::ERROR_LOCK_VIOLATION);
        EXPECT_EQ(TempFolder::ReadFile(Prefix() / "system.reg"), before);
        EXPECT_FALSE(std::filesystem::exists(Prefix() / "user.reg"));
        // Reading goes on meanwhile.
        RegValue value;
        EXPECT_EQ(registry.QueryValue(key, "Name", value), win::ERROR_FILE_NOT_FOUND);

        wine.Release();
        EXPECT_EQ(registry.SetValue(key, "Name", Sz("x")), 0u);
        EXPECT_EQ(registry.LastErrorText(), "");
        registry.CloseKey(key);
    }
}

TEST_F(WineServerTest, OwnLockKeepsWineFromStarting) {
    const std::vector<std::filesystem::path> folders = WineServerFolders(Prefix());
    {
        WineServerLock lock(Prefix());
        ASSERT_TRUE(lock.Acquired());
        // The folder a starting wineserver would use first now exists, locked.
        EXPECT_TRUE(LockedForOthers(folders.front() / "lock"));
        struct stat st {};
        ASSERT_EQ(stat(folders.front().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
    EXPECT_FALSE(LockedForOthers(folders.front() / "lock"));
    // Another writer's lock is respected like a wineserver's.
    LockHolder other(folders.front());
    ASSERT_TRUE(other.Locked());
    WineServerLock refused(Prefix());
    EXPECT_FALSE(refused.Acquired());
    EXPECT_EQ(refused.Holder(), other.Pid());
}

namespace {

// One process of a made-up /proc: only the files the test gives exist.
struct FakeProcess {
    std::string comm;
    std::string state;                       // as in /proc/PID/stat: S sleeping, Z zombie
    std::optional<std::string> environment;  // NUL-separated, as in /proc/PID/environ
    std::optional<std::filesystem::path> cwd;
};

void Lay(const std::filesystem::path& proc, int pid, const FakeProcess& process) {
    const std::filesystem::path folder = proc / std::to_string(pid);
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "comm") << process.comm;
    std::ofstream(folder / "stat") << pid << " (" << process.comm.substr(0, process.comm.find('\n'))
                                   << ") " << process.state << " 1 1 1";
    if (process.environment) std::ofstream(folder / "environ") << *process.environment;
    if (process.cwd) std::filesystem::create_directory_symlink(*process.cwd, folder / "cwd");
}

std::string Environment(std::initializer_list<std::string> settings) {
    std::string block;
    for (const std::string& setting : settings) block += setting + '\0';
    return block;
}

}  // namespace

TEST_F(WineServerTest, ServerProcessesOnThePrefixAreFoundWhateverTheirTemporaryFolder) {
    // A home whose ~/.wine is the prefix under another name.
    const std::filesystem::path home = temp_.Path() / "home";
    std::filesystem::create_directories(home);
    std::filesystem::create_directory_symlink(Prefix(), home / ".wine");
    const std::filesystem::path elsewhere = temp_.Path() / "elsewhere";
    std::filesystem::create_directories(elsewhere);
    const std::string onPrefix = "/tmp/other/wine-x/" + ServerName(Prefix());
    const std::string onOther = "/tmp/other/wine-x/" + ServerName(elsewhere);
    const std::string prefixSetting = "WINEPREFIX=" + Prefix().string();

    struct Case {
        const char* what;
        FakeProcess process;
        bool found;
    };
    const std::optional<std::string> unreadable;
    const std::string server = "wineserver64\n", running = "S";
    const Case cases[] = {
        {"its WINEPREFIX",
         {server, running, Environment({"HOME=/nowhere", prefixSetting}), {}},
         true},
        {"wineserver32", {"wineserver32\n", running, Environment({prefixSetting}), {}}, true},
        {"another WINEPREFIX",
         {server, running, Environment({"WINEPREFIX=" + elsewhere.string()}), onPrefix},
         false},
        {"~/.wine of its HOME",
         {server, running, Environment({"HOME=" + home.string()}), {}},
         true},
        {"~/.wine of another HOME",
         {server, running, Environment({"HOME=" + elsewhere.string()}), {}},
         false},
        {"no server", {"wine64-preloader\n", running, Environment({prefixSetting}), {}}, false},
        {"a zombie", {server, "Z", Environment({prefixSetting}), {}}, false},
        {"environment unreadable, works in the prefix's server folder",
         {server, running, unreadable, onPrefix},
         true},
        {"environment unreadable, works in another server folder",
         {server, running, unreadable, onOther},
         false},
        {"nothing readable", {server, running, unreadable, {}}, true},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        TempFolder proc;
        Lay(proc.Path(), 4242, test.process);
        EXPECT_EQ(WineServerProcessOn(Prefix(), proc.Path()), test.found ? 4242 : 0);
    }
    TempFolder empty;
    EXPECT_EQ(WineServerProcessOn(Prefix(), empty.Path()), 0);
}

TEST_F(WineServerTest, RealServerWithAnotherTemporaryFolderRefusesTheLock) {
    if (std::system("command -v wineserver >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "Wine is not installed";
    const std::filesystem::path other = temp_.Path() / "other-tmp";
    std::filesystem::create_directories(other);
    const std::string wine =
        "TMPDIR='" + other.string() + "' WINEPREFIX='" + Prefix().string() + "' wineserver";
    struct Ender {
        std::string wine;
        ~Ender() { std::system((wine + " -k; " + wine + " -w").c_str()); }
    } ender{wine};
    ASSERT_EQ(std::system((wine + " -p30 >/dev/null 2>&1 </dev/null").c_str()), 0);
    const pid_t server = WineServerProcessOn(Prefix());
    EXPECT_GT(server, 0);
    WineServerLock lock(Prefix());
    EXPECT_FALSE(lock.Acquired());
    EXPECT_EQ(lock.Holder(), server);
    std::system((wine + " -k; " + wine + " -w").c_str());
    EXPECT_EQ(WineServerProcessOn(Prefix()), 0);
    EXPECT_TRUE(WineServerLock(Prefix()).Acquired());
}
