// The marker files: three in the device drive's root that tell the device's firmware what to
// do next, and "fa.bin" beside the program that remembers a failed Bluetooth upgrade.
// Markers that hand the drive to the device are written only after everything written to
// that drive is on the medium, and are flushed themselves.
#pragma once

#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "platform/program_path.h"

namespace vantel3 {

enum class DeviceMarker {
  kUpdateGo,     // "update_go": one byte 0x07; install the first-stage images
  kFilesCopied,  // "files_cp_ok_pc": empty; the copying to this drive is done
  kFirmwareNo,   // "firmware.no": empty; no Bluetooth update is needed
};

// The marker's file name.
const char* DeviceMarkerName(DeviceMarker marker);

// Flushes the drive that holds `deviceRoot` (its file system and root folder), then creates
// or replaces the marker with its content and flushes it and the root folder. Returns 1 when
// the marker is on the medium. Returns 0 when the drive could not be flushed (the marker is
// then not written, since the device might act on it before the data is there), when the
// marker could not be created or written, or when it could not be flushed (it may then
// exist); what was flushed stays flushed.
[[nodiscard]] int WriteDeviceMarker(FileSystem& fs, std::string_view deviceRoot,
                                    DeviceMarker marker);

// The two halves of WriteDeviceMarker, for a caller that reads its copies back from the
// medium in between. FlushDeviceDrive: 1 when the drive's file system and root folder are
// flushed. WriteFlushedDeviceMarker: the marker as above, without the flush before it; only
// for a drive flushed by FlushDeviceDrive with nothing written to it since.
[[nodiscard]] int FlushDeviceDrive(FileSystem& fs, std::string_view deviceRoot);
[[nodiscard]] int WriteFlushedDeviceMarker(FileSystem& fs, std::string_view deviceRoot,
                                           DeviceMarker marker);

inline constexpr const char* kProgramMarkerName = "fa.bin";

// "fa.bin" in the folder of the program's executable (up to the later of the last "/" and
// the last "\"); "fa.bin" (current folder) when the program's path holds no separator.
// Empty when the path would exceed kMaxPathChars.
std::string GetProgramMarkerPath(ProgramPath& programPath);

// Creates or replaces "fa.bin" with its one byte 0x01 and flushes it. Failures are silent;
// nothing is written when GetProgramMarkerPath is empty.
void WriteProgramMarker(FileSystem& fs, ProgramPath& programPath);

}  // namespace vantel3
