// A scenario for the simulated device: the device's drives and version file, the timing of
// its reactions, the failures it shows, the package and program folders the workspace lays
// out, and the simulated user (Next click, Retry or Exit). Read from a small JSON document.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/fault_injecting_file_system.h"
#include "platform/file_system.h"

namespace vantel3 {

// How the device is when the scenario starts.
enum class StartMode {
  kNormal,           // SD0 shows up (at `sd0AppearsAtMs`)
  kFirmwareUpgrade,  // an interrupted Bluetooth update: only the firmware-upgrade device
};

// What hidDfuGetProgress returns on top of the plain percentage.
enum class ProgressStyle {
  kPlain,      // 0..100
  kHighBits,   // the percentage in the low 8 bits, garbage above (0x5A00 | p)
  kJumps,      // 0, 40, 80, then 100 when done
  kOvershoot,  // like plain, but 200 instead of 100 when done
};

enum class SimDrive { kSd0, kSd1 };

// One injected failure: the next `times` calls (nullopt: every call) of `op` whose path
// matches the glob `pathPattern` ("*" any run of characters, "?" one, "[a-z]" a set) fail with
// `error`. A rename matches by its source path, a copy by either path.
struct FileFault {
  // Empty: every operation a rule can hit.
  std::optional<FsOp> op;
  std::string pathPattern = "*";
  std::optional<uint32_t> times = 1;
  std::error_code error = std::make_error_code(std::errc::device_or_resource_busy);
};

// Silent damage on the way to a drive: the next `times` copies (nullopt: every one) whose
// destination matches the glob `pathPattern` arrive with the byte at `offset` inverted (the
// last byte of a shorter file; an empty file arrives as one byte), and the copy reports
// success, as a worn card, a counterfeit card or a flaky cable would let it.
struct CopyCorruption {
  std::string pathPattern = "*";
  uint32_t offset = 0;
  std::optional<uint32_t> times = 1;
};

// The drive disappears right after the `afterCopies`-th file copied into it (CopyFile with a
// destination on that drive), and comes back after `returnsAfterMs` (nullopt: never).
struct VanishMidCopy {
  SimDrive drive = SimDrive::kSd1;
  uint32_t afterCopies = 1;
  std::optional<uint32_t> returnsAfterMs;
};

// A further mounted volume listed before the device's drives (e.g. a fixed disk that carries
// the device's label and must never be taken). Its folder is <ws>/media/<name>/.
struct ExtraVolume {
  std::string name;
  std::optional<std::string> label;
  bool removable = false;
};

struct DeviceScenario {
  // "vo3_ver2", "ru3r_ver2", "vo3_ver", "ru3r_ver", "vt_ver", or "" for no version file.
  std::string versionFile = "ru3r_ver2";
  // Values of a second-generation version file ("bt" as the file holds it, tag included).
  std::string fw = "3.5.1";
  std::string bt = "vt-bt-030108-002-250901-101500";
  std::string df = "usb";
  // The version file's exact text instead of the one built from the values above.
  std::optional<std::string> versionText;
  // Volume labels; SD1 has the same as SD0 unless given.
  std::string label = "VANTEL3";
  std::optional<std::string> sd1Label;
  bool removable = true;
  StartMode startMode = StartMode::kNormal;
  // Device time at which SD0 first shows up (nullopt: never). Ignored in firmware-upgrade mode.
  std::optional<uint32_t> sd0AppearsAtMs = 0;
  // SD1 is mounted at SD0's mount point instead of a root of its own.
  bool sameRoot = false;
  // Files already on the drives: path relative to the drive root -> content.
  std::map<std::string, std::string> sd0Files;
  std::map<std::string, std::string> sd1Files;
  std::vector<ExtraVolume> extraVolumes;
};

// Delays of the device's reactions, in ms of the clock. nullopt means "never".
struct DeviceTiming {
  // First generation: "update_go" seen -> SD0 gone; gone -> back (as second generation).
  std::optional<uint32_t> restartDelayMs = 2000;
  uint32_t rebootDelayMs = 5000;
  // "files_cp_ok_pc" on SD0 seen -> SD0 gone; SD0 gone -> SD1 mounted; SD1 mounted -> writable.
  std::optional<uint32_t> sd0CloseDelayMs = 2000;
  std::optional<uint32_t> sd1OpenDelayMs = 3000;
  std::optional<uint32_t> sd1WritableDelayMs = 2000;
  // "files_cp_ok_pc" on SD1 seen -> SD1 gone.
  uint32_t sd1CloseDelayMs = 2000;
  // SD1 gone -> firmware-upgrade device (Bluetooth update over USB).
  std::optional<uint32_t> dfuAppearsDelayMs = 3000;
  // SD1 gone -> SD0 back, when the device updates itself.
  uint32_t selfUpdateMs = 30000;
  // Finished upgrade disconnected -> SD0 back.
  uint32_t dfuRebootDelayMs = 5000;
  // Firmware-upgrade progress per second of the clock, 1..100.
  uint32_t dfuProgressPerSecond = 25;
};

struct DeviceFaults {
  // A first-generation device comes back still reporting the first generation.
  bool staysFirstGeneration = false;
  // What a write to SD1 gets while it is not writable yet.
  std::error_code sd1ReadOnlyError = std::make_error_code(std::errc::read_only_file_system);
  bool dfuStartFails = false;
  bool dfuResultFails = false;
  bool dfuDisconnectFails = false;
  // Progress never goes beyond this value (0..99); the upgrade never finishes.
  std::optional<uint32_t> dfuProgressStuckAt;
  ProgressStyle dfuProgressStyle = ProgressStyle::kPlain;
  // A device started in firmware-upgrade mode shows SD0 after a successful restore.
  bool sd0AfterRestore = true;
  std::optional<VanishMidCopy> vanishMidCopy;
  std::vector<FileFault> fileFaults;
  std::vector<CopyCorruption> corruptCopies;
};

// Names the workspace can leave out of the package folder.
inline constexpr const char* kPackageEntryNames[] = {
    "version.bin", "RU3R.bin", "VO3Sboot.bin", "firmware.dfu", "locale",
    "brl",         "Daisy",    "Music",        "libhiddfu.so",
};

struct PackageScenario {
  std::string targetVersion = "3.5.2";
  std::string btVersion = "030108-002-251124-114355";
  // The Bluetooth version that "firmware.dfu" names (default: btVersion).
  std::optional<std::string> firmwareDfuBtVersion;
  // Entries of kPackageEntryNames not written.
  std::set<std::string> omit;
};

struct ProgramScenario {
  // "fa.bin" beside the program at start (an earlier Bluetooth upgrade failed).
  bool faBinPresent = false;
};

enum class EndAnswer { kRetry, kExit };

// What the person in front of the screen does, so a run on the virtual clock is scripted.
struct SimulatedUser {
  // Ms after the Next button is shown until it is clicked; nullopt: never clicked.
  std::optional<uint32_t> nextAfterMs = 1000;
  // The answer at the end view of the 1st, 2nd, ... run; Exit once the list runs out.
  std::vector<EndAnswer> endAnswers;

  EndAnswer AnswerForRun(std::size_t runIndex) const {
    return runIndex < endAnswers.size() ? endAnswers[runIndex] : EndAnswer::kExit;
  }
};

struct Scenario {
  std::string description;
  DeviceScenario device;
  DeviceTiming timing;
  DeviceFaults faults;
  PackageScenario package;
  ProgramScenario program;
  SimulatedUser user;
};

// Parses a scenario document. Keys left out keep the defaults above. Returns 1, or 0 with
// `error` saying what is wrong (malformed JSON, an unknown key, a value of the wrong type or
// out of range); `out` is then unspecified. Never throws.
[[nodiscard]] int ParseScenario(std::string_view json, Scenario& out, std::string& error);

// Reads (at most 1 MiB) and parses a scenario file. Returns 1, or 0 with `error` (naming the
// path when the file cannot be read).
[[nodiscard]] int LoadScenarioFile(FileSystem& fs, const Path& path, Scenario& out,
                                   std::string& error);

}  // namespace vantel3
