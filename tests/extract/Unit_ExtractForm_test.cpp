// The progress window with the real thread: the hand-over to the running
// user-interface thread, the disk prompt, Cancel with its exit question, the
// fatal error report, and a kill in the middle of a copy.
#include "extract/Unit_ExtractForm.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <QAbstractButton>
#include <QFileDialog>
#include <QKeySequence>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "dialogs/ErrorReport.h"
#include "dialogs/Unit_ExitForm.h"
#include "extract/Unit_ExtractThread.h"
#include "platform/Exceptions.h"
#include "platform/WinTypes.h"
#include "tests/extract/ExtractTestSupport.h"
#include "tests/support/LayoutCheck.h"

using testset::Pattern;
using testset::Record;
using testset::Stream;

namespace {

// Counts how often a window is shown.
class ShowCounter : public QObject {
  public:
    explicit ShowCounter(QWidget* window) : window_(window) { window->installEventFilter(this); }
    ~ShowCounter() override { window_->removeEventFilter(this); }
    int shows = 0;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && event->type() == QEvent::Show) ++shows;
        return false;
    }

  private:
    QWidget* window_;
};

class ExtractFormTest : public ExtractTest {
  protected:
    std::vector<Record> ManyFiles(int count, std::size_t size) {
        std::vector<Record> records;
        for (int i = 0; i < count; ++i)
            records.push_back({"Files\\File" + std::to_string(i) + ".dat", Pattern(size, i)});
        return records;
    }
    void ExpectInstalled(const std::vector<Record>& records) {
        for (const Record& record : records)
            EXPECT_EQ(InstalledContent(record.name), record.data) << record.name;
    }
    // Clicks Cancel, from the event loop, when the given copy step starts.
    void CancelAtCopyStep(int which) {
        auto copies = std::make_shared<int>(0);
        ExtractStepObserver = [this, copies, which](const char* step) {
            if (ExitForm->isVisible()) stepWhilePaused_ = true;
            if (std::string(step) == "CopyStep" && ++*copies == which)
                QTimer::singleShot(0, ExtractForm->CancelButton, &QPushButton::click);
            stepsRun_.fetch_add(1);
        };
    }
    bool stepWhilePaused_ = false;
    std::atomic<int> stepsRun_{0};
};

TEST_F(ExtractFormTest, LayoutAndTexts) {
    TExtractForm form;
    EXPECT_EQ(form.windowTitle(), "Copying program files");
    EXPECT_TRUE(form.ExtractLabel->wordWrap());
    EXPECT_EQ(form.ExtractLabel->text(),
              "The program files are copied to the installation folder.");
    EXPECT_EQ(form.ProgressBar->minimum(), 0);
    EXPECT_EQ(form.ProgressBar->maximum(), 100);
    EXPECT_EQ(form.CancelButton->text(), "Cancel");
    EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowSystemMenuHint);
    // Text above the bar above the button, as a person reads them.
    EXPECT_LT(form.ExtractLabel->geometry().top(), form.ProgressBar->geometry().top());
    EXPECT_LT(form.ProgressBar->geometry().bottom(), form.CancelButton->geometry().top());
    form.ProgressBar->setValue(40);
    ExpectLaidOut(form);
}

TEST_F(ExtractFormTest, NormalEndClosesWithOneAndNoQuestion) {
    const auto records = ManyFiles(40, 3000);
    Write(Stream(records), {50000});
    ShowCounter questions(ExitForm);
    EXPECT_EQ(ExtractForm->exec(), 1);
    EXPECT_EQ(questions.shows, 0);
    ExpectInstalled(records);
    EXPECT_EQ(ExtractForm->ProgressBar->value(), 99);
}

TEST_F(ExtractFormTest, MissingDiskIsAskedForUntilItIsThere) {
    const auto records = ManyFiles(10, 2000);
    Write(Stream(records), {7000});
    std::filesystem::rename(volumes_ / "Setup.d02", temp_.Path() / "aside");
    const QString prompt = "Insert disk 2 in the disk drive and click OK.";
    std::vector<QString> texts;
    auto answer = [&texts](const QString& button) {
        return [&texts, button](QWidget* dialog) {
            auto* box = qobject_cast<QMessageBox*>(dialog);
            ASSERT_NE(box, nullptr);
            texts.push_back(box->text());
            EXPECT_EQ(box->icon(), QMessageBox::Question);
            // OK, Browse... and Cancel.
            EXPECT_EQ(box->buttons().size(), 3);
            ClickButton(dialog, button);
        };
    };
    // OK while the disk is missing asks again; Cancel and Continue ask again;
    // OK once it is there goes on.
    AnswerModal("Change disk", [&](QWidget* dialog) {
        answer("OK")(dialog);
        AnswerModal("Change disk", [&](QWidget* dialog) {
            answer("Cancel")(dialog);
            AnswerModal("Exit setup", [&](QWidget* exit) {
                ClickButton(exit, "&Continue");
                AnswerModal("Change disk", [&](QWidget* dialog) {
                    std::filesystem::rename(temp_.Path() / "aside", volumes_ / "Setup.d02");
                    answer("OK")(dialog);
                });
            });
        });
    });
    EXPECT_EQ(ExtractForm->exec(), 1);
    EXPECT_EQ(texts, std::vector<QString>(3, prompt));
    EXPECT_EQ(windows_.Beeps(), std::vector<std::uint32_t>(3, win::MB_ICONQUESTION));
    EXPECT_FALSE(ExtractAborted);
    ExpectInstalled(records);
}

