// What the disk tests share: the records of a two-disk set, and the check
// that an installation from its disks is the one from a single folder.
#pragma once

#include <string>
#include <vector>

#include "tests/extract/ExtractTestSupport.h"

class TwoDiskTest : public ExtractTest {
  protected:
    static std::vector<testset::Record> Records() {
        std::vector<testset::Record> records;
        for (int i = 0; i < 6; ++i)
            records.push_back(
                {"Files\\File" + std::to_string(i) + ".dat", testset::Pattern(2500 + 100 * i, i)});
        return records;
    }
    void ExpectInstalledAsFromOneFolder(const std::vector<testset::Record>& records) {
        std::vector<std::string> names;
        for (const testset::Record& record : records) {
            EXPECT_EQ(InstalledContent(record.name), record.data) << record.name;
            names.push_back(record.name);
        }
        EXPECT_EQ(CloseLog(), ExpectedLog(names));
    }
};
