// The fixed texts and names of the window, the views and the About box.
#pragma once

namespace vantel3::ui_text {

// The program's name: the caption of every message box that has none of its own.
inline constexpr const char* kApplicationName = "vantel3-updater";
inline constexpr const char* kMainWindowTitle = "Vantel3 Update tool";
// The per-user settings store's name (nothing is ever stored).
inline constexpr const char* kSettingsStoreName = "(Vantel.Co)Vantel3 updater";

inline constexpr const char* kAboutTitle = "Vantel3Updater 정보";
inline constexpr const char* kAboutText = "Vantel3Updater, 버전 1.0";
inline constexpr const char* kAboutOk = "확인";
inline constexpr const char* kAboutMenuItem = "Vantel3Updater 정보(&A)...";
// The About item's command; 16 to 31 all open the About box.
inline constexpr int kAboutCommand = 16;

// The Next button's caption until the update run first sets it.
inline constexpr const char* kNextTemplateText = " 다음";

// The message font, with stand-ins for systems without it.
inline constexpr const char* kMessageFontFamily = "맑은 고딕";
inline constexpr const char* kMessageFontFamilyLatinName = "Malgun Gothic";
inline constexpr const char* kMessageFontFallback = "Noto Sans CJK KR";

// Names for assistive technology of the controls that have no text of their own.
inline constexpr const char* kUpdateProgressName = "Update progress";
inline constexpr const char* kRestoreProgressName = "Restore progress";
inline constexpr const char* kAboutIconName = "Vantel3Updater";

// Makes every message box close at once (and print its text on stderr), so that tests can
// run the program unattended.
inline constexpr const char* kAutoCloseMessagesEnv = "VANTEL3_TEST_AUTOCLOSE_MESSAGES";

}  // namespace vantel3::ui_text
