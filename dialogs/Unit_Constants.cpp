#include "dialogs/Unit_Constants.h"

std::string OldVersionText;
std::string WelcomeText;
std::string BeforeLicenceText;
std::string LicenceText;
std::string AfterLicenceText;
std::string SelectInstallDirText;
std::string ProgFolderText;
std::string ConfirmSettingsText;
std::string FinishedText;
std::string ExitText;

namespace {
constexpr char CR2[] = "\r\r";
constexpr char CR4[] = "\r\r\r\r";
constexpr char ParagraphBreak[] = "\r\n\r\n";
}  // namespace

void BuildTexts() {
    OldVersionText = std::string(
                         "Setup has found Lingora version 1.0 on your computer.  You are "
                         "recommended to uninstall that version first, before you install "
                         "version 2.0.") +
                     CR2 + "Do you want to uninstall version 1.0 now?" + CR2 +
                     "If you click Yes, Setup will be closed and the uninstall program for "
                     "version 1.0 will be launched.  Open Setup again to install version " +
                     VersionText + ".";

    WelcomeText =
        std::string(
            "Welcome to Lingora Setup.  This program will install Lingora 2.0 on "
            "your computer.") +
        CR4 +
        "If you have installed version 1.0 already and you want to update it to "
        "version " +
        VersionText +
        ", you are recommended to uninstall the old version first.  Otherwise parts "
        "of the old version may be left on your computer." +
        CR4 + "Furthermore you are recommended to close all programs, before you continue." + CR2 +
        "If you haven't done this yet, click Cancel to close Lingora Setup and then "
        "close all programs you have opened." +
        CR4 + "Otherwise click Next to continue the installation of Lingora.";

    BeforeLicenceText =
        "Read the following licence agreement carefully.  You can press Page Down to read the "
        "rest of the agreement.";

    LicenceText =
        std::string(
            "LINGORA 2.0 LICENCE AGREEMENT. This agreement is between you and the publisher of "
            "Lingora, a program for keeping and practising word lists. By installing, copying or "
            "using Lingora you accept this agreement.") +
        ParagraphBreak +
        "1. Licence. You may install and use one copy of Lingora on one computer at a time. You "
        "may make one copy of the program files for backup. The word lists that you make with "
        "Lingora are yours, and you may use, copy and share them as you like." +
        ParagraphBreak +
        "2. Restrictions. You may not rent, lease, sell or lend Lingora, and you may not "
        "distribute copies of it without the publisher's written permission. You may not "
        "reverse engineer, decompile or disassemble the program, except where the law allows "
        "it." +
        ParagraphBreak +
        "3. Word lists delivered with Lingora. The sample word lists that come with Lingora are "
        "meant for getting to know the program. You may change them and use them for your own "
        "study." +
        ParagraphBreak +
        "4. No warranty. Lingora is provided \"as is\", without warranty of any kind. The "
        "publisher does not warrant that the program is free of errors or that the translations "
        "in its word lists are correct. The whole risk of using the program is yours." +
        ParagraphBreak +
        "5. Limitation of liability. The publisher is not liable for any damage, including loss "
        "of data or of profit, that arises from the use of Lingora or from being unable to use "
        "it, even when told of the possibility of such damage." +
        ParagraphBreak +
        "6. End. This licence ends when you break any of its terms. You must then remove every "
        "copy of Lingora from your computers.";

    AfterLicenceText =
        "To install Lingora you must agree with the licence agreement.  Do you agree with the "
        "agreement?";

    SelectInstallDirText =
        std::string("The program files of Lingora are installed in the following folder.") + CR2 +
        "Click Next if you want to install the program in that folder." + CR2 +
        "If you want to use another folder, click Browse and choose another folder.";

    ProgFolderText =
        "Setup will add Lingora to the programs in your Start menu.  Below you can enter in what "
        "folder the program must be placed.  You can also select an existing folder in the list "
        "below.";

    ConfirmSettingsText =
        std::string(
            "If you click Next now, Lingora will be installed with the following settings.") +
        CR2 + "If you want to change one of the settings below, then click Back.";

    FinishedText = std::string("Setup has installed Lingora on your computer.") + CR2 +
                   "In the installation folder a Dutch wordlist has been installed which you can "
                   "use to get to know the program." +
                   CR4 + "To complete setup you are recommended to restart your computer." + CR2 +
                   "If you don't want to restart your computer now, uncheck the following "
                   "checkbox." +
                   CR2 + "Click Finish to complete setup.";

    ExitText = std::string(
                   "Setup has not been completed.  If you close Lingora Setup now, the program "
                   "will not be installed.") +
               CR2 + "You can execute the setup program again later to complete setup." + CR2 +
               "Click Continue if you want to continue setup.  To abort setup, click Exit.";
}

void ReleaseTexts() {
    for (std::string* text :
         {&OldVersionText, &WelcomeText, &BeforeLicenceText, &LicenceText, &AfterLicenceText,
          &SelectInstallDirText, &ProgFolderText, &ConfirmSettingsText, &FinishedText, &ExitText}) {
        text->clear();
        text->shrink_to_fit();
    }
}
