// Test support for the extraction: a temporary Wine prefix with the volumes'
// folder as the current directory, sets written there by the tests' own
// volume-set writer, and answers to modal dialogs.
#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "extract/CopyingScope.h"
#include "installlog/Unit_Logfile.h"
#include "platform/Platform.h"
#include "platform/host/files/HostFileSystem.h"
#include "tests/support/ModalAnswer.h"
#include "tests/support/QuietWindowServices.h"
#include "tests/support/TempFolder.h"
#include "tests/support/VolumeSetWriter.h"

// A temporary prefix installed as the platform; the current directory is the
// volumes' folder; the installation folder is C:\Program Files\Lingora with an
// open install log in the copying's scope (copying_). Its own forms exist, destroyed after it.
class ExtractTest : public testing::Test {
  protected:
    static constexpr char kTarget[] = "C:\\Program Files\\Lingora";

    void SetUp() override;
    void TearDown() override;

    // The host path of a file below the installation folder (Windows-1252 name).
    std::filesystem::path Installed(const std::string& relative) const;
    std::string InstalledContent(const std::string& relative) const;
    // Closes the log and returns its bytes.
    std::string CloseLog();
    // The log's expected bytes for the given stored names, closed after them.
    static std::string ExpectedLog(const std::vector<std::string>& names);
    void Write(const std::string& stream, const std::vector<std::size_t>& dataSizes,
               std::vector<int> numbers = {}) {
        testset::WriteVolumes(volumes_, stream, dataSizes, std::move(numbers));
    }

    TempFolder temp_;
    std::filesystem::path prefix_;
    std::filesystem::path volumes_;
    std::filesystem::path savedDirectory_;
    std::unique_ptr<HostFileSystem> files_;
    QuietWindowServices windows_;
    std::unique_ptr<ScopedPlatform> platform_;
    std::unique_ptr<TLogFile> log_;
    // The copying's seams: into the log and kTarget, from volumes_.
    std::unique_ptr<TCopyingScope> copying_;
};
