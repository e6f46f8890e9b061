#include "dialogs/Unit_Constants.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class TextsTest : public testing::Test {
  protected:
    void SetUp() override { BuildTexts(); }
    void TearDown() override { ReleaseTexts(); }
};

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

TEST_F(TextsTest, LongTextsAreTheirFragmentsJoinedWithSingleCarriageReturns) {
    EXPECT_EQ(WelcomeText,
              "Welcome to Lingora Setup.  This program will install Lingora 2.0 on your "
              "computer.\r\r\r\rIf you have installed version 1.0 already and you want to update "
              "it to version 2.0, you are recommended to uninstall the old version first.  "
              "Otherwise parts of the old version may be left on your computer.\r\r\r\r"
              "Furthermore you are recommended to close all programs, before you continue.\r\r"
              "If you haven't done this yet, click Cancel to close Lingora Setup and then close "
              "all programs you have opened.\r\r\r\rOtherwise click Next to continue the "
              "installation of Lingora.");
    EXPECT_EQ(OldVersionText,
              "Setup has found Lingora version 1.0 on your computer.  You are recommended to "
              "uninstall that version first, before you install version 2.0.\r\rDo you want to "
              "uninstall version 1.0 now?\r\rIf you click Yes, Setup will be closed and the "
              "uninstall program for version 1.0 will be launched.  Open Setup again to install "
              "version 2.0.");
    EXPECT_EQ(SelectInstallDirText,
              "The program files of Lingora are installed in the following folder.\r\rClick Next "
              "if you want to install the program in that folder.\r\rIf you want to use another "
              "folder, click Browse and choose another folder.");
    EXPECT_EQ(ConfirmSettingsText,
              "If you click Next now, Lingora will be installed with the following settings.\r\r"
              "If you want to change one of the settings below, then click Back.");
    EXPECT_EQ(FinishedText,
              "Setup has installed Lingora on your computer.\r\rIn the installation folder a "
              "Dutch wordlist has been installed which you can use to get to know the program."
              "\r\r\r\rTo complete setup you are recommended to restart your computer.\r\rIf you "
              "don't want to restart your computer now, uncheck the following checkbox.\r\rClick "
              "Finish to complete setup.");
    EXPECT_EQ(ExitText,
              "Setup has not been completed.  If you close Lingora Setup now, the program will "
              "not be installed.\r\rYou can execute the setup program again later to complete "
              "setup.\r\rClick Continue if you want to continue setup.  To abort setup, click "
              "Exit.");
    EXPECT_EQ(BeforeLicenceText,
              "Read the following licence agreement carefully.  You can press Page Down to read "
              "the rest of the agreement.");
    EXPECT_EQ(AfterLicenceText,
              "To install Lingora you must agree with the licence agreement.  Do you agree with "
              "the agreement?");
    EXPECT_EQ(ProgFolderText,
              "Setup will add Lingora to the programs in your Start menu.  Below you can enter in "
              "what folder the program must be placed.  You can also select an existing folder "
              "in the list below.");
}

TEST_F(TextsTest, NoTextButTheLicenceHoldsALineFeed) {
    for (const std::string* text :
         {&OldVersionText, &WelcomeText, &BeforeLicenceText, &AfterLicenceText,
          &SelectInstallDirText, &ProgFolderText, &ConfirmSettingsText, &FinishedText, &ExitText}) {
        EXPECT_EQ(text->find('\n'), std::string::npos) << *text;
        EXPECT_FALSE(text->empty());
    }
}

TEST_F(TextsTest, LicenceIsParagraphsSeparatedByBlankLines) {
    ASSERT_FALSE(LicenceText.empty());
    const std::size_t breaks = Count(LicenceText, "\r\n\r\n");
    EXPECT_GE(breaks, 2u);
    // Every line end is a CR LF pair, and only paragraph breaks occur.
    EXPECT_EQ(Count(LicenceText, "\r"), 2 * breaks);
    EXPECT_EQ(Count(LicenceText, "\n"), 2 * breaks);
    EXPECT_NE(LicenceText.find("Lingora"), std::string::npos);
    EXPECT_NE(LicenceText.find("word list"), std::string::npos);
}

TEST(Texts, AreReleasedAtTheEnd) {
    BuildTexts();
    ReleaseTexts();
    EXPECT_TRUE(WelcomeText.empty());
    EXPECT_TRUE(LicenceText.empty());
    EXPECT_TRUE(ExitText.empty());
}

}  // namespace
