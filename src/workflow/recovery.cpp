#include "workflow/recovery.h"

#include "formats/device_version_file.h"
#include "formats/markers.h"
#include "workflow/messages.h"
#include "workflow/step_support.h"

namespace vantel3 {

int RestoreInterruptedDfu(UpdateContext& context, UpdateServices& services, StepUi& ui) {
  ui.SetMessage(ViewId::kRestore, msg::kCleaningUp);
  ui.SetProgress(ViewId::kRestore, 0);
  // The restore view shows the library's percentage as it is.
  const int ok = RunDfuUpgrade(context.dfuApi, services, [&ui](uint8_t percent) {
    ui.SetProgress(ViewId::kRestore, percent);
  });
  if (ok == 0) {
    ui.ShowFailureMessage(msg::kRestoreFailed);
    return -1;
  }
  return 0;
}

void ApplyUartFallback(UpdateContext& context, UpdateServices& services) {
  const std::string marker = GetProgramMarkerPath(services.programPath);
  if (!services.fs.Exists(marker)) return;
  if (RewriteDeviceVersionDf(services.fs, context.deviceRoot) == 0) return;
  if (services.fs.Exists(marker)) (void)services.fs.RemoveFile(marker);
}

}  // namespace vantel3
