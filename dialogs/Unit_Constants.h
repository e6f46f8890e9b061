// The texts of the wizard. The long texts are built once at start from their
// fragments (BuildTexts, before any window exists) and released at the end
// (ReleaseTexts). Line breaks inside them are single CR characters.
#pragma once

#include <string>

// The product's version as the texts name it.
inline constexpr char VersionText[] = "2.0";

// Long texts, filled by BuildTexts.
extern std::string OldVersionText;        // UninstallOldLabel
extern std::string WelcomeText;           // WelcomeLabel
extern std::string BeforeLicenceText;     // BeforeLicenceLabel
extern std::string LicenceText;           // LicenceMemo: paragraphs separated by CR LF CR LF
extern std::string AfterLicenceText;      // AfterLicenceLabel
extern std::string SelectInstallDirText;  // SelectInstallDirLabel
extern std::string ProgFolderText;        // ProgFolderLabel
extern std::string ConfirmSettingsText;   // ConfirmSettingsLabel
extern std::string FinishedText;          // FinishedLabel
extern std::string ExitText;              // TextLabel of ExitForm

void BuildTexts();
void ReleaseTexts();

// The texts for as long as it lives: built when it is made, released when it
// ends, whatever way the program leaves the scope.
class TTextsScope {
  public:
    TTextsScope() { BuildTexts(); }
    ~TTextsScope() { ReleaseTexts(); }
    TTextsScope(const TTextsScope&) = delete;
    TTextsScope& operator=(const TTextsScope&) = delete;
};

// Captions and short texts.
inline constexpr char ApplicationTitle[] = "Setup";
inline constexpr char MainFormCaption[] = "Lingora Setup";
inline constexpr char AgreeRadioCaption[] = "&Yes, I agree with the licence agreement";
inline constexpr char DisagreeRadioCaption[] = "&No, I do not agree with the licence agreement";
inline constexpr char InstallDirBoxCaption[] = "Installation folder";
inline constexpr char BrowseButtonCaption[] = "B&rowse...";
inline constexpr char RestartCheckboxCaption[] = "&Yes, I want to restart my computer now.";
inline constexpr char FinishButtonCaption[] = "Finish";
inline constexpr char BackButtonCaption[] = "< &Back";
inline constexpr char NextButtonCaption[] = "&Next >";
inline constexpr char CancelButtonCaption[] = "Cancel";
inline constexpr char BrowseDialogTitle[] = "Select a folder";
inline constexpr char FolderErrorText[] =
    "The folder you have filled in, could not be created.  Choose another folder.";
inline constexpr char ConfirmInstallFolderLine[] = "The program will be installed in the folder:";
inline constexpr char ConfirmProgramFolderLine[] =
    "The program will be placed in the Start menu at:";

// The exit question.
inline constexpr char ExitFormCaption[] = "Exit setup";
inline constexpr char ResumeButtonCaption[] = "&Continue";
inline constexpr char ExitButtonCaption[] = "&Exit";

// The backdrop.
inline constexpr char FullScreenFormCaption[] = "Lingora Setup";

// The version-1.0 prompt.
inline constexpr char UninstallOldFormCaption[] = "Lingora Setup";
inline constexpr char YesButtonCaption[] = "Yes";
inline constexpr char NoButtonCaption[] = "No";

// The progress window and the disk change.
inline constexpr char ExtractFormCaption[] = "Copying program files";
inline constexpr char ExtractLabelText[] =
    "The program files are copied to the installation folder.";
inline constexpr char ChangeDiskCaption[] = "Change disk";
inline constexpr char InsertDiskText[] = "Insert disk %dn% in the disk drive and click OK.";
// A volume that its set's digest file does not vouch for.
inline constexpr char DamagedDiskText[] =
    "Disk %dn% is damaged or belongs to another set. Insert disk %dn% of this set in the disk "
    "drive and click OK.";
// The disk prompt's button for a disk that is mounted where Setup does not look,
// and the title of its folder picker.
inline constexpr char BrowseDiskButtonCaption[] = "&Browse...";
inline constexpr char DiskFolderDialogTitle[] = "Select the folder of disk %dn%";
// The kinds of file that the disk picker shows beside the folders.
inline constexpr char DiskPickerFilter[] = "Disk images (*.iso *.ISO)";
inline constexpr char OkButtonCaption[] = "OK";
