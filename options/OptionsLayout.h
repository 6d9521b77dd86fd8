#pragma once
// Where every control of the options page sits, in pixels of its parent, in one table: the page
// fills the page control's page area (439 x 222 control, tabs above), as the two first pages do.

namespace OptionsLayout {

struct Place {
    const char* name;   // the control's objectName
    const char* parent; // objectName of the parent; "OptionsPage" for the page itself
    int left;
    int top;
    int width;
    int height;
};

// The page area of the page control, which every control must fit.
inline constexpr int kPageWidth = 431;
inline constexpr int kPageHeight = 194;

inline constexpr Place kPlaces[] = {
    {"gbEncryption", "OptionsPage", 4, 2, 423, 44},
    {"lblEncryption", "gbEncryption", 10, 20, 54, 12},
    {"CmbEncryption", "gbEncryption", 66, 16, 80, 20},
    {"lblEncryptionHint", "gbEncryption", 154, 20, 262, 12},
    {"gbCertificates", "OptionsPage", 4, 48, 423, 86},
    {"LvCertificates", "gbCertificates", 8, 16, 328, 64},
    {"BtnForget", "gbCertificates", 340, 16, 75, 25},
    // Reserved for the backup options and the remembered servers; laid out now so that the page
    // does not move when they arrive.
    {"gbBackupOptions", "OptionsPage", 4, 136, 290, 56},
    {"ChkShowProgress", "gbBackupOptions", 8, 16, 130, 17},
    {"ChkVerifyAfterBackup", "gbBackupOptions", 150, 16, 130, 17},
    {"ChkCopyOnly", "gbBackupOptions", 8, 35, 130, 17},
    {"ChkCompression", "gbBackupOptions", 150, 35, 134, 17},
    {"gbServers", "OptionsPage", 298, 136, 129, 56},
    {"LsbServers", "gbServers", 6, 15, 78, 38},
    {"BtnForgetServer", "gbServers", 87, 15, 37, 22},
};

} // namespace OptionsLayout