TEST_F(ExtractFormTest, BrowseAddsAFolderToTheSearchAndTakesOneThatHoldsTheDiskAtOnce) {
    const auto records = ManyFiles(12, 2000);
    Write(Stream(records), {8000, 8000});
    const std::filesystem::path elsewhere = temp_.Path() / "elsewhere";
    std::filesystem::create_directories(elsewhere / "empty");
    std::filesystem::rename(volumes_ / "Setup.d02", temp_.Path() / "aside2");
    std::filesystem::rename(volumes_ / "Setup.d03", elsewhere / "Setup.d03");
    std::vector<QString> pickers;
    // The picker's answer: the folder chosen, then what comes after it.
    const auto choose = [&pickers](const std::filesystem::path& folder,
                                   std::function<void()> then = {}) {
        return [&pickers, folder, then](QWidget* w) {
            auto* picker = qobject_cast<QFileDialog*>(w);
            ASSERT_NE(picker, nullptr);
            pickers.push_back(picker->windowTitle());
            const QString path = QString::fromStdString(folder.string());
            picker->setDirectory(path);
            picker->selectFile(path);
            if (then) then();
            QMetaObject::invokeMethod(picker, "accept");
        };
    };
    // Disk 3: Browse to the folder that holds it, which goes on at once.
    const auto third = [&](QWidget* dialog) {
        EXPECT_EQ(qobject_cast<QMessageBox*>(dialog)->text(),
                  "Insert disk 3 in the disk drive and click OK.");
        AnswerModal("Select the folder of disk 3", choose(elsewhere));
        ClickButton(dialog, "&Browse...");
    };
    // Disk 2: Browse, a folder without it (the prompt asks on), the disk put
    // there, OK.
    const auto again = [&](QWidget* dialog) {
        std::filesystem::rename(temp_.Path() / "aside2", elsewhere / "empty" / "Setup.d02");
        ClickButton(dialog, "OK");
        AnswerModal("Change disk", third);
    };
    AnswerModal("Change disk", [&](QWidget* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), "Insert disk 2 in the disk drive and click OK.");
        EXPECT_EQ(box->defaultButton()->text(), "OK");
        EXPECT_EQ(box->escapeButton()->text(), "Cancel");
        ExpectLaidOut(*dialog);
        const QString shots = qEnvironmentVariable("SETUP_SCREENSHOTS");
        if (!shots.isEmpty()) dialog->grab().save(shots + "/07-change-disk.png");
        AnswerModal("Select the folder of disk 2",
                    choose(elsewhere / "empty", [&] { AnswerModal("Change disk", again); }));
        // Alt+B is Browse's key (Qt's own shortcut dispatch is not retested here).
        QAbstractButton* browse = nullptr;
        for (QAbstractButton* button : box->buttons())
            if (button->text() == "&Browse...") browse = button;
        ASSERT_NE(browse, nullptr);
        EXPECT_EQ(browse->shortcut(), QKeySequence(Qt::ALT | Qt::Key_B));
        browse->click();
    });
    EXPECT_EQ(ExtractForm->exec(), 1);
    EXPECT_EQ(pickers,
              (std::vector<QString>{"Select the folder of disk 2", "Select the folder of disk 3"}));
    EXPECT_EQ(VolumeFolder, elsewhere.string());
    ExpectInstalled(records);
}

