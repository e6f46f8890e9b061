// What the tests of the volume-set builder do, over a fixture Base that gives
// temp_ (a TempFolder) and volumes_ (the set's folder): a source folder to
// build from, the builder run on it, the volumes' bytes, and a sample of files
// with the names and sizes the format must carry.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/TempFolder.h"
#include "tests/support/VolumeSetWriter.h"
#include "tools/VolumeSetBuilder.h"

template <typename Base>
class VolumeToolsFixture : public Base {
  protected:
    std::filesystem::path Source() const { return this->temp_.Path() / "source"; }
    void Add(const std::string& relativeUtf8, const std::string& content) {
        this->temp_.WriteFile("source/" + relativeUtf8, content);
    }
    BuildResult Build(std::int64_t volumeSize) {
        return BuildVolumeSet({Source(), this->volumes_, volumeSize});
    }
    std::string Volume(int number) const {
        return TempFolder::ReadFile(this->volumes_ / testset::Name(number));
    }
    std::vector<testset::Record> SampleFiles() {
        std::vector<testset::Record> records = {
            {"Lingora.exe", testset::Pattern(2500, 1)},
            {"Sub\\Deeper\\File.dat", testset::Pattern(900, 2)},
            {"Caf\xE9.txt", "caf\xE9"},
            {"Empty.txt", ""},
        };
        Add("Lingora.exe", records[0].data);
        Add("Sub/Deeper/File.dat", records[1].data);
        Add("Café.txt", records[2].data);
        Add("Empty.txt", "");
        return records;
    }
};

// The folders alone: a temporary folder with the set's folder "volumes" in it,
// the current directory while a test runs.
class VolumeFolders : public testing::Test {
  protected:
    void SetUp() override {
        volumes_ = temp_.Path() / "volumes";
        std::filesystem::create_directories(volumes_);
        savedDirectory_ = std::filesystem::current_path();
        std::filesystem::current_path(volumes_);
    }
    void TearDown() override { std::filesystem::current_path(savedDirectory_); }

    TempFolder temp_;
    std::filesystem::path volumes_;
    std::filesystem::path savedDirectory_;
};
