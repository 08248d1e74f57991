#include "platform/linux_volume_source.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "platform/platform_test_dir.h"

namespace vantel3 {
namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------------------------
// The volume list over a snapshot of proc, sysfs and the udev database.

// One block device of the snapshot: where sysfs keeps it, what its disk says in "removable",
// and its udev database file.
struct SnapshotDevice {
  const char* devnum;
  // Below <sys>/devices; a partition's folder sits in its disk's folder.
  const char* sysfsDevice;
  bool partition;
  const char* diskRemovable;
  // Content of <udev>/b<devnum>; nullptr when udev has no record.
  const char* udevData;
};

// A desktop with a fixed disk, a built-in card reader, three USB sticks, a snap and a portal.
constexpr const char* kMountInfo =
    "21 27 0:20 / /proc rw,nosuid,nodev,noexec,relatime shared:12 - proc proc rw\n"
    "22 27 0:21 / /sys rw,nosuid,nodev,noexec,relatime shared:2 - sysfs sysfs rw\n"
    "25 23 0:23 / /dev/shm rw,nosuid,nodev shared:3 - tmpfs tmpfs rw,inode64\n"
    "27 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw,errors=remount-ro\n"
    "60 27 8:3 / /data rw,relatime shared:30 - vfat /dev/sda3 rw,fmask=0022\n"
    "61 27 179:1 / /media/anna/VO3 rw,nosuid,nodev,relatime shared:31 - vfat /dev/mmcblk0p1 rw\n"
    "62 27 8:17 / /media/anna/VANTEL3 rw,nosuid,nodev,relatime shared:32 - vfat /dev/sdb1 rw\n"
    "63 27 8:33 / /media/anna/vantel3 rw,nosuid,nodev,relatime shared:33 - vfat /dev/sdc1 rw\n"
    "64 27 8:48 / /media/anna/My\\040Stick rw,nosuid,nodev shared:34 - vfat /dev/sdd rw\n"
    // A sub-folder of the VANTEL3 stick bound elsewhere: not the root of a volume.
    "65 27 8:17 /Music /home/anna/Music rw,relatime shared:32 - vfat /dev/sdb1 rw\n"
    // An automount point, then the file system mounted over it.
    "66 27 0:50 / /media/anna/Backup rw,relatime shared:35 - autofs systemd-1 rw,fd=51\n"
    "67 66 8:65 / /media/anna/Backup rw,relatime shared:36 - ext4 /dev/sde1 rw\n"
    "68 27 0:60 / /run/user/1000/doc rw,nosuid,nodev,relatime shared:37 - fuse.portal portal rw\n"
    "69 27 7:0 / /snap/core/17200 ro,nodev,relatime shared:38 - squashfs /dev/loop0 ro\n"
    // Captured without its sysfs part: the label is known, the medium is not.
    "70 27 8:80 / /mnt/unknown rw,relatime shared:39 - vfat /dev/sdf1 rw\n";

constexpr SnapshotDevice kDevices[] = {
    {"8:2", "pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block/sda/sda2", true, "0",
     "E:ID_FS_TYPE=ext4\nE:ID_FS_LABEL=root\nE:ID_FS_LABEL_ENC=root\n"},
    // A fixed disk carrying the device's label is never a device drive.
    {"8:3", "pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block/sda/sda3", true, "0",
     "S:disk/by-label/VANTEL3\nE:ID_FS_TYPE=vfat\nE:ID_FS_LABEL=VANTEL3\n"},
    // Built-in card reader: the disk itself says it is removable.
    {"179:1", "platform/fe320000.mmc/mmc_host/mmc0/mmc0:aaaa/block/mmcblk0/mmcblk0p1", true, "1",
     "E:ID_FS_TYPE=vfat\nE:ID_FS_LABEL=VO3\nE:ID_FS_LABEL_ENC=VO3\n"},
    // USB sticks and card readers often say "removable" 0; the USB bus tells.
    {"8:17", "pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb/sdb1",
     true, "0", "S:disk/by-label/VANTEL3\nE:ID_FS_LABEL=VANTEL3\nE:ID_FS_LABEL_ENC=VANTEL3\n"},
    {"8:33", "pci0000:00/0000:00:14.0/usb2/2-3/2-3:1.0/host7/target7:0:0/7:0:0:0/block/sdc/sdc1",
     true, "0", "E:ID_FS_LABEL=vantel3\nE:ID_FS_LABEL_ENC=vantel3\n"},
    // A whole disk without partitions, its own "removable" 1; udev has the exact label only in
    // the encoded form.
    {"8:48", "pci0000:00/0000:00:17.0/ata3/host2/target2:0:0/2:0:0:0/block/sdd", false, "1",
     "E:ID_FS_LABEL=My_Stick\nE:ID_FS_LABEL_ENC=My\\x20Stick\n"},
    {"8:65", "pci0000:00/0000:00:14.0/usb3/3-2/3-2:1.0/host8/target8:0:0/8:0:0:0/block/sde/sde1",
     true, "0", nullptr},
    {"7:0", "virtual/block/loop0", false, "0", "E:ID_FS_TYPE=squashfs\n"},
    {"8:80", nullptr, true, "0", "E:ID_FS_LABEL=VANTEL3\n"},
};

// Builds the snapshot as the kernel and udev lay it out: <sys>/dev/block/M:m is a relative
// link to the device's folder under <sys>/devices.
void BuildSnapshot(const fs::path& root, const char* mountInfo) {
  WriteTestFile(root / "proc/self/mountinfo", mountInfo);
  fs::create_directories(root / "sys/dev/block");
  fs::create_directories(root / "udev");
  for (const SnapshotDevice& device : kDevices) {
    if (device.udevData != nullptr) {
      WriteTestFile(root / "udev" / (std::string("b") + device.devnum), device.udevData);
    }
    if (device.sysfsDevice == nullptr) continue;
    const fs::path folder = root / "sys/devices" / device.sysfsDevice;
    fs::create_directories(folder);
    WriteTestFile(folder / "dev", std::string(device.devnum) + "\n");
    if (device.partition) {
      WriteTestFile(folder / "partition", "1\n");
      WriteTestFile(folder.parent_path() / "removable", std::string(device.diskRemovable) + "\n");
    } else {
      WriteTestFile(folder / "removable", std::string(device.diskRemovable) + "\n");
    }
    fs::create_directory_symlink(fs::path("../../devices") / device.sysfsDevice,
                                 root / "sys/dev/block" / device.devnum);
  }
}

using VolumeRow = std::tuple<std::string, bool, std::optional<std::string>>;

std::vector<VolumeRow> Rows(const std::vector<Volume>& volumes) {
  std::vector<VolumeRow> rows;
  for (const Volume& volume : volumes)
    rows.emplace_back(volume.root, volume.removable, volume.label);
  return rows;
}

LinuxVolumeSource SourceAt(const fs::path& root) {
  return LinuxVolumeSource((root / "proc").string(), (root / "sys").string(),
                           (root / "udev").string());
}

TEST(LinuxVolumeSourceTest, ListsSnapshotVolumesInMountOrderWithRootsRemovableAndLabels) {
  PlatformTestDir dir;
  // Under a folder named like a USB bus: only the part of a path inside sysfs may count.
  const fs::path root = dir / "usb1";
  BuildSnapshot(root, kMountInfo);
  const std::vector<VolumeRow> expected = {
      {"/proc/", false, std::nullopt},
      {"/sys/", false, std::nullopt},
      {"/dev/shm/", false, std::nullopt},
      {"/", false, "root"},
      {"/data/", false, "VANTEL3"},
      {"/media/anna/VO3/", true, "VO3"},
      {"/media/anna/VANTEL3/", true, "VANTEL3"},
      {"/media/anna/vantel3/", true, "vantel3"},
      {"/media/anna/My Stick/", true, "My Stick"},
      {"/media/anna/Backup/", true, std::nullopt},
      {"/run/user/1000/doc/", false, std::nullopt},
      {"/snap/core/17200/", false, std::nullopt},
      {"/mnt/unknown/", false, "VANTEL3"},
  };
  EXPECT_EQ(Rows(SourceAt(root).ListVolumes()), expected);
}

TEST(LinuxVolumeSourceTest, UnreadableMountInfoGivesNoVolumes) {
  PlatformTestDir dir;
  EXPECT_TRUE(SourceAt(dir.path()).ListVolumes().empty());
}

TEST(LinuxVolumeSourceTest, OverlongMountInfoKeepsTheMountsBeforeTheLimit) {
  PlatformTestDir dir;
  BuildSnapshot(dir.path(), "");
  // The stick first, filler mounts up to the limit, then a line that the limit cuts inside
  // its source: the mounts read in full are listed, the cut line is not.
  std::string text = "62 27 8:17 / /media/anna/VO3 rw,relatime - vfat /dev/sdb1 rw\n";
  const std::string last = "63 27 8:17 / /media/anna/VANTEL3 rw,relatime - vfat /dev/sdb1 rw\n";
  const std::size_t cutAt = last.find("b1 rw");
  for (int n = 0;; ++n) {
    const std::string filler =
        "30 27 0:40 / /run/c" + std::to_string(n) + " rw,relatime - tmpfs tmpfs rw\n";
    if (text.size() + filler.size() > kMaxMountInfoBytes - cutAt) break;
    text += filler;
  }
  text.resize(kMaxMountInfoBytes - cutAt, '\n');  // blank lines are skipped
  text += last;
  WriteTestFile(dir / "proc/self/mountinfo", text);

  const std::vector<Volume> volumes = SourceAt(dir.path()).ListVolumes();
  ASSERT_GT(volumes.size(), 1000u);
  EXPECT_EQ(volumes.front().root, "/media/anna/VO3/");
  EXPECT_TRUE(volumes.front().removable);
  EXPECT_THAT(volumes.back().root, ::testing::StartsWith("/run/c"));  // not the cut line
}

TEST(LinuxVolumeSourceTest, SystemRootsListTheRealMountsWithTheRootFolderAndProc) {
  const std::vector<Volume> volumes = LinuxVolumeSource().ListVolumes();
  ASSERT_FALSE(volumes.empty());
  bool root = false;
  bool proc = false;
  for (const Volume& volume : volumes) {
    EXPECT_EQ(volume.root.front(), '/');
    EXPECT_EQ(volume.root.back(), '/');
    if (volume.root == "/") root = true;
    if (volume.root == "/proc/") {
      proc = true;
      EXPECT_FALSE(volume.removable);
      EXPECT_FALSE(volume.label.has_value());
    }
  }
  EXPECT_TRUE(root);
  EXPECT_TRUE(proc);
}

// ---------------------------------------------------------------------------------------------
// mountinfo lines

struct MountLineCase {
  const char* name;
  const char* line;
  bool valid;
  unsigned major = 0;
  unsigned minor = 0;
  const char* fsRoot = "";
  const char* mountPoint = "";
  const char* fsType = "";
  const char* source = "";
};
void PrintTo(const MountLineCase& c, std::ostream* os) {
  *os << c.name;
}

const MountLineCase kMountLines[] = {
    {"NoOptionalFields", "36 35 98:0 /mnt1 /mnt2 rw,noatime - ext3 /dev/root rw,errors=continue",
     true, 98, 0, "/mnt1", "/mnt2", "ext3", "/dev/root"},
    {"SeveralOptionalFields",
     "36 35 98:0 / /mnt2 rw,noatime master:1 shared:7 propagate_from:2 unbindable - ext3 "
     "/dev/root rw",
     true, 98, 0, "/", "/mnt2", "ext3", "/dev/root"},
    {"SpaceInMountPoint", "64 27 8:17 / /media/anna/My\\040Stick rw - vfat /dev/sdb1 rw", true, 8,
     17, "/", "/media/anna/My Stick", "vfat", "/dev/sdb1"},
    {"TabNewlineBackslash", "64 27 8:17 / /mnt/a\\011b\\012c\\134d rw - vfat /dev/sdb1 rw", true, 8,
     17, "/", "/mnt/a\tb\nc\\d", "vfat", "/dev/sdb1"},
    {"AnyOctalByte", "64 27 8:17 / /media/K\\303\\244se rw - vfat /dev/sdb1 rw", true, 8, 17, "/",
     "/media/K\xC3\xA4se", "vfat", "/dev/sdb1"},
    {"EscapedSeparatorInMountPoint", "64 27 8:17 / /mnt/a\\040-\\040b rw - vfat /dev/sdb1 rw", true,
     8, 17, "/", "/mnt/a - b", "vfat", "/dev/sdb1"},
    {"IncompleteOrOutOfRangeEscapesStay",
     "64 27 8:17 / /mnt/\\9x\\400\\04 rw - vfat /dev/disk/by-label/A\\040B rw", true, 8, 17, "/",
     "/mnt/\\9x\\400\\04", "vfat", "/dev/disk/by-label/A B"},
    {"BindMountOfSubFolder", "65 27 8:17 /Music /home/anna/Music rw - vfat /dev/sdb1 rw", true, 8,
     17, "/Music", "/home/anna/Music", "vfat", "/dev/sdb1"},
    {"NoSuperOptions", "64 27 259:3 / /boot rw - vfat /dev/nvme0n1p3", true, 259, 3, "/", "/boot",
     "vfat", "/dev/nvme0n1p3"},
    {"EmptySource", "68 27 0:60 / /run/x rw - fuse.x  rw", true, 0, 60, "/", "/run/x", "fuse.x",
     ""},
    {"NoSeparator", "36 35 98:0 / /mnt2 rw,noatime master:1 ext3 /dev/root rw", false},
    {"NothingAfterSeparator", "36 35 98:0 / /mnt2 rw,noatime -", false},
    {"NoSourceAfterType", "36 35 98:0 / /mnt2 rw,noatime - ext3", false},
    {"TooFewFields", "36 35 98:0 / - ext3 /dev/root rw", false},
    {"DeviceNumberWithoutColon", "36 35 98-0 / /mnt2 rw - ext3 /dev/root rw", false},
    {"DeviceNumberWithoutMinor", "36 35 98: / /mnt2 rw - ext3 /dev/root rw", false},
    {"DeviceNumberWithoutMajor", "36 35 :0 / /mnt2 rw - ext3 /dev/root rw", false},
    {"DeviceNumberNotNumeric", "36 35 a:b / /mnt2 rw - ext3 /dev/root rw", false},
    {"DeviceNumberOverflows", "36 35 4294967296:0 / /mnt2 rw - ext3 /dev/root rw", false},
    {"LargestNumbers", "4294967295 35 4095:1048575 / /mnt2 rw - ext3 /dev/root rw", true, 4095,
     1048575, "/", "/mnt2", "ext3", "/dev/root"},
    {"MountIdNotNumeric", "x 35 98:0 / /mnt2 rw - ext3 /dev/root rw", false},
    {"DoubledSpace", "36 35 98:0 / /mnt2  rw - ext3 /dev/root rw", false},
    {"RelativeMountPoint", "36 35 98:0 / mnt2 rw - ext3 /dev/root rw", false},
    {"NulEscape", "36 35 98:0 / /mnt\\000x rw - ext3 /dev/root rw", false},
    {"Empty", "", false},
    {"CarriageReturnOnly", "\r", false},
};

class MountLineTest : public ::testing::TestWithParam<MountLineCase> {};

TEST_P(MountLineTest, ParsesOrSkips) {
  const MountLineCase& c = GetParam();
  const std::vector<MountEntry> entries = ParseMountInfo(c.line);
  if (!c.valid) {
    EXPECT_TRUE(entries.empty());
    return;
  }
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].major, c.major);
  EXPECT_EQ(entries[0].minor, c.minor);
  EXPECT_EQ(entries[0].fsRoot, c.fsRoot);
  EXPECT_EQ(entries[0].mountPoint, c.mountPoint);
  EXPECT_EQ(entries[0].fsType, c.fsType);
  EXPECT_EQ(entries[0].source, c.source);
}

