// Wrappers that put a run's contact with the outside world into its log without touching the
// steps: the file system (copies with bytes and time, markers, flushes, renames, failures, the
// device's version file), the volume list (each change, with the device drive chosen and why
// every other volume was passed over), and the screen (views, texts, progress changes,
// message boxes, the end button).
#pragma once

#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/volume_source.h"
#include "workflow/event_log.h"
#include "workflow/step_ui.h"

namespace vantel3 {

class LoggingFileSystem final : public ForwardingFileSystem {
 public:
  LoggingFileSystem(FileSystem& target, EventLog& log, Clock& clock)
      : ForwardingFileSystem(target), log_(log), clock_(clock) {}

  std::error_code CreateDirectory(const Path& path) override;
  std::error_code RemoveDirectory(const Path& path) override;
  std::error_code RemoveFile(const Path& path) override;
  std::error_code Rename(const Path& from, const Path& to) override;
  std::error_code CopyFile(const Path& from, const Path& to) override;
  std::error_code ReadFile(const Path& path, std::size_t maxBytes, std::string& out) override;
  std::error_code WriteFile(const Path& path, std::string_view data) override;
  std::error_code FlushFile(const Path& path) override;
  std::error_code SyncFileSystem(const Path& path) override;

 private:
  EventLog& log_;
  Clock& clock_;
};

// Why the device drive search takes or passes over each volume, in the search's order.
std::vector<std::string> DescribeDriveChoice(const std::vector<Volume>& volumes);

class LoggingVolumeSource final : public VolumeSource {
 public:
  LoggingVolumeSource(VolumeSource& target, EventLog& log) : target_(target), log_(log) {}
  // The wrapped list; when it differs from the one before, it goes to the log.
  std::vector<Volume> ListVolumes() override;

 private:
  VolumeSource& target_;
  EventLog& log_;
  bool listed_ = false;
  std::vector<Volume> last_;
};

class LoggingStepUi final : public StepUi {
 public:
  LoggingStepUi(StepUi& target, EventLog& log) : target_(target), log_(log) {}

  void ShowOnly(ViewId view) override;
  void SetMessage(ViewId view, const std::string& text) override;
  bool GetMainViewDpi(int& horizontal, int& vertical) override {
    return target_.GetMainViewDpi(horizontal, vertical);
  }
  PixelRect MainViewClientRect() override { return target_.MainViewClientRect(); }
  PixelRect MainViewLabelRect() override { return target_.MainViewLabelRect(); }
  void PlaceNextButton(const PixelRect& rect) override { target_.PlaceNextButton(rect); }
  void SetNextButtonText(const std::string& text) override { target_.SetNextButtonText(text); }
  void SetNextButtonEnabled(bool enabled) override { target_.SetNextButtonEnabled(enabled); }
  void SetNextButtonVisible(bool visible) override;
  void SetProgress(ViewId view, int percent) override;
  void ShowFailureMessage(const std::string& message) override;
  void ArmEndButton(const std::string& caption, EndAction action) override;

 private:
  StepUi& target_;
  EventLog& log_;
  int lastProgress_ = -1;
  ViewId lastProgressView_ = ViewId::kMain;
};

}  // namespace vantel3