TEST_F(ExtractFormTest, DamagedDiskIsAskedForAgainOffTheWindowsThread) {
    const auto records = ManyFiles(10, 2000);
    Write(Stream(records), {7000});
    testset::WriteDigestFile(volumes_, testset::kSetIdentity);
    const std::string good = TempFolder::ReadFile(volumes_ / "Setup.d02");
    std::string bad = good;
    bad[3000] = static_cast<char>(bad[3000] ^ 0x01);
    std::ofstream(volumes_ / "Setup.d02", std::ios::binary | std::ios::trunc) << bad;
    QString text;
    bool laidOut = false;
    AnswerModal("Change disk", [&](QWidget* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        ASSERT_NE(box, nullptr);
        text = box->text();
        EXPECT_EQ(box->icon(), QMessageBox::Question);
        laidOut = true;
        ExpectLaidOut(*dialog);
        // SETUP_SCREENSHOTS names a folder for a picture of the prompt.
        const QString shots = qEnvironmentVariable("SETUP_SCREENSHOTS");
        if (!shots.isEmpty()) dialog->grab().save(shots + "/07-damaged-disk.png");
        std::ofstream(volumes_ / "Setup.d02", std::ios::binary | std::ios::trunc) << good;
        ClickButton(dialog, "OK");
    });
    EXPECT_EQ(ExtractForm->exec(), 1);
    EXPECT_TRUE(laidOut);
    EXPECT_EQ(text,
              "Disk 2 is damaged or belongs to another set. Insert disk 2 of this set in the "
              "disk drive and click OK.");
    EXPECT_EQ(windows_.Beeps(), std::vector<std::uint32_t>{win::MB_ICONQUESTION});
    ExpectInstalled(records);
}

TEST_F(ExtractFormTest, ExitAtTheDiskPromptEndsWithTwoWithoutASecondQuestion) {
    const auto records = ManyFiles(10, 2000);
    Write(Stream(records), {7000}, {1, 12});
    std::filesystem::remove(volumes_ / "Setup.d12");
    ShowCounter questions(ExitForm);
    QString text;
    AnswerModal("Change disk", [&](QWidget* dialog) {
        text = qobject_cast<QMessageBox*>(dialog)->text();
        ClickButton(dialog, "Cancel");
        AnswerModal("Exit setup", [](QWidget* exit) { ClickButton(exit, "&Exit"); });
    });
    EXPECT_EQ(ExtractForm->exec(), 2);
    EXPECT_EQ(text, "Insert disk 12 in the disk drive and click OK.");
    EXPECT_TRUE(ExtractAborted);
    EXPECT_EQ(questions.shows, 1);
    // What the first volume held stays in place.
    EXPECT_EQ(InstalledContent("Files\\File0.dat"), records[0].data);
}

TEST_F(ExtractFormTest, CancelThenContinueResumesAndEndsWithOne) {
    const auto records = ManyFiles(50, 4000);
    Write(Stream(records), {60000, 60000});
    CancelAtCopyStep(10);
    ShowCounter questions(ExitForm);
    AnswerModal("Exit setup", [](QWidget* exit) {
        // Let the thread try to hand over further steps while the question is open.
        QTest::qWait(100);
        ClickButton(exit, "&Continue");
    });
    EXPECT_EQ(ExtractForm->exec(), 1);
    EXPECT_EQ(questions.shows, 1);
    EXPECT_FALSE(stepWhilePaused_);
    ExpectInstalled(records);
}

TEST_F(ExtractFormTest, EscThenExitEndsWithTwoKeepsFilesAndRunsNoFurtherStep) {
    const auto records = ManyFiles(50, 4000);
    Write(Stream(records), {});
    auto copies = std::make_shared<int>(0);
    ExtractStepObserver = [this, copies](const char* step) {
        if (ExitForm->isVisible()) stepWhilePaused_ = true;
        if (std::string(step) == "CopyStep" && ++*copies == 20)
            QTimer::singleShot(0, ExtractForm,
                               [] { QTest::keyClick(ExtractForm, Qt::Key_Escape); });
        stepsRun_.fetch_add(1);
    };
    AnswerModal("Exit setup", [](QWidget* exit) { ClickButton(exit, "&Exit"); });
    EXPECT_EQ(ExtractForm->exec(), 2);
    EXPECT_FALSE(ExtractAborted);
    const int stepsAtExit = stepsRun_.load();
    QTest::qWait(200);
    EXPECT_EQ(stepsRun_.load(), stepsAtExit);
    EXPECT_FALSE(stepWhilePaused_);
    ASSERT_NE(ExtractForm->ExtractThread(), nullptr);
    EXPECT_TRUE(ExtractForm->ExtractThread()->isRunning());
    EXPECT_TRUE(ExtractForm->ExtractThread()->isInterruptionRequested());
    // The files copied so far stay; the paused thread is disposed of cleanly.
    EXPECT_EQ(InstalledContent("Files\\File0.dat"), records[0].data);
    ExtractForm->DisposeThread();
    EXPECT_EQ(ExtractForm->ExtractThread(), nullptr);
    EXPECT_EQ(stepsRun_.load(), stepsAtExit);
}

