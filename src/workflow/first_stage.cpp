#include "workflow/first_stage.h"

#include "formats/markers.h"
#include "platform/path_limit.h"
#include "workflow/copy_checks.h"
#include "workflow/messages.h"
#include "workflow/predicates.h"
#include "workflow/step_support.h"
#include "workflow/transfer_tables.h"
#include "workflow/wait_until.h"

namespace vantel3 {

int TransferFirstStage(UpdateContext& context, UpdateServices& services, StepUi& ui) {
  CopyChecks checks(services);
  for (const FirmwareImageRow& row : FirmwareImageTable) {
    std::string source;
    std::string destination;
    if (PackagePath(services, row.packageFile, source) == 0 ||
        JoinPath(context.deviceRoot, row.deviceFile, destination) == 0 ||
        CopyFileToDevice(services.fs, source, destination) == 0) {
      ui.ShowFailureMessage(row.transferFailedMessage);
      return -1;
    }
    checks.NoteFile(source, destination, row.transferFailedMessage);
  }
  if (const char* failed = checks.HandOver(context.deviceRoot, DeviceMarker::kUpdateGo)) {
    ui.ShowFailureMessage(failed);
    return -1;
  }
  if (WaitFor(services, "device drive gone", &context.deviceRoot, 240000,
              IsDriveAbsent(services.volumes), 1000) == 0) {
    ui.ShowFailureMessage(msg::kNoResponse);
    return -1;
  }
  return 0;
}

}  // namespace vantel3
