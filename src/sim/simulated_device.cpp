#include "sim/simulated_device.h"

#include <algorithm>
#include <utility>

namespace vantel3 {

namespace {

constexpr const char* kUpdateGo = "update_go";
constexpr const char* kFilesCopied = "files_cp_ok_pc";
constexpr const char* kFirmwareNo = "firmware.no";
constexpr const char* kFirmwareDfu = "firmware.dfu";
constexpr const char* kFirmwareImage = "RU3R.bin";
constexpr const char* kBootLoaderImage = "VO3Sboot.bin";
constexpr const char* kBtTag = "vt-bt-";
constexpr std::size_t kMaxImageBytes = 16 * 1024 * 1024;
// Garbage the firmware-upgrade library may leave above the percentage byte.
constexpr int32_t kProgressHighBits = 0x5A00;

int Index(SimDrive drive) {
  return drive == SimDrive::kSd0 ? 0 : 1;
}
const char* DriveName(SimDrive drive) {
  return drive == SimDrive::kSd0 ? "SD0" : "SD1";
}

std::string WithoutSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// The value of "key":"value" in the device's own version text (first occurrence, no escapes).
std::string JsonValue(const std::string& text, const std::string& key) {
  const std::size_t at = text.find("\"" + key + "\"");
  if (at == std::string::npos) return {};
  const std::size_t colon = text.find(':', at);
  if (colon == std::string::npos) return {};
  const std::size_t open = text.find('"', colon);
  if (open == std::string::npos) return {};
  const std::size_t close = text.find('"', open + 1);
  if (close == std::string::npos) return {};
  return text.substr(open + 1, close - open - 1);
}

std::string Untagged(const std::string& bt) {
  const std::size_t at = bt.find(kBtTag);
  return at == std::string::npos ? bt : bt.substr(at + std::string(kBtTag).size());
}

// Trampolines of the endpoint table.
SimulatedDevice& Self(void* self) {
  return *static_cast<SimulatedDevice*>(self);
}
int32_t EndpointConnect(void* self, uint16_t vendorId, uint16_t productId, uint16_t usage,
                        uint16_t usagePage, uint32_t* device) {
  return Self(self).DfuConnect(vendorId, productId, usage, usagePage, device);
}
int32_t EndpointDisconnect(void* self) {
  return Self(self).DfuDisconnect();
}
int32_t EndpointUpgrade(void* self, const char* path, int32_t flags) {
  return Self(self).DfuUpgrade(path, flags);
}
int32_t EndpointGetProgress(void* self) {
  return Self(self).DfuGetProgress();
}
int32_t EndpointResetDevice(void* self) {
  return Self(self).DfuResetDevice();
}
int32_t EndpointGetResult(void* self) {
  return Self(self).DfuGetResult();
}

}  // namespace

SimulatedDevice::SimulatedDevice(const Scenario& scenario, Clock& clock, FileSystem& fs,
                                 std::string workspaceRoot)
    : scenario_(scenario), clock_(clock), fs_(fs), root_(WithoutSlash(std::move(workspaceRoot))) {
  endpoint_.self = this;
  endpoint_.connect = EndpointConnect;
  endpoint_.disconnect = EndpointDisconnect;
  endpoint_.upgrade = EndpointUpgrade;
  endpoint_.getProgress = EndpointGetProgress;
  endpoint_.resetDevice = EndpointResetDevice;
  endpoint_.getResult = EndpointGetResult;
}

SimulatedDevice::~SimulatedDevice() {
  if (!exfatMounted_) return;
  for (SimDrive drive : {SimDrive::kSd0, SimDrive::kSd1}) {
    std::string error;
    const std::string dir =
        mounted_[Index(drive)] ? WithoutSlash(MountRoot(drive)) : HomeFolder(drive);
    (void)UnmountExfat(dir, error);
  }
}

std::error_code SimulatedDevice::MoveDrive(SimDrive drive, const std::string& from,
                                           const std::string& to) {
  if (!exfat_.enabled()) return fs_.Rename(from, to);
  std::string error;
  if (!UnmountExfat(from, error)) return std::make_error_code(std::errc::device_or_resource_busy);
  (void)fs_.RemoveDirectory(from);
  if (std::error_code ec = fs_.CreateDirectory(to); ec && ec != std::errc::file_exists) return ec;
  if (!MountExfat(drive == SimDrive::kSd0 ? exfat_.sd0 : exfat_.sd1, to, error)) {
    Log(error);
    return std::make_error_code(std::errc::io_error);
  }
  return {};
}

int SimulatedDevice::Start(std::string& error) {
  std::lock_guard lock(mutex_);
  const DeviceScenario& d = scenario_.device;
  versionFileName_ = d.versionFile;
  generation_ =
      (d.versionFile == "vo3_ver" || d.versionFile == "ru3r_ver" || d.versionFile == "vt_ver") ? 1
                                                                                               : 2;
  modelName_ = d.versionFile.rfind("vo3", 0) == 0 ? "VO3" : "RU3R";
  fw_ = d.fw;
  btTagged_ = d.bt;
  df_ = d.df;

  auto make = [&](const std::string& path) {
    if (std::error_code ec = fs_.CreateDirectory(path); ec && ec != std::errc::file_exists) {
      error = path + ": " + ec.message();
      return false;
    }
    return true;
  };
  if (!make(root_ + "/media") || !make(root_ + "/device") || !make(HomeFolder(SimDrive::kSd0)) ||
      !make(HomeFolder(SimDrive::kSd1))) {
    return 0;
  }
  for (const ExtraVolume& volume : d.extraVolumes) {
    if (!make(root_ + "/media/" + volume.name)) return 0;
  }
  if (exfat_.enabled()) {
    for (SimDrive drive : {SimDrive::kSd0, SimDrive::kSd1}) {
      if (!MountExfat(drive == SimDrive::kSd0 ? exfat_.sd0 : exfat_.sd1, HomeFolder(drive),
                      error)) {
        return 0;
      }
    }
    exfatMounted_ = true;
  }
  auto writeFiles = [&](SimDrive drive, const std::map<std::string, std::string>& files) {
    for (const auto& [relative, content] : files) {
      const std::string base = HomeFolder(drive);
      // Parent folders first, one level at a time.
      for (std::size_t slash = relative.find('/'); slash != std::string::npos;
           slash = relative.find('/', slash + 1)) {
        if (!make(base + "/" + relative.substr(0, slash))) return false;
      }
      if (std::error_code ec = fs_.WriteFile(base + "/" + relative, content)) {
        error = base + "/" + relative + ": " + ec.message();
        return false;
      }
    }
    return true;
  };
  if (!writeFiles(SimDrive::kSd0, d.sd0Files) || !writeFiles(SimDrive::kSd1, d.sd1Files)) return 0;

  if (!versionFileName_.empty()) {
    std::string text;
    if (d.versionText) {
      text = *d.versionText;
    } else if (generation_ == 2) {
      text = "{\"model\":\"" + modelName_ + "\",\"fw\":\"" + fw_ + "\",\"bt\":\"" + btTagged_ +
             "\",\"df\":\"" + df_ + "\"}\r\n";
    } else {
      text = modelName_ + " " + fw_ + "\r\n";
    }
    const std::string path = HomeFolder(SimDrive::kSd0) + "/" + versionFileName_;
    if (std::error_code ec = fs_.WriteFile(path, text)) {
      error = path + ": " + ec.message();
      return 0;
    }
  }

  lastClockMs_ = clock_.NowMs();
  nowMs_ = 0;
  started_ = true;
  if (d.startMode == StartMode::kFirmwareUpgrade) {
    mode_ = DeviceMode::kFirmwareUpgrade;
    startedInDfu_ = true;
    Log("starts in firmware-upgrade mode");
  } else if (d.sd0AppearsAtMs) {
    pending_.push_back({*d.sd0AppearsAtMs, EventKind::kSd0Appears});
  } else {
    Log("SD0 never appears");
  }
  TickLocked();
  return 1;
}

int SimulatedDevice::Restart(std::string& error) {
  std::lock_guard lock(mutex_);
  const DeviceScenario& d = scenario_.device;
  fw_ = d.fw;
  btTagged_ = d.bt;
  df_ = d.df;
  modelName_ = "RU3R";
  generation_ = 2;
  versionFileName_.clear();

  // Where each drive's folder is now: its home when closed, else its mount point.
  auto present = [&](const std::string& path) { return fs_.Exists(path); };
  const bool sd0Home = present(HomeFolder(SimDrive::kSd0));
  const bool sd1Home = present(HomeFolder(SimDrive::kSd1));
  const bool sd0Mounted = !sd0Home && present(WithoutSlash(MountRoot(SimDrive::kSd0)));
  const bool sd1Mounted = !sd1Home && present(WithoutSlash(MountRoot(SimDrive::kSd1)));
  if ((!sd0Home && !sd0Mounted) || (!sd1Home && !sd1Mounted)) {
    error = std::string("the folder of ") + (!sd0Home && !sd0Mounted ? "SD0" : "SD1") +
            " is neither at " +
            HomeFolder(!sd0Home && !sd0Mounted ? SimDrive::kSd0 : SimDrive::kSd1) +
            " nor at its mount point";
    return 0;
  }
  mounted_[0] = sd0Mounted;
  mounted_[1] = sd1Mounted;
  // The file systems of an exFAT workspace stay mounted when the process that used it dies.
  exfatMounted_ = exfat_.enabled();
  // SD1 first: with a shared mount point it has to make room for SD0.
  if (!Unmount(SimDrive::kSd1) || !Mount(SimDrive::kSd0)) {
    error = "the drives cannot be moved for the restart";
    return 0;
  }

  for (const char* name : {"vo3_ver2", "ru3r_ver2", "vo3_ver", "ru3r_ver", "vt_ver"}) {
    std::string text;
    if (fs_.ReadFile(PathOnDrive(SimDrive::kSd0, name), 64 * 1024, text)) continue;
    versionFileName_ = name;
    const std::string file = name;
    generation_ = file.back() == '2' ? 2 : 1;
    modelName_ = file.rfind("vo3", 0) == 0 ? "VO3" : "RU3R";
    if (generation_ == 2) {
      for (auto [key, value] : {std::pair{"fw", &fw_}, {"bt", &btTagged_}, {"df", &df_}}) {
        const std::string found = JsonValue(text, key);
        if (!found.empty()) *value = found;
      }
    } else if (const std::size_t space = text.find(' '); space != std::string::npos) {
      const std::string fw = text.substr(space + 1, text.find_first_of("\r\n", space) - space - 1);
      if (!fw.empty()) fw_ = fw;
    }
    break;
  }

  lastClockMs_ = clock_.NowMs();
  nowMs_ = 0;
  started_ = true;
  mode_ = DeviceMode::kNormal;
  sd1Writable_ = false;
  Log("restarted by the user after the updater stopped; " +
      (versionFileName_.empty() ? std::string("no version file") : versionFileName_));
  TickLocked();
  return 1;
}

void SimulatedDevice::Tick() {
  std::lock_guard lock(mutex_);
  TickLocked();
}

uint64_t SimulatedDevice::NowLocked() {
  const uint32_t now = clock_.NowMs();
  const uint64_t target = nowMs_ + static_cast<uint32_t>(now - lastClockMs_);
  lastClockMs_ = now;
  return target;
}

void SimulatedDevice::PowerCycle() {
  std::lock_guard lock(mutex_);
  TickLocked();
  pending_.clear();
  gen1Reacting_ = sd0Reacting_ = sd1Reacting_ = false;
  sawFirmwareNo_ = sawFirmwareDfu_ = false;
  dfuConnected_ = false;
  if (mode_ == DeviceMode::kFirmwareUpgrade) {
    upgradeRunning_ = false;
    Log("restarted by the user; Bluetooth still in firmware-upgrade mode");
    return;
  }
  Unmount(SimDrive::kSd1);
  Unmount(SimDrive::kSd0);
  sd1Writable_ = false;
  mode_ = DeviceMode::kOff;
  Log("restarted by the user");
  Schedule(1000, EventKind::kSd0Appears);
}

void SimulatedDevice::TickLocked() {
  if (!started_) return;
  const uint64_t target = NowLocked();
  for (;;) {
    // Earliest first; among equal times, the one scheduled first.
    auto next = std::min_element(pending_.begin(), pending_.end(),
                                 [](const Pending& a, const Pending& b) { return a.at < b.at; });
    if (next == pending_.end() || next->at > target) break;
    const Pending event = *next;
    pending_.erase(next);
    nowMs_ = std::max(nowMs_, event.at);
    Apply(event.kind);
    ScanMarkers();
  }
  nowMs_ = target;
  ScanMarkers();
}

void SimulatedDevice::Schedule(uint64_t delay, EventKind kind) {
  pending_.push_back({nowMs_ + delay, kind});
}

void SimulatedDevice::Log(const std::string& what) {
  events_.push_back(std::to_string(nowMs_) + " " + what);
}

std::string SimulatedDevice::HomeFolder(SimDrive drive) const {
  return root_ + (drive == SimDrive::kSd0 ? "/device/sd0" : "/device/sd1");
}

std::string SimulatedDevice::MountRoot(SimDrive drive) const {
  const DeviceScenario& d = scenario_.device;
  if (drive == SimDrive::kSd0 || d.sameRoot) return root_ + "/media/" + d.label + "/";
  return root_ + "/media/" + d.sd1Label.value_or(d.label) + "1/";
}

std::string SimulatedDevice::PathOnDrive(SimDrive drive, const char* name) const {
  const std::string folder =
      mounted_[Index(drive)] ? WithoutSlash(MountRoot(drive)) : HomeFolder(drive);
  return folder + "/" + name;
}

bool SimulatedDevice::OnDrive(const Path& path, SimDrive drive) const {
  // Both sides in the generic form ("/" between names), whatever separators built them.
  std::error_code ec;
  const std::string normal = std::filesystem::absolute(PathFromUtf8(PathToUtf8(path)), ec)
                                 .lexically_normal()
                                 .generic_string();
  if (ec) return false;
  const std::string root = PathFromUtf8(MountRoot(drive)).lexically_normal().generic_string();
  return normal.rfind(root, 0) == 0 || normal == WithoutSlash(root);
}

int SimulatedDevice::Mount(SimDrive drive) {
  const int i = Index(drive);
  if (mounted_[i]) return 1;
  if (std::error_code ec = MoveDrive(drive, HomeFolder(drive), WithoutSlash(MountRoot(drive)))) {
    Log(std::string(DriveName(drive)) + " cannot be mounted: " + ec.message());
    return 0;
  }
  mounted_[i] = true;
  Log(std::string(DriveName(drive)) + " mounted at " + MountRoot(drive));
  return 1;
}

int SimulatedDevice::Unmount(SimDrive drive) {
  const int i = Index(drive);
  if (!mounted_[i]) return 1;
  if (std::error_code ec = MoveDrive(drive, WithoutSlash(MountRoot(drive)), HomeFolder(drive))) {
    Log(std::string(DriveName(drive)) + " cannot be unmounted: " + ec.message());
    return 0;
  }
  mounted_[i] = false;
  Log(std::string(DriveName(drive)) + " gone");
  return 1;
}

void SimulatedDevice::RemoveFromDrive(SimDrive drive, const char* name) {
  (void)fs_.RemoveFile(PathOnDrive(drive, name));
}

std::string SimulatedDevice::ReadHeaderValue(const std::string& path, const char* header) {
  std::string bytes;
  if (fs_.ReadFile(path, 256, bytes)) return {};
  const std::string prefix = header;
  if (bytes.rfind(prefix, 0) != 0) return {};
  std::string value = bytes.substr(prefix.size());
  value = value.substr(0, value.find_first_of("\r\n"));
  return value;
}

void SimulatedDevice::WriteSecondGenerationFile() {
  if (generation_ != 2 || versionFileName_.empty()) return;
  const std::string path = PathOnDrive(SimDrive::kSd0, versionFileName_.c_str());
  // Keep the transport the file names now: the updater may have switched it to "uart".
  std::string old;
  if (!fs_.ReadFile(path, 64 * 1024, old)) {
    const std::string df = JsonValue(old, "df");
    if (!df.empty()) df_ = df;
  }
  const std::string text = "{\"model\":\"" + modelName_ + "\",\"fw\":\"" + fw_ + "\",\"bt\":\"" +
                           btTagged_ + "\",\"df\":\"" + df_ + "\"}\r\n";
  if (std::error_code ec = fs_.WriteFile(path, text)) {
    Log("version file cannot be written: " + ec.message());
  }
}

void SimulatedDevice::ScanMarkers() {
  const DeviceTiming& t = scenario_.timing;
  if (mode_ == DeviceMode::kNormal && mounted_[0]) {
    if (generation_ == 1 && !gen1Reacting_ && fs_.Exists(PathOnDrive(SimDrive::kSd0, kUpdateGo)) &&
        fs_.Exists(PathOnDrive(SimDrive::kSd0, kFirmwareImage)) &&
        fs_.Exists(PathOnDrive(SimDrive::kSd0, kBootLoaderImage))) {
      gen1Reacting_ = true;
      Log("SD0: update_go with both images seen");
      if (t.restartDelayMs) {
        Schedule(*t.restartDelayMs, EventKind::kGen1Restart);
      } else {
        Log("the device never restarts");
      }
    }
    if (generation_ == 2 && !sd0Reacting_ &&
        fs_.Exists(PathOnDrive(SimDrive::kSd0, kFilesCopied))) {
      sd0Reacting_ = true;
      Log("SD0: files_cp_ok_pc seen");
      if (t.sd0CloseDelayMs) {
        Schedule(*t.sd0CloseDelayMs, EventKind::kSd0Close);
      } else {
        Log("SD0 never closes");
      }
    }
  }
  if (mode_ == DeviceMode::kUpdateMode && mounted_[1] && !sd1Reacting_ &&
      fs_.Exists(PathOnDrive(SimDrive::kSd1, kFilesCopied))) {
    sd1Reacting_ = true;
    const bool overUsb = !sawFirmwareNo_ && !sawFirmwareDfu_;
    Log(std::string("SD1: files_cp_ok_pc seen; Bluetooth ") +
        (overUsb ? "over USB" : (sawFirmwareDfu_ ? "from firmware.dfu" : "not needed")));
    Schedule(t.sd1CloseDelayMs,
             overUsb ? EventKind::kSd1CloseToDfu : EventKind::kSd1CloseToSelfUpdate);
  }
}

void SimulatedDevice::Apply(EventKind kind) {
  const DeviceTiming& t = scenario_.timing;
  switch (kind) {
    case EventKind::kSd0Appears:
      if (Mount(SimDrive::kSd0)) mode_ = DeviceMode::kNormal;
      break;
    case EventKind::kGen1Restart:
      RemoveFromDrive(SimDrive::kSd0, kUpdateGo);
      Unmount(SimDrive::kSd0);
      mode_ = DeviceMode::kOff;
      Log("restarting to install the first-stage images");
      Schedule(t.rebootDelayMs, EventKind::kGen1Boot);
      break;
    case EventKind::kGen1Boot: {
      const std::string fw =
          ReadHeaderValue(PathOnDrive(SimDrive::kSd0, kFirmwareImage), kSimFirmwareHeader);
      if (!fw.empty()) fw_ = fw;
      if (scenario_.faults.staysFirstGeneration) {
        Log("still first generation");
      } else {
        if (!versionFileName_.empty()) RemoveFromDrive(SimDrive::kSd0, versionFileName_.c_str());
        generation_ = 2;
        versionFileName_ = modelName_ == "VO3" ? "vo3_ver2" : "ru3r_ver2";
        WriteSecondGenerationFile();
        Log("now second generation (" + versionFileName_ + ")");
      }
      gen1Reacting_ = false;
      if (Mount(SimDrive::kSd0)) mode_ = DeviceMode::kNormal;
      break;
    }
    case EventKind::kSd0Close: {
      sawFirmwareNo_ = fs_.Exists(PathOnDrive(SimDrive::kSd0, kFirmwareNo));
      sawFirmwareDfu_ = fs_.Exists(PathOnDrive(SimDrive::kSd0, kFirmwareDfu));
      stagedBtVersion_ =
          sawFirmwareDfu_
              ? ReadHeaderValue(PathOnDrive(SimDrive::kSd0, kFirmwareDfu), kSimBluetoothHeader)
              : std::string();
      RemoveFromDrive(SimDrive::kSd0, kFilesCopied);
      RemoveFromDrive(SimDrive::kSd0, kFirmwareNo);
      Unmount(SimDrive::kSd0);
      mode_ = DeviceMode::kOff;
      sd0Reacting_ = false;
      Log("entering update mode");
      if (t.sd1OpenDelayMs) {
        Schedule(*t.sd1OpenDelayMs, EventKind::kSd1Open);
      } else {
        Log("SD1 never opens");
      }
      break;
    }
    case EventKind::kSd1Open:
      sd1Writable_ = false;
      if (Mount(SimDrive::kSd1)) mode_ = DeviceMode::kUpdateMode;
      if (t.sd1WritableDelayMs) {
        Schedule(*t.sd1WritableDelayMs, EventKind::kSd1Writable);
      } else {
        Log("SD1 never becomes writable");
      }
      break;
    case EventKind::kSd1Writable:
      sd1Writable_ = true;
      Log("SD1 writable");
      break;
    case EventKind::kSd1CloseToDfu:
      RemoveFromDrive(SimDrive::kSd1, kFilesCopied);
      Unmount(SimDrive::kSd1);
      mode_ = DeviceMode::kOff;
      sd1Reacting_ = false;
      if (t.dfuAppearsDelayMs) {
        Schedule(*t.dfuAppearsDelayMs, EventKind::kEnterDfu);
      } else {
        Log("no firmware-upgrade device ever shows up");
      }
      break;
    case EventKind::kEnterDfu:
      mode_ = DeviceMode::kFirmwareUpgrade;
      Log("firmware-upgrade device present");
      break;
    case EventKind::kSd1CloseToSelfUpdate:
      RemoveFromDrive(SimDrive::kSd1, kFilesCopied);
      Unmount(SimDrive::kSd1);
      mode_ = DeviceMode::kOff;
      sd1Reacting_ = false;
      Log("updating itself");
      Schedule(t.selfUpdateMs, EventKind::kSelfUpdateDone);
      break;
    case EventKind::kSelfUpdateDone: {
      if (sawFirmwareDfu_) {
        if (!stagedBtVersion_.empty()) {
          btTagged_ = kBtTag + stagedBtVersion_;
          ++bluetoothInstalls_;
          Log("Bluetooth " + stagedBtVersion_ + " installed from firmware.dfu");
        } else {
          Log("firmware.dfu not accepted");
        }
        RemoveFromDrive(SimDrive::kSd0, kFirmwareDfu);
      }
      const std::string fw =
          ReadHeaderValue(PathOnDrive(SimDrive::kSd0, kFirmwareImage), kSimFirmwareHeader);
      if (!fw.empty()) fw_ = fw;
      WriteSecondGenerationFile();
      sawFirmwareNo_ = sawFirmwareDfu_ = false;
      if (Mount(SimDrive::kSd0)) mode_ = DeviceMode::kNormal;
      break;
    }
    case EventKind::kDfuRebootDone: {
      btTagged_ = kBtTag + upgradeImageBtVersion_;
      ++bluetoothInstalls_;
      Log("Bluetooth " + upgradeImageBtVersion_ + " installed over USB");
      const bool showSd0 = !startedInDfu_ || scenario_.faults.sd0AfterRestore;
      startedInDfu_ = false;
      const std::string fw =
          ReadHeaderValue(PathOnDrive(SimDrive::kSd0, kFirmwareImage), kSimFirmwareHeader);
      if (!fw.empty()) fw_ = fw;
      WriteSecondGenerationFile();
      if (showSd0 && Mount(SimDrive::kSd0)) {
        mode_ = DeviceMode::kNormal;
      } else {
        mode_ = DeviceMode::kOff;
        if (!showSd0) Log("SD0 does not come back");
      }
      break;
    }
    case EventKind::kVanishedReturns:
      if (scenario_.faults.vanishMidCopy) Mount(scenario_.faults.vanishMidCopy->drive);
      break;
  }
}

std::vector<Volume> SimulatedDevice::ListVolumes() {
  std::lock_guard lock(mutex_);
  TickLocked();
  std::vector<Volume> volumes;
  for (const ExtraVolume& extra : scenario_.device.extraVolumes) {
    volumes.push_back({root_ + "/media/" + extra.name + "/", extra.removable, extra.label});
  }
  const DeviceScenario& d = scenario_.device;
  if (mounted_[0]) volumes.push_back({MountRoot(SimDrive::kSd0), d.removable, d.label});
  if (mounted_[1]) {
    volumes.push_back({MountRoot(SimDrive::kSd1), d.removable, d.sd1Label.value_or(d.label)});
  }
  return volumes;
}

std::error_code SimulatedDevice::CheckWritable(const Path& path) {
  std::lock_guard lock(mutex_);
  if (mounted_[1] && !sd1Writable_ && OnDrive(path, SimDrive::kSd1)) {
    return scenario_.faults.sd1ReadOnlyError;
  }
  return {};
}

void SimulatedDevice::NoteFileCopied(const Path& destination) {
  std::lock_guard lock(mutex_);
  const auto& vanish = scenario_.faults.vanishMidCopy;
  if (!vanish || vanishDone_ || !mounted_[Index(vanish->drive)] ||
      !OnDrive(destination, vanish->drive)) {
    return;
  }
  if (++copiesIntoVanishDrive_ < vanish->afterCopies) return;
  vanishDone_ = true;
  Log(std::string(DriveName(vanish->drive)) + " vanishes after " +
      std::to_string(copiesIntoVanishDrive_) + " copies");
  Unmount(vanish->drive);
  if (vanish->returnsAfterMs) Schedule(*vanish->returnsAfterMs, EventKind::kVanishedReturns);
}

int32_t SimulatedDevice::DfuConnect(uint16_t vendorId, uint16_t productId, uint16_t usage,
                                    uint16_t usagePage, uint32_t* device) {
  std::lock_guard lock(mutex_);
  TickLocked();
  if (mode_ != DeviceMode::kFirmwareUpgrade) return 1;
  // Only the device the updater names is there: a wrong id finds nothing.
  if (vendorId != 0x0A12 || productId != 0xFFFE || usage != 1 || usagePage != 0xFF00) return 2;
  dfuConnected_ = true;
  if (device != nullptr) *device = 1;
  return 0;
}

int32_t SimulatedDevice::DfuDisconnect() {
  std::lock_guard lock(mutex_);
  TickLocked();
  if (!dfuConnected_) return 1;
  dfuConnected_ = false;
  if (upgradeRunning_) {
    const bool done = UpgradeDoneLocked();
    const bool good = done && !scenario_.faults.dfuResultFails && !upgradeImageBtVersion_.empty();
    upgradeRunning_ = false;
    if (good) {
      mode_ = DeviceMode::kOff;
      Log("upgrade finished; rebooting");
      Schedule(scenario_.timing.dfuRebootDelayMs, EventKind::kDfuRebootDone);
    } else {
      Log(done ? "upgrade failed; staying in firmware-upgrade mode"
               : "upgrade abandoned; staying in firmware-upgrade mode");
    }
  }
  return scenario_.faults.dfuDisconnectFails ? 1 : 0;
}

int32_t SimulatedDevice::DfuUpgrade(const char* imagePath, int32_t flags) {
  std::lock_guard lock(mutex_);
  TickLocked();
  if (!dfuConnected_ || mode_ != DeviceMode::kFirmwareUpgrade) return 1;
  if (upgradeRunning_) return 2;
  if (imagePath == nullptr || flags != 1 || scenario_.faults.dfuStartFails) return 3;
  std::string bytes;
  if (fs_.ReadFile(imagePath, kMaxImageBytes, bytes)) return 4;
  const std::string header = kSimBluetoothHeader;
  upgradeImageBtVersion_ =
      bytes.rfind(header, 0) == 0
          ? bytes.substr(header.size(), bytes.find_first_of("\r\n") - header.size())
          : std::string();
  upgradeRunning_ = true;
  upgradeStartMs_ = nowMs_;
  Log("upgrade started with " + std::string(imagePath));
  return 0;
}

bool SimulatedDevice::UpgradeDoneLocked() {
  if (!upgradeRunning_ || scenario_.faults.dfuProgressStuckAt) return false;
  return (nowMs_ - upgradeStartMs_) * scenario_.timing.dfuProgressPerSecond >= 100 * 1000;
}

int32_t SimulatedDevice::ProgressLocked() {
  if (!upgradeRunning_) return 0;
  uint64_t p = (nowMs_ - upgradeStartMs_) * scenario_.timing.dfuProgressPerSecond / 1000;
  p = std::min<uint64_t>(p, 100);
  if (scenario_.faults.dfuProgressStuckAt)
    p = std::min<uint64_t>(p, *scenario_.faults.dfuProgressStuckAt);
  const auto percent = static_cast<int32_t>(p);
  switch (scenario_.faults.dfuProgressStyle) {
    case ProgressStyle::kPlain:
      return percent;
    case ProgressStyle::kHighBits:
      return kProgressHighBits | percent;
    case ProgressStyle::kJumps:
      return percent >= 100 ? 100 : percent / 40 * 40;
    case ProgressStyle::kOvershoot:
      return percent >= 100 ? 200 : percent;
  }
  return percent;
}

int32_t SimulatedDevice::DfuGetProgress() {
  std::lock_guard lock(mutex_);
  TickLocked();
  return ProgressLocked();
}

int32_t SimulatedDevice::DfuResetDevice() {
  std::lock_guard lock(mutex_);
  TickLocked();
  return 0;
}

int32_t SimulatedDevice::DfuGetResult() {
  std::lock_guard lock(mutex_);
  TickLocked();
  if (!upgradeRunning_) return 1;
  if (!UpgradeDoneLocked()) return 2;
  if (scenario_.faults.dfuResultFails) return 3;
  if (upgradeImageBtVersion_.empty()) return 4;  // not an image this device accepts
  return 0;
}

DeviceMode SimulatedDevice::Mode() {
  std::lock_guard lock(mutex_);
  TickLocked();
  return mode_;
}

bool SimulatedDevice::IsMounted(SimDrive drive) {
  std::lock_guard lock(mutex_);
  TickLocked();
  return mounted_[Index(drive)];
}

std::string SimulatedDevice::DriveFolder(SimDrive drive) {
  std::lock_guard lock(mutex_);
  TickLocked();
  return mounted_[Index(drive)] ? WithoutSlash(MountRoot(drive)) : HomeFolder(drive);
}

int SimulatedDevice::Generation() {
  std::lock_guard lock(mutex_);
  TickLocked();
  return generation_;
}

std::string SimulatedDevice::BluetoothVersion() {
  std::lock_guard lock(mutex_);
  TickLocked();
  return Untagged(btTagged_);
}

int SimulatedDevice::BluetoothInstalls() {
  std::lock_guard lock(mutex_);
  TickLocked();
  return bluetoothInstalls_;
}

std::vector<std::string> SimulatedDevice::Events() {
  std::lock_guard lock(mutex_);
  TickLocked();
  return events_;
}

}  // namespace vantel3