TEST_F(ExtractFormTest, StepErrorEndsTheProgramWithTheFatalReportAfterClosingTheLog) {
    // A file where the folder Sub should be: Sub\File.dat cannot be created.
    temp_.WriteFile("prefix/drive_c/Program Files/Lingora/Sub", "in the way");
    Write(Stream({{"First.dat", "1234"}, {"Sub\\File.dat", Pattern(500, 1)}}), {});
    std::string title, text, logAtReport;
    SetFatalErrorHandler([&](const std::string& t, const std::string& x) {
        title = t;
        text = x;
        logAtReport = TempFolder::ReadFile(Installed("Install.log"));
        // Instead of ending the test program: close the window and stop the report.
        QTimer::singleShot(0, ExtractForm, [] { ExtractForm->done(3); });
        throw std::runtime_error("report shown");
    });
    EXPECT_EQ(ExtractForm->exec(), 3);
    SetFatalErrorHandler(nullptr);
    EXPECT_EQ(title, "Application Error");
    EXPECT_EQ(text.rfind("Exception EFCreateError in module Setup at ", 0), 0u) << text;
    EXPECT_NE(text.find("\nCannot create file C:\\Program Files\\Lingora\\Sub\\File.dat."),
              std::string::npos)
        << text;
    // The log was closed (its final empty line written) before the report.
    EXPECT_EQ(logAtReport, ExpectedLog({"First.dat", "Sub\\File.dat"}));
    EXPECT_FALSE(log_->IsOpen());
}

TEST_F(ExtractFormTest, DamagedVolumeEndsTheProgramWithTheFatalReport) {
    Write(Stream({{"..\\Escape.dat", "x"}}), {});
    std::string text;
    SetFatalErrorHandler([&](const std::string&, const std::string& x) {
        text = x;
        QTimer::singleShot(0, ExtractForm, [] { ExtractForm->done(3); });
        throw std::runtime_error("report shown");
    });
    ExtractForm->exec();
    SetFatalErrorHandler(nullptr);
    EXPECT_EQ(text.rfind("Exception EDamagedVolume in module Setup at ", 0), 0u) << text;
    EXPECT_NE(text.find("Setup.d01 is damaged at offset 4"), std::string::npos) << text;
    EXPECT_FALSE(std::filesystem::exists(prefix_ / "drive_c" / "Program Files" / "Escape.dat"));
}

// Run by the next test in a child process: extracts slowly until it is killed.
TEST_F(ExtractFormTest, ChildExtractsUntilKilled) {
    const char* folder = std::getenv("SETUP_EXTRACT_CHILD");
    if (folder == nullptr)
        GTEST_SKIP() << "runs only as the child of KilledCopyLeavesEveryFileLogged";
    platform_.reset();
    log_.reset();
    const std::filesystem::path parent = folder;
    static HostFileSystem files(parent / "prefix");
    static QuietWindowServices windows;
    InstallPlatform(Platform{&files, nullptr, nullptr, &windows});
    std::filesystem::current_path(parent / "volumes");
    static TLogFile log(kTarget, "Lingora");
    static TCopyingScope copying;
    copying.Into(log, kTarget).From({(parent / "volumes").string()});
    ExtractStepObserver = [](const char*) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    };
    ExtractForm->exec();
    ADD_FAILURE() << "the child was not killed";
}

TEST_F(ExtractFormTest, KilledCopyLeavesEveryFileLogged) {
    if (std::getenv("SETUP_EXTRACT_CHILD") != nullptr) GTEST_SKIP();
    const auto records = ManyFiles(300, 1024);
    Write(Stream(records), {100000});
    const std::filesystem::path folder = Installed("Files");
    // The child writes its own log; ours would keep the file locked.
    log_.reset();
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("SETUP_EXTRACT_CHILD", QString::fromStdString(temp_.Path().string()));
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=ExtractFormTest.ChildExtractsUntilKilled"});
    ASSERT_TRUE(child.waitForStarted());
    auto filesOnDisk = [&folder] {
        std::error_code ignored;
        int count = 0;
        for (auto it = std::filesystem::directory_iterator(folder, ignored);
             it != std::filesystem::directory_iterator(); it.increment(ignored))
            ++count;
        return count;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return filesOnDisk() >= 60; }, 20000));
    ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
    ASSERT_TRUE(child.waitForFinished());
    const int onDisk = filesOnDisk();
    EXPECT_LT(onDisk, 300);
    const std::string logText = TempFolder::ReadFile(Installed("Install.log"));
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string line = "Files\\" + entry.path().filename().string() + "\r\n";
        EXPECT_NE(logText.find(line), std::string::npos) << line;
    }
}

}  // namespace
