#include "workflow/main_update.h"

#include <algorithm>

#include "formats/markers.h"
#include "fsops/tree_ops.h"
#include "platform/path_limit.h"
#include "workflow/copy_checks.h"
#include "workflow/messages.h"
#include "workflow/predicates.h"
#include "workflow/step_support.h"
#include "workflow/transfer_tables.h"
#include "workflow/wait_until.h"

namespace vantel3 {

namespace {

constexpr int kTicksDeviceBluetooth = 560;  // the device flashes Bluetooth from "firmware.dfu"
constexpr int kTicksVo3 = 188;
constexpr int kTicksRu3r = 108;

class MainUpdate {
 public:
  MainUpdate(UpdateContext& context, UpdateServices& services, StepUi& ui)
      : context_(context), services_(services), ui_(ui), checks_(services) {}

  int Run() {
    ui_.SetMessage(ViewId::kUpdate, msg::kInProgress);
    Progress(10);
    if (context_.model == 0 || context_.generation != 2) return Fail(msg::kWentIncorrectly);

    for (const FirmwareImageRow& row : FirmwareImageTable) {
      if (CopyPackageFile(row.packageFile, row.deviceFile, row.transferFailedMessage) == 0) {
        return Fail(row.transferFailedMessage);
      }
    }
    // Music: the images copied so far are checked with it, before it is put in place.
    const ContentFolderRow& music = ContentFolderTable[0];
    if (CopyFolderToStaging(music) == 0) return Fail(music.transferFailedMessage);
    if (const char* failed = checks_.CheckBeforeInstall(context_.deviceRoot)) return Fail(failed);
    if (InstallFolder(music) == 0) return Fail(music.transferFailedMessage);
    Progress(20);

    if (context_.btUpdateNeeded != 0 && context_.versionFile2Found != 0 &&
        context_.btUpdateOverUsb == 0) {
      if (CopyPackageFile(kBluetoothImageName, kBluetoothImageName, msg::kBtFailed) == 0) {
        return Fail(msg::kBtFailed);
      }
    }
    if (const char* failed = checks_.HandOver(context_.deviceRoot, DeviceMarker::kFilesCopied)) {
      return Fail(failed);
    }
    if (context_.btUpdateNeeded == 0 &&
        WriteDeviceMarker(services_.fs, context_.deviceRoot, DeviceMarker::kFirmwareNo) == 0) {
      return Fail(msg::kWentIncorrectly);
    }
    Progress(30);

    // The device closes its first drive and opens its system drive.
    if (WaitFor(services_, "SD0 closed", &context_.deviceRoot, 60000, IsPathMissing(services_.fs),
                1000) == 0) {
      return Fail(msg::kSd0NotClosed);
    }
    std::string systemDrive;
    if (WaitFor(services_, "SD1 opened", &systemDrive, 60000, IsDrivePresent(services_.volumes),
                1000) == 0) {
      return Fail(msg::kSd1NotOpened);
    }
    context_.deviceRoot = systemDrive;
    if (WaitFor(services_, "SD1 writable", &context_.deviceRoot, 15000,
                IsDriveWritablePredicate(services_.fs), 500) == 0) {
      return Fail(msg::kSd1NotWritable);
    }
    Progress(40);
    services_.clock.SleepMs(3000);

    for (int k = 1; k <= 3; ++k) {
      const ContentFolderRow& row = ContentFolderTable[k];
      if (CopyFolderToStaging(row) == 0) return Fail(row.transferFailedMessage);
      Progress(40 + 10 * k / 3);
    }
    if (const char* failed = checks_.CheckBeforeInstall(context_.deviceRoot)) return Fail(failed);
    for (int k = 1; k <= 3; ++k) {
      const ContentFolderRow& row = ContentFolderTable[k];
      if (InstallFolder(row) == 0) return Fail(row.transferFailedMessage);
    }
    if (const char* failed = checks_.HandOver(context_.deviceRoot, DeviceMarker::kFilesCopied)) {
      return Fail(failed);
    }
    Progress(60);

    const bool needed = context_.btUpdateNeeded != 0;
    const bool overUsb = context_.btUpdateOverUsb != 0;
    if (needed && overUsb) return OwnBluetoothUpgrade();
    if (needed != overUsb) return TimedWait(kTicksDeviceBluetooth);
    return TimedWait(context_.model == 1 ? kTicksVo3 : kTicksRu3r);
  }

 private:
  int Fail(const char* message) {
    ui_.ShowFailureMessage(message);
    return -1;
  }

  void Progress(int percent) { ui_.SetProgress(ViewId::kUpdate, percent); }

  // A copied file is noted for the check before the next hand-over.
  int CopyPackageFile(const char* packageName, const char* deviceName, const char* failedMessage) {
    std::string source;
    std::string destination;
    if (PackagePath(services_, packageName, source) == 0 ||
        JoinPath(context_.deviceRoot, deviceName, destination) == 0 ||
        CopyFileToDevice(services_.fs, source, destination) == 0) {
      return 0;
    }
    checks_.NoteFile(source, destination, failedMessage);
    return 1;
  }

  // A staged folder is noted for the check before it is installed.
  int CopyFolderToStaging(const ContentFolderRow& row) {
    std::string source;
    std::string staging;
    if (PackagePath(services_, row.packageFolder, source) == 0 ||
        JoinPath(context_.deviceRoot, row.temporaryFolder, staging) == 0 ||
        CopyTree(services_.fs, services_.clock, source, staging) == 0) {
      return 0;
    }
    checks_.NoteFolder(source, staging, row.transferFailedMessage);
    return 1;
  }

  int InstallFolder(const ContentFolderRow& row) {
    std::string staging;
    return JoinPath(context_.deviceRoot, row.temporaryFolder, staging) != 0 &&
           InstallStagedFolder(services_.fs, services_.clock, staging, row.deviceFolder) != 0;
  }

  int OwnBluetoothUpgrade() {
    if (WaitFor(services_, "firmware-upgrade device", nullptr, 240000,
                IsDfuDevicePresent(context_.dfuApi, services_.log), 1000) == 0) {
      WriteProgramMarker(services_.fs, services_.programPath);
      return Fail(msg::kNoResponse);
    }
    const int ok = RunDfuUpgrade(context_.dfuApi, services_,
                                 [this](uint8_t percent) { Progress(60 + 40 * percent / 100); });
    if (ok == 0) {
      // The next run hands the Bluetooth update to the device itself.
      WriteProgramMarker(services_.fs, services_.programPath);
      return Fail(msg::kWentIncorrectly);
    }
    return 0;
  }

  int TimedWait(int ticks) {
    for (int k = 1; k <= ticks; ++k) {
      services_.clock.SleepMs(500);
      Progress(TimedWaitProgress(k, ticks));
    }
    return 0;
  }

  UpdateContext& context_;
  UpdateServices& services_;
  StepUi& ui_;
  // The copies onto the current drive not checked yet.
  CopyChecks checks_;
};

}  // namespace

int TimedWaitProgress(int k, int ticks) {
  return std::min(100, 60 + 40 * k / ticks);
}

int RunMainUpdate(UpdateContext& context, UpdateServices& services, StepUi& ui) {
  return MainUpdate(context, services, ui).Run();
}

}  // namespace vantel3