INSTANTIATE_TEST_SUITE_P(Lines, MountLineTest, ::testing::ValuesIn(kMountLines),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ParseMountInfoTest, KeepsFileOrderSkipsBadLinesAndTakesALastLineWithoutNewline) {
  const std::vector<MountEntry> entries = ParseMountInfo(
      "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
      "garbage\n"
      "\n"
      "2 1 8:17 / /media/b rw - vfat /dev/sdb1 rw\n"
      "3 1 8:33 / /media/a rw - vfat /dev/sdc1 rw");
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].mountPoint, "/");
  EXPECT_EQ(entries[1].mountPoint, "/media/b");
  EXPECT_EQ(entries[2].mountPoint, "/media/a");
}

TEST(ParseMountInfoTest, RandomGarbageNeverGivesAnEntryWithoutAnAbsoluteMountPoint) {
  // Damaged lines built from mountinfo's own alphabet, so that many get far into the parser.
  const std::string alphabet = "0123456789: -/\\\nabrw,";
  std::mt19937 random(20240611);
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  std::uniform_int_distribution<int> length(0, 200);
  const std::string valid = "36 35 98:0 / /mnt\\0402 rw shared:1 - ext3 /dev/root rw\n";
  for (int round = 0; round < 3000; ++round) {
    std::string text = valid;
    const int changes = length(random) % 8 + 1;
    for (int i = 0; i < changes; ++i) {
      text[static_cast<std::size_t>(length(random)) % text.size()] = alphabet[pick(random)];
    }
    for (int i = length(random); i > 0; --i) text.push_back(alphabet[pick(random)]);
    for (const MountEntry& entry : ParseMountInfo(text)) {
      ASSERT_FALSE(entry.mountPoint.empty()) << text;
      EXPECT_EQ(entry.mountPoint.front(), '/') << text;
      EXPECT_EQ(entry.mountPoint.find('\0'), std::string::npos) << text;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// udev database files

struct UdevLabelCase {
  const char* name;
  const char* file;
  const char* label;  // nullptr: none
};
void PrintTo(const UdevLabelCase& c, std::ostream* os) {
  *os << c.name;
}

const UdevLabelCase kUdevLabels[] = {
    {"TypicalRecord",
     "S:disk/by-uuid/1234-ABCD\nS:disk/by-label/VANTEL3\nW:12\nI:1234567\n"
     "E:ID_FS_UUID=1234-ABCD\nE:ID_FS_TYPE=vfat\nE:ID_FS_LABEL=VANTEL3\n"
     "E:ID_FS_LABEL_ENC=VANTEL3\nG:systemd\n",
     "VANTEL3"},
    {"PlainOnly", "E:ID_FS_LABEL=VO3\n", "VO3"},
    {"EncodedGivesTheExactLabel", "E:ID_FS_LABEL=My_Stick\nE:ID_FS_LABEL_ENC=My\\x20Stick\n",
     "My Stick"},
    {"EncodedBeforePlainStillWins", "E:ID_FS_LABEL_ENC=a\\x2fb\nE:ID_FS_LABEL=a_b", "a/b"},
    {"EncodedUtf8PassesThrough", "E:ID_FS_LABEL_ENC=\xEC\x9D\x8C\xEC\x95\x85\n",
     "\xEC\x9D\x8C\xEC\x95\x85"},
    {"BrokenEncodingFallsBackToPlain", "E:ID_FS_LABEL_ENC=Bad\\x2\nE:ID_FS_LABEL=Bad_\n", "Bad_"},
    {"EncodedNulFallsBackToPlain", "E:ID_FS_LABEL_ENC=a\\x00b\nE:ID_FS_LABEL=a_b\n", "a_b"},
    {"BrokenEncodingAlone", "E:ID_FS_LABEL_ENC=Bad\\q1\n", nullptr},
    {"ValueHoldsEquals", "E:ID_FS_LABEL=a=b\n", "a=b"},
    {"NoLabel", "E:ID_FS_TYPE=vfat\nE:ID_FS_UUID=1234-ABCD\n", nullptr},
    // The name of a by-label link is not the label.
    {"OnlyByLabelLink", "S:disk/by-label/VANTEL3\n", nullptr},
    {"SimilarKey", "E:ID_FS_LABELX=VANTEL3\nE:ID_FS_LABEL_ENCODED=VANTEL3\n", nullptr},
    {"NotAPropertyLine", "X:ID_FS_LABEL=VANTEL3\nID_FS_LABEL=VANTEL3\n", nullptr},
    {"Empty", "", nullptr},
};

class UdevLabelTest : public ::testing::TestWithParam<UdevLabelCase> {};

TEST_P(UdevLabelTest, FindsTheLabel) {
  const UdevLabelCase& c = GetParam();
  std::string label = "unchanged";
  const bool found = ParseUdevLabel(c.file, label);
  if (c.label == nullptr) {
    EXPECT_FALSE(found);
    EXPECT_EQ(label, "unchanged");
  } else {
    EXPECT_TRUE(found);
    EXPECT_EQ(label, c.label);
  }
}

INSTANTIATE_TEST_SUITE_P(Files, UdevLabelTest, ::testing::ValuesIn(kUdevLabels),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vantel3
