#include "log/logging_services.h"

#include "formats/device_drive.h"
#include "formats/device_version_file.h"
#include "formats/markers.h"
#include "platform/log_files.h"

namespace vantel3 {

namespace {

std::string Result(const std::error_code& ec) {
  return ec ? "FAILED: " + ec.message() : std::string("ok");
}

bool IsDeviceMarkerName(const std::string& name) {
  for (DeviceMarker marker :
       {DeviceMarker::kUpdateGo, DeviceMarker::kFilesCopied, DeviceMarker::kFirmwareNo}) {
    if (name == DeviceMarkerName(marker)) return true;
  }
  return false;
}

bool IsDeviceVersionFileName(const std::string& name) {
  for (const char* known : {kVersionFileVo3Gen2, kVersionFileRu3rGen2, kVersionFileVo3Gen1,
                            kVersionFileRu3rGen1, kVersionFileVtGen1}) {
    if (name == known) return true;
  }
  return false;
}

std::string DescribeVolume(const Volume& volume) {
  return volume.root + " " + (volume.removable ? "removable" : "fixed") + " " +
         (volume.label ? "\"" + *volume.label + "\"" : std::string("(no label)"));
}

bool SameVolumes(const std::vector<Volume>& a, const std::vector<Volume>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].root != b[i].root || a[i].removable != b[i].removable || a[i].label != b[i].label) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::error_code LoggingFileSystem::CreateDirectory(const Path& path) {
  const std::error_code ec = target().CreateDirectory(path);
  if (ec && ec != std::errc::file_exists)
    log_.Event("create folder " + path.string() + ": " + Result(ec));
  return ec;
}

std::error_code LoggingFileSystem::RemoveDirectory(const Path& path) {
  const std::error_code ec = target().RemoveDirectory(path);
  if (ec) log_.Event("remove folder " + path.string() + ": " + Result(ec));
  return ec;
}

std::error_code LoggingFileSystem::RemoveFile(const Path& path) {
  const std::error_code ec = target().RemoveFile(path);
  // The program marker's removal is a decision (the device took over the Bluetooth update).
  if (ec || path.filename().string() == kProgramMarkerName) {
    log_.Event("remove " + path.string() + ": " + Result(ec));
  }
  return ec;
}

std::error_code LoggingFileSystem::Rename(const Path& from, const Path& to) {
  const std::error_code ec = target().Rename(from, to);
  log_.Event("rename " + from.string() + " -> " + to.string() + ": " + Result(ec));
  return ec;
}

std::error_code LoggingFileSystem::CopyFile(const Path& from, const Path& to) {
  const uint32_t start = clock_.NowMs();
  const std::error_code ec = target().CopyFile(from, to);
  CopyRecord record;
  record.from = from.string();
  record.to = to.string();
  record.elapsedMs = static_cast<uint32_t>(clock_.NowMs() - start);
  if (ec) {
    record.error = ec.message();
    log_.Notice(FormatCopyEvent(record));
  } else {
    record.bytes = SizeOfFile(record.from);
    log_.Event(FormatCopyEvent(record));
  }
  return ec;
}

std::error_code LoggingFileSystem::ReadFile(const Path& path, std::size_t maxBytes,
                                            std::string& out) {
  const std::error_code ec = target().ReadFile(path, maxBytes, out);
  if (IsDeviceVersionFileName(path.filename().string())) {
    if (ec) {
      log_.Notice("device version file " + path.string() + ": " + Result(ec));
    } else {
      log_.Event("device version file " + path.string() + " (" + std::to_string(out.size()) +
                 " bytes): \"" + out + "\"");
    }
  }
  return ec;
}

std::error_code LoggingFileSystem::WriteFile(const Path& path, std::string_view data) {
  const std::error_code ec = target().WriteFile(path, data);
  const std::string name = path.filename().string();
  if (IsDeviceMarkerName(name)) {
    log_.Notice("marker " + path.string() + " written: " + Result(ec));
  } else if (name == kProgramMarkerName) {
    log_.Notice("program marker " + path.string() + " written: " + Result(ec));
  } else {
    log_.Event("write " + path.string() + " (" + std::to_string(data.size()) +
               " bytes): " + Result(ec));
  }
  return ec;
}

std::error_code LoggingFileSystem::FlushFile(const Path& path) {
  const std::error_code ec = target().FlushFile(path);
  const std::string text = "flush " + path.string() + ": " + Result(ec);
  ec ? log_.Notice(text) : log_.Event(text);
  return ec;
}

std::error_code LoggingFileSystem::SyncFileSystem(const Path& path) {
  const std::error_code ec = target().SyncFileSystem(path);
  const std::string text = "flush the file system of " + path.string() + ": " + Result(ec);
  ec ? log_.Notice(text) : log_.Event(text);
  return ec;
}

std::vector<std::string> DescribeDriveChoice(const std::vector<Volume>& volumes) {
  std::vector<std::string> lines;
  bool chosen = false;
  for (const Volume& volume : volumes) {
    std::string verdict;
    const bool deviceLabel =
        volume.label && (*volume.label == kDeviceLabels[0] || *volume.label == kDeviceLabels[1]);
    if (!volume.removable) {
      verdict = "passed over: not removable";
    } else if (!volume.label) {
      verdict = "passed over: no label";
    } else if (!deviceLabel) {
      verdict = "passed over: label is not VANTEL3 or VO3";
    } else if (chosen) {
      verdict = "passed over: an earlier volume is the device drive";
    } else {
      verdict = "device drive";
      chosen = true;
    }
    lines.push_back("volume " + DescribeVolume(volume) + ": " + verdict);
  }
  return lines;
}

std::vector<Volume> LoggingVolumeSource::ListVolumes() {
  std::vector<Volume> volumes = target_.ListVolumes();
  if (listed_ && SameVolumes(volumes, last_)) return volumes;
  listed_ = true;
  const std::vector<std::string> lines = DescribeDriveChoice(volumes);
  std::string drive = "none";
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    if (lines[i].size() >= 14 &&
        lines[i].compare(lines[i].size() - 14, 14, ": device drive") == 0) {
      drive = volumes[i].root;
    }
  }
  log_.Event("volume list changed: " + std::to_string(volumes.size()) + " volumes, device drive " +
             drive);
  for (const std::string& line : lines) log_.Event(line);
  last_ = std::move(volumes);
  return last_;
}

