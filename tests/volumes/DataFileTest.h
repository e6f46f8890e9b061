// A fixture for the volume reader's tests: a temporary prefix's drives with the
// host's files installed as the platform, a volumes' folder as the current
// directory, and the installation folder C:\Program Files\Lingora. The names
// that the reader reports before it creates each file are kept, each with
// whether its file existed at that moment.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "tests/support/TempDrive.h"
#include "tests/support/TempFolder.h"
#include "tests/support/VolumeSetWriter.h"
#include "volumes/Unit_DataFile.h"

class DataFileTest : public testing::Test {
  protected:
    static constexpr char kTarget[] = "C:\\Program Files\\Lingora";

    void SetUp() override {
        prefix_ = temp_.Path() / "prefix";
        drive_ = std::make_unique<TempDrive>(prefix_);
        volumes_ = temp_.Path() / "volumes";
        std::filesystem::create_directories(volumes_);
        savedDirectory_ = std::filesystem::current_path();
        std::filesystem::current_path(volumes_);
        ASSERT_TRUE(Files().MakeSureDirectoryPathExists(std::string(kTarget) + "\\"));
    }
    void TearDown() override {
        ResetOutFile();
        drive_.reset();
        std::filesystem::current_path(savedDirectory_);
    }

    void WriteVolume(const std::string& bytes) { temp_.WriteFile("volumes/Setup.d01", bytes); }
    TDataFile Open() {
        return TDataFile(
            "Setup.d01",
            [this](const std::string& name) {
                reported_.push_back(name);
                existedWhenReported_.push_back(std::filesystem::exists(Installed(name)));
            },
            kTarget);
    }

    // The host path of a file below the installation folder (Windows-1252 name).
    std::filesystem::path Installed(const std::string& relative) const {
        return TempFolder::BelowFolder(prefix_ / "drive_c" / "Program Files" / "Lingora", relative);
    }
    std::string InstalledContent(const std::string& relative) const {
        return TempFolder::ReadFile(Installed(relative));
    }

    TempFolder temp_;
    std::filesystem::path prefix_;
    std::filesystem::path volumes_;
    std::filesystem::path savedDirectory_;
    std::unique_ptr<TempDrive> drive_;
    std::vector<std::string> reported_;
    std::vector<bool> existedWhenReported_;
};
