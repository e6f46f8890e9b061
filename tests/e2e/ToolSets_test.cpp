// The volume-set tool's sets as Setup reads them: what the builder writes is
// the format byte for byte, and Setup's own copying installs it.
#include <gtest/gtest.h>

#include "extract/Unit_ExtractForm.h"
#include "extract/Unit_ExtractThread.h"
#include "tests/extract/ExtractTestSupport.h"
#include "tests/support/VolumeToolsFixture.h"

using testset::Record;

namespace {

using VolumeToolsTest = VolumeToolsFixture<ExtractTest>;

TEST_F(VolumeToolsTest, BuiltSetIsTheFormatByteForByteAndSetupCopiesIt) {
    const auto records = SampleFiles();
    const BuildResult result = Build(1000);
    EXPECT_EQ(result.files, 4);
    EXPECT_EQ(result.total, 2500 + 900 + 4);
    // Empty files first, then the others in byte order of their stored names.
    const std::string expected = testset::Stream({records[3], records[2], records[0], records[1]});
    std::string stream;
    for (int number = 1; number <= result.volumes; ++number) {
        const std::string volume = Volume(number);
        ASSERT_FALSE(volume.empty());
        EXPECT_LE(volume.size(), 1000u);
        EXPECT_EQ(static_cast<unsigned char>(volume.back()),
                  number < result.volumes ? number + 1 : 0);
        stream += volume.substr(0, volume.size() - 1);
    }
    EXPECT_EQ(stream, expected);
    EXPECT_EQ(result.volumes, 4);

    TExtractThread thread;
    thread.Execute();
    EXPECT_EQ(ExtractForm->ModalResult(), 1);
    for (const Record& record : records) EXPECT_EQ(InstalledContent(record.name), record.data);
}

}  // namespace
