#include "workflow/update_worker.h"

#include <string>
#include <string_view>

#include "formats/device_version_file.h"
#include "workflow/connect_device.h"
#include "workflow/first_stage.h"
#include "workflow/main_update.h"
#include "workflow/messages.h"
#include "workflow/predicates.h"
#include "workflow/recovery.h"
#include "workflow/step_support.h"
#include "workflow/wait_until.h"

namespace vantel3 {

namespace {

std::string FailureText(const std::string& targetVersion) {
  const std::string_view format = msg::kFailedVersionFormat;
  const std::size_t at = format.find("%s");
  std::string text(format.substr(0, at));
  text += targetVersion;
  text += format.substr(at + 2);
  return text;
}

// The end view is armed before it is shown, so a click always meets this run's action.
int FailureEnd(UpdateContext& context, StepUi& ui) {
  ShowFailure(context, ui);
  ui.ShowOnly(ViewId::kEnd);
  return -1;
}

}  // namespace

void ShowFailure(UpdateContext& context, StepUi& ui) {
  ui.SetMessage(ViewId::kEnd, FailureText(context.targetVersion));
  ui.ArmEndButton(msg::kRetryCaption, EndAction::kRetry);
}

int UpdateWorker(UpdateContext& context, UpdateServices& services, StepUi& ui) {
  EventLog& log = services.log;
  // Each step's start and its result, so the log names the step that failed.
  auto step = [&log](const char* name, auto&& run) {
    log.Event(std::string("step started: ") + name);
    const int result = run();
    log.Notice(std::string("step ended: ") + name + " = " + std::to_string(result));
    return result;
  };
  for (;;) {
    ui.ShowOnly(ViewId::kMain);
    const int connected =
        step("ConnectDevice", [&] { return ConnectDevice(context, services, ui); });
    if (connected == -1) return FailureEnd(context, ui);
    if (connected != -2) break;
    ui.ShowOnly(ViewId::kRestore);
    if (step("RestoreInterruptedDfu",
             [&] { return RestoreInterruptedDfu(context, services, ui); }) == -1) {
      return FailureEnd(context, ui);
    }
    // Recovered: the whole connection step again, Next included.
  }

  ui.ShowOnly(ViewId::kUpdate);
  ui.SetMessage(ViewId::kUpdate, msg::kInProgress);

  if (context.generation == 1) {
    if (step("TransferFirstStage", [&] { return TransferFirstStage(context, services, ui); }) < 0) {
      return FailureEnd(context, ui);
    }
    // The device restarts with its new firmware; its drive must come back.
    context.deviceRoot.clear();
    if (WaitFor(services, "device drive back", &context.deviceRoot, 240000,
                IsDrivePresent(services.volumes), 1000) == 0) {
      ui.ShowFailureMessage(msg::kDriveNotBack);
      return FailureEnd(context, ui);
    }
    const int detected =
        DetectGeneration(services.fs, context.deviceRoot, context.model, context.generation);
    LogDevice(context, services);
    if (detected == 0 || context.generation != 2) {
      ui.ShowFailureMessage(msg::kNotSecondGeneration);
      return FailureEnd(context, ui);
    }
  }

  ApplyUartFallback(context, services);
  ReadDeviceVersionFile(services.fs, context.deviceRoot, context.btVersion, context.btUpdateNeeded,
                        context.btUpdateOverUsb, context.versionFile2Found);
  LogDevice(context, services);
  if (step("RunMainUpdate", [&] { return RunMainUpdate(context, services, ui); }) == -1) {
    return FailureEnd(context, ui);
  }

  ui.SetMessage(ViewId::kEnd, msg::kSuccess);
  ui.ArmEndButton(msg::kExitCaption, EndAction::kClose);
  ui.ShowOnly(ViewId::kEnd);
  return 0;
}

}  // namespace vantel3