void LoggingStepUi::ShowOnly(ViewId view) {
  log_.Event(std::string("view ") + ViewName(view));
  target_.ShowOnly(view);
}

void LoggingStepUi::SetMessage(ViewId view, const std::string& text) {
  log_.Event(std::string("text ") + ViewName(view) + ": " + text);
  target_.SetMessage(view, text);
}

void LoggingStepUi::SetNextButtonVisible(bool visible) {
  log_.Event(visible ? "Next button shown" : "Next button hidden");
  target_.SetNextButtonVisible(visible);
}

void LoggingStepUi::SetProgress(ViewId view, int percent) {
  if (percent != lastProgress_ || view != lastProgressView_) {
    log_.Event(std::string("progress ") + ViewName(view) + ": " + std::to_string(percent));
    lastProgress_ = percent;
    lastProgressView_ = view;
  }
  target_.SetProgress(view, percent);
}

void LoggingStepUi::ShowFailureMessage(const std::string& message) {
  log_.Notice("message box: " + message);
  target_.ShowFailureMessage(message);
  log_.Event("message box closed");
}

void LoggingStepUi::ArmEndButton(const std::string& caption, EndAction action) {
  const char* what = action == EndAction::kRetry   ? "Retry"
                     : action == EndAction::kClose ? "Exit"
                                                   : "none";
  log_.Notice("end button: \"" + caption + "\" (" + what + ")");
  target_.ArmEndButton(caption, action);
}

}  // namespace vantel3
