#include "workflow/connect_device.h"

#include <cmath>

#include "formats/device_version_file.h"
#include "formats/package_version_file.h"
#include "workflow/messages.h"
#include "workflow/predicates.h"
#include "workflow/recovery.h"
#include "workflow/step_support.h"
#include "workflow/transfer_tables.h"
#include "workflow/wait_until.h"

namespace vantel3 {

namespace {

int Scale(int value, int dpi) {
  return static_cast<int>(std::lround(value * dpi / 96.0));
}

int Fail(StepUi& ui, const char* message) {
  ui.ShowFailureMessage(message);
  return -1;
}

}  // namespace

PixelRect ComputeNextButtonRect(int dpiX, int dpiY, const PixelRect& client,
                                const PixelRect& label) {
  const int width = Scale(150, dpiX);
  const int height = Scale(40, dpiY);
  const int gap = Scale(20, dpiY);
  PixelRect rect;
  rect.left = client.left + (client.width() - width) / 2;
  rect.top = label.bottom + gap;
  rect.right = rect.left + width;
  rect.bottom = rect.top + height;
  return rect;
}

int ConnectDevice(UpdateContext& context, UpdateServices& services, StepUi& ui) {
  // A package path over the limit stays empty: the reader then keeps the defaults.
  std::string versionFile;
  (void)PackagePath(services, kPackageVersionFileName, versionFile);
  ReadPackageVersionFile(services.fs, versionFile, context.targetVersion, context.btVersion);
  services.log.Event("package " + services.packageDir + ": target version \"" +
                     context.targetVersion + "\", Bluetooth version \"" + context.btVersion + "\"" +
                     (services.fs.Exists(versionFile) ? "" : " (no version file: defaults)"));

  // A device left in firmware-upgrade mode has no drive: look for it first. The limit is a
  // little longer than the interval so that the one look is sure to happen.
  if (WaitFor(services, "firmware-upgrade device", nullptr, 1500,
              IsDfuDevicePresent(context.dfuApi, services.log), 1000) == 1) {
    return -2;
  }

  ui.SetMessage(ViewId::kMain, msg::kConnectCable);
  int dpiX = 96;
  int dpiY = 96;
  if (!ui.GetMainViewDpi(dpiX, dpiY) || dpiX <= 0 || dpiY <= 0) {
    dpiX = 96;
    dpiY = 96;
  }
  ui.PlaceNextButton(
      ComputeNextButtonRect(dpiX, dpiY, ui.MainViewClientRect(), ui.MainViewLabelRect()));
  ui.SetNextButtonText(msg::kNextCaption);
  // An answer left from an earlier run is dropped before the button can be pressed, not
  // after it shows: a click that comes as soon as the button shows (or a line typed ahead on
  // a terminal, which counts when the button shows) must not be lost.
  context.nextPressed = 0;
  ui.SetNextButtonEnabled(true);
  ui.SetNextButtonVisible(true);

  (void)WaitFor(services, "Next", nullptr, 600000, IsNextPressed(context), 200);
  if (context.nextPressed.load() != kNextClicked) return Fail(ui, msg::kNextNotPressed);
  ui.SetNextButtonEnabled(false);
  ui.SetNextButtonVisible(false);

  ui.SetMessage(ViewId::kMain, msg::kSwitchToUpdateMode);
  std::string found;
  if (WaitFor(services, "device drive", &found, 60000, IsDrivePresent(services.volumes), 200) ==
          0 ||
      found.empty()) {
    return Fail(ui, msg::kNoDriveAfterNext);
  }
  context.deviceRoot = found;
  services.clock.SleepMs(3000);  // let the freshly mounted drive settle

  for (const PackageCheck& check : PackagePreCheckTable) {
    std::string path;
    if (PackagePath(services, check.name, path) == 0 || !services.fs.Exists(path)) {
      return Fail(ui, check.missingMessage);
    }
  }

  if (WaitFor(
          services, "device drive or firmware-upgrade device", &context.deviceRoot, kNoTimeLimit,
          IsDriveOrDfuDevicePresent(services.volumes, context.dfuApi, services.log), 1000) == 0) {
    return Fail(ui, msg::kNotConnected);
  }
  if (context.deviceRoot.empty()) return -2;  // back as a firmware-upgrade device

  // The fallback may rewrite the version file, so it runs before the file is read.
  ApplyUartFallback(context, services);
  ReadDeviceVersionFile(services.fs, context.deviceRoot, context.btVersion, context.btUpdateNeeded,
                        context.btUpdateOverUsb, context.versionFile2Found);
  const int detected =
      DetectGeneration(services.fs, context.deviceRoot, context.model, context.generation);
  LogDevice(context, services);
  if (detected == 0) return Fail(ui, msg::kNoVersionFile);
  return 0;
}

}  // namespace vantel3
