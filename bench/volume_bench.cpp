// FindDeviceDrive over a snapshot of proc, sysfs and the udev database with 60 mounted
// volumes (the device last), against one run of `lsblk -J` on this machine.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "bench/bench_support.h"
#include "bench/benchmarks.h"
#include "formats/device_drive.h"
#include "platform/linux_volume_source.h"

namespace vantel3::bench {

namespace {

namespace fs = std::filesystem;

constexpr int kVolumes = 60;
constexpr int kPseudoMounts = 8;  // proc, sysfs, tmpfs and the like: no block device
constexpr int kFixedPartitions = 4;

bool WriteText(const fs::path& file, const std::string& text) {
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  std::FILE* out = std::fopen(file.c_str(), "w");
  if (out == nullptr) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  return std::fclose(out) == 0 && ok;
}

// Lays the snapshot out as the kernel and udev do (see LinuxVolumeSource): mountinfo, a
// folder per block device under <sys>/devices with "dev", "partition" and its disk's
// "removable", the link <sys>/dev/block/M:m to it, and <udev>/bM:m with the label.
bool BuildSnapshot(const fs::path& root) {
  std::error_code ec;
  fs::create_directories(root / "sys/dev/block", ec);
  fs::create_directories(root / "udev", ec);
  std::string mountInfo;
  int id = 20;
  for (int i = 0; i < kPseudoMounts; ++i, ++id) {
    mountInfo += std::to_string(id) + " 1 0:" + std::to_string(20 + i) + " / /run/pseudo" +
                 std::to_string(i) + " rw,relatime shared:" + std::to_string(i) +
                 " - tmpfs tmpfs rw\n";
  }
  const int blockVolumes = kVolumes - kPseudoMounts;
  for (int i = 0; i < blockVolumes; ++i, ++id) {
    const bool fixed = i < kFixedPartitions;
    const unsigned major = fixed ? 8 : 65 + static_cast<unsigned>(i / 16);
    const unsigned minor =
        fixed ? static_cast<unsigned>(i + 1) : static_cast<unsigned>(i % 16) * 16 + 1;
    const std::string devnum = std::to_string(major) + ":" + std::to_string(minor);
    const std::string disk = fixed ? "sda" : "sd" + std::to_string(i);
    const std::string part = fixed ? "sda" + std::to_string(i + 1) : disk + "1";
    const std::string bus = fixed ? "pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0"
                                  : "pci0000:00/0000:00:14.0/usb1/1-" + std::to_string(i) + "/1-" +
                                        std::to_string(i) + ":1.0/host" + std::to_string(i) +
                                        "/target" + std::to_string(i) + ":0:0/" +
                                        std::to_string(i) + ":0:0:0";
    const std::string device = bus + "/block/" + disk + "/" + part;
    const fs::path folder = root / "sys/devices" / device;
    if (!WriteText(folder / "dev", devnum + "\n") || !WriteText(folder / "partition", "1\n") ||
        !WriteText(folder.parent_path() / "removable", "0\n")) {
      return false;
    }
    fs::create_directory_symlink(fs::path("../../devices") / device,
                                 root / "sys/dev/block" / devnum, ec);
    if (ec) return false;
    const bool last = i == blockVolumes - 1;
    const std::string label = last ? "VANTEL3" : (fixed ? "disk" : "STICK") + std::to_string(i);
    if (!WriteText(root / "udev" / ("b" + devnum),
                   "S:disk/by-label/" + label + "\nE:ID_FS_TYPE=vfat\nE:ID_FS_LABEL=" + label +
                       "\nE:ID_FS_LABEL_ENC=" + label + "\n")) {
      return false;
    }
    mountInfo += std::to_string(id) + " 1 " + devnum + " / /media/user/" + label +
                 " rw,nosuid,nodev,relatime shared:" + std::to_string(id) + " - vfat /dev/" + part +
                 " rw\n";
  }
  return WriteText(root / "proc/self/mountinfo", mountInfo);
}

}  // namespace

void BenchFindDeviceDrive(benchmark::State& state) {
  const std::string what = "FindDeviceDrive, 60 mounted volumes";
  for (auto _ : state) {
    const fs::path root = fs::path(GetOptions().scratch) / "volumes";
    RemoveAll(root);
    if (!BuildSnapshot(root)) {
      AddFailedRow(what, "the snapshot could not be written");
      state.SkipWithError("no snapshot");
      return;
    }
    LinuxVolumeSource source((root / "proc").string(), (root / "sys").string(),
                             (root / "udev").string());
    std::string drive;
    if (FindDeviceDrive(source, drive) != 1 || drive != "/media/user/VANTEL3/" ||
        source.ListVolumes().size() != kVolumes) {
      AddFailedRow(what, "the snapshot's device drive was not found");
      state.SkipWithError("drive not found");
      return;
    }
    // Batches of calls until the time is up; the median batch gives the time per call.
    const double budget = GetOptions().quick ? 0.3 : 1.5;
    constexpr int kBatch = 20;
    std::vector<double> perCall;
    const double start = NowSeconds();
    while (NowSeconds() - start < budget) {
      const double t0 = NowSeconds();
      for (int i = 0; i < kBatch; ++i) {
        std::string found;
        benchmark::DoNotOptimize(FindDeviceDrive(source, found));
      }
      perCall.push_back((NowSeconds() - t0) / kBatch);
    }
    const double ours = Median(perCall);
    // One `lsblk -J` per measurement, the first a warm-up.
    std::vector<double> lsblk;
    bool failed = false;
    for (int i = 0; i < 6 && !failed; ++i) {
      const double t0 = NowSeconds();
      failed = !RunProgram({"lsblk", "-J"});
      if (i > 0) lsblk.push_back(NowSeconds() - t0);
    }
    if (failed) {
      AddFailedRow(what, "`lsblk -J` did not run");
      state.SkipWithError("lsblk failed");
      return;
    }
    const double alternative = Median(lsblk);
    state.SetIterationTime(ours);
    Row row;
    row.what = what;
    row.ours = FormatSeconds(ours) + " per call";
    row.alternative = "`lsblk -J` once: " + FormatSeconds(alternative);
    row.ratio = ours / alternative;
    row.goal = 1.0;
    row.note = "median of " + std::to_string(perCall.size()) + " batches of " +
               std::to_string(kBatch) + " calls; `lsblk` median of 5 runs on this machine";
    AddRow(row);
    RemoveAll(root);
  }
}

}  // namespace vantel3::bench
