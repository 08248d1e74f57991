// Every text the update steps put on the screen, exactly as the user sees it.
#pragma once

namespace vantel3::msg {

// Connection.
inline constexpr const char* kConnectCable =
    "After connecting Vantel to the USB cable, click “Next.”";
inline constexpr const char* kNextCaption = "Next";
inline constexpr const char* kNextNotPressed = "The Next button was not pressed.";
inline constexpr const char* kSwitchToUpdateMode =
    "While holding down Vantel’s Power button, \nbriefly press and release Button 2 to start the "
    "update.";
inline constexpr const char* kNoDriveAfterNext =
    "The update failed. Click “Retry” to \nstart over from the beginning.";
inline constexpr const char* kNotConnected =
    "The update can't proceed because it's not connected to Vantel. End the update.";
inline constexpr const char* kNoVersionFile =
    "The Vantel version file cannot be found.\n Please try again.\n If the problem persists, try "
    "changing the cable, rebooting Vantel, and then retry.";

// Update view and end view.
inline constexpr const char* kInProgress =
    "The update is in progress. Do not disconnect the cable until it is complete.";
inline constexpr const char* kSuccess =
    "Please keep the cable connected until you hear the voice prompt indicating the update is "
    "complete on the Vantel.";
inline constexpr const char* kFailedVersionFormat =
    "VANTEL %s version update failed, please try again.";
inline constexpr const char* kRetryCaption = "Retry";
inline constexpr const char* kExitCaption = "Exit";

// Run driver, after the first stage.
inline constexpr const char* kDriveNotBack = "Failed. Please try again.";
inline constexpr const char* kNotSecondGeneration = "New version Failed. Please try again.";

// Transfers and markers.
inline constexpr const char* kWentIncorrectly = "The update went incorrectly. Please try again.";
inline constexpr const char* kNoResponse = "No response from VANTEL.";
inline constexpr const char* kBtFailed = "BT Failed";
inline constexpr const char* kSd0NotClosed =
    "SD0 has not closed.\nThe MCU may not have switched to update mode.";
inline constexpr const char* kSd1NotOpened =
    "SD1 did not open.\nThe MCU may not have been able to open the system drive.";
inline constexpr const char* kSd1NotWritable =
    "SD1가 열렸지만 아직 복사 가능한 상태가 아닙니다.\n잠시 후 다시 시도해 주세요.";

// Recovery.
inline constexpr const char* kCleaningUp =
    "We're cleaning up a previously interrupted update. Please be patient and don't unplug your "
    "cable.";
inline constexpr const char* kRestoreFailed = "DFU restore failed";

}  // namespace vantel3::msg
