#include "tests/extract/ExtractTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <fstream>

#include "extract/Unit_DataFile.h"
#include "extract/Unit_ExtractForm.h"
#include "extract/Unit_ExtractThread.h"
#include "platform/CodePage.h"
#include "platform/host/WinePrefix.h"
#include "wizard/Unit_Constants.h"
#include "wizard/Unit_ExitForm.h"

namespace testset {

std::string Int32(std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    std::string bytes;
    for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>((bits >> shift) & 0xFF);
    return bytes;
}

std::string Header(const std::string& name, std::int32_t size) {
    return name + std::string(1, '\0') + Int32(size);
}

std::string Stream(std::int32_t total, const std::vector<Record>& records) {
    std::string stream = Int32(total);
    for (const Record& record : records)
        stream += Header(record.name, static_cast<std::int32_t>(record.data.size())) + record.data;
    return stream;
}

std::string Stream(const std::vector<Record>& records) {
    std::int64_t total = 0;
    for (const Record& record : records) total += static_cast<std::int64_t>(record.data.size());
    return Stream(static_cast<std::int32_t>(total), records);
}

std::string Name(int number) {
    return std::string("Setup.") + (number < 10 ? "d0" : "d") + std::to_string(number);
}

void WriteVolumes(const std::filesystem::path& folder, const std::string& stream,
                  const std::vector<std::size_t>& dataSizes, std::vector<int> numbers,
                  unsigned char lastByte) {
    // A new set replaces every volume of the last one.
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename().string().rfind("Setup.", 0) == 0)
            std::filesystem::remove(entry.path());
    const std::size_t count = dataSizes.size() + 1;
    for (std::size_t i = numbers.size(); i < count; ++i) numbers.push_back(static_cast<int>(i + 1));
    std::size_t at = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t size = i + 1 < count ? dataSizes[i] : stream.size() - at;
        std::ofstream out(folder / Name(numbers[i]), std::ios::binary | std::ios::trunc);
        out << stream.substr(at, size);
        out << static_cast<char>(i + 1 < count ? numbers[i + 1] : lastByte);
        at += size;
    }
}

std::string Pattern(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    unsigned state = seed * 2654435761u + 1;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 16);
    }
    return bytes;
}

}  // namespace testset

void ExtractTest::SetUp() {
    prefix_ = temp_.Path() / "prefix";
    WinePrefix(prefix_).EnsureExists();
    volumes_ = temp_.Path() / "volumes";
    std::filesystem::create_directories(volumes_);
    savedDirectory_ = std::filesystem::current_path();
    std::filesystem::current_path(volumes_);
    files_ = std::make_unique<HostFileSystem>(prefix_);
    platform_ =
        std::make_unique<ScopedPlatform>(Platform{files_.get(), nullptr, nullptr, &windows_});
    if (ExitText.empty()) BuildTexts();
    if (ExitForm == nullptr) ExitForm = new TExitForm();
    if (ExtractForm == nullptr) ExtractForm = new TExtractForm();
    ASSERT_TRUE(Files().MakeSureDirectoryPathExists(std::string(kTarget) + "\\"));
    log_ = std::make_unique<TLogFile>(kTarget, "Lingora");
    ExtractPars.LogFile = log_.get();
    ExtractPars.TargetFolder = kTarget;
    ExtractStepObserver = nullptr;
}

void ExtractTest::TearDown() {
    ExtractForm->DisposeThread();
    ExtractStepObserver = nullptr;
    DataFile.reset();
    ResetOutFile();
    ExtractPars = {};
    log_.reset();
    platform_.reset();
    std::filesystem::current_path(savedDirectory_);
}

std::filesystem::path ExtractTest::Installed(const std::string& relative) const {
    std::filesystem::path path = prefix_ / "drive_c" / "Program Files" / "Lingora";
    std::string part;
    for (const char c : relative + "\\") {
        if (c != '\\') {
            part += c;
            continue;
        }
        path /= AnsiToUtf8(part);
        part.clear();
    }
    return path;
}

std::string ExtractTest::InstalledContent(const std::string& relative) const {
    return TempFolder::ReadFile(Installed(relative));
}

std::string ExtractTest::CloseLog() {
    if (log_ && log_->IsOpen()) log_->Close();
    return TempFolder::ReadFile(Installed("Install.log"));
}

std::string ExtractTest::ExpectedLog(const std::vector<std::string>& names) {
    std::string log =
        "*** Don't change or delete this file ***\r\n\r\n{program folder}\r\nLingora\r\n"
        "\r\n{program files}\r\nLingohlp.GID\r\n";
    for (const std::string& name : names) log += name + "\r\n";
    return log + "\r\n";
}

void AnswerModal(const QString& title, std::function<void(QWidget*)> answer, int timeoutMs) {
    auto* timer = new QTimer();
    auto waited = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, waited, title, answer, timeoutMs] {
        QWidget* modal = QApplication::activeModalWidget();
        *waited += 10;
        if (modal != nullptr && modal->windowTitle() == title && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            answer(modal);
        } else if (*waited > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "no dialog " << title.toStdString() << " appeared";
        }
    });
    timer->start(10);
}

void ClickButton(QWidget* dialog, const QString& text) {
    for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
        if (button->text() == text) {
            button->click();
            return;
        }
    }
    ADD_FAILURE() << "no button " << text.toStdString() << " in "
                  << dialog->windowTitle().toStdString();
}
