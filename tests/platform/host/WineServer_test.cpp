// A running wineserver (seen by the lock it holds) keeps every change from the
// registry files, and our own writes hold that lock against a starting one.
#include "platform/host/WineServer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/WinTypes.h"
#include "platform/host/HostRegistry.h"
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
