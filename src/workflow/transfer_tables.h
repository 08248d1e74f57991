// The built-in rows of content folders and firmware images: device names, temporary names,
// package names and the messages that go with them.
#pragma once

#include <array>

namespace vantel3 {

struct ContentFolderRow {
  const char* deviceFolder;
  const char* temporaryFolder;
  const char* packageFolder;  // inside the package folder
  const char* transferFailedMessage;
  const char* missingMessage;  // nullptr: not checked before the update
};

// Row 0 goes to the first drive (SD0), rows 1 to 3 to the system drive (SD1).
inline constexpr std::array<ContentFolderRow, 4> ContentFolderTable = {{
    {"Music", "Music_temp", "Music", "MUSIC transfer failed.", nullptr},
    {"locale", "locale_temp", "locale", "LOCALE transfer failed.", "LOCALE is missing."},
    {"brl", "brl_temp", "brl", "BRL transfer failed.", "There is no BRL."},
    {"Daisy", "Daisy_temp", "Daisy", "DAISY transfer failed.", "DAISY is missing."},
}};

struct FirmwareImageRow {
  const char* deviceFile;
  const char* packageFile;  // inside the package folder
  const char* transferFailedMessage;
  const char* missingMessage;
};

// Main firmware (FW), then boot loader (BL); the same images serve both models.
inline constexpr std::array<FirmwareImageRow, 2> FirmwareImageTable = {{
    {"RU3R.bin", "RU3R.bin", "FW transfer failed.", "There is no FW."},
    {"VO3Sboot.bin", "VO3Sboot.bin", "BL transfer failed.", "There is no BL."},
}};

// What the connection step checks in the package, in this order, and its message when the
// file or folder is missing ("Music" is not checked: the update goes on without it).
struct PackageCheck {
  const char* name;
  const char* missingMessage;
};
inline constexpr std::array<PackageCheck, 5> PackagePreCheckTable = {{
    {FirmwareImageTable[0].packageFile, FirmwareImageTable[0].missingMessage},
    {FirmwareImageTable[1].packageFile, FirmwareImageTable[1].missingMessage},
    {ContentFolderTable[1].packageFolder, ContentFolderTable[1].missingMessage},
    {ContentFolderTable[2].packageFolder, ContentFolderTable[2].missingMessage},
    {ContentFolderTable[3].packageFolder, ContentFolderTable[3].missingMessage},
}};

// The Bluetooth image, in the package folder and in the first drive's root.
inline constexpr const char* kBluetoothImageName = "firmware.dfu";

}  // namespace vantel3
