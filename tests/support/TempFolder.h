// A temporary host folder for one test, removed with everything in it afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // Writes a file below the folder (creating its folders) and returns its path.
    std::filesystem::path WriteFile(const std::string& relative, const std::string& content) const;
    // The whole content of a host file; empty when it cannot be read.
    static std::string ReadFile(const std::filesystem::path& file);
    // The host path below a host folder of a relative Windows path (backslashes,
    // Windows-1252 names), as a prefix's drive lays it out.
    static std::filesystem::path BelowFolder(const std::filesystem::path& folder,
                                             const std::string& windowsRelative);

  private:
    std::filesystem::path path_;
};

// A fixture that gives each test its own temporary folder.
class TempFolderTest : public testing::Test {
  protected:
    TempFolder temp_;
};
