// The Win32 file system against real folders (under Wine in CI): the behaviour the update
// relies on where Win32 differs from POSIX by nature.
#include "platform/win32_file_system.h"

#include <gtest/gtest.h>
#include <windows.h>
// <windows.h> names these as macros; the file system's methods have the same names.
#undef CreateDirectory
#undef RemoveDirectory
#undef CopyFile

#include <algorithm>
#include <string>

#include "platform/process.h"
#include "platform/win32_text.h"
#include "platform/win32_volume_source.h"

namespace vantel3 {
namespace {

class Win32FileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_EQ(MakeTempFolder("vantel3-win32-fs-", root_, error), 1) << error;
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(PathFromUtf8(root_), ec);
  }
  std::string At(const std::string& name) const { return root_ + "\\" + name; }

  Win32FileSystem fs_;
  std::string root_;
};

TEST_F(Win32FileSystemTest, Utf8NamesReachTheDiskAndComeBackTheSame) {
  const std::string folder = At("업데이트 Übung");
  ASSERT_FALSE(fs_.CreateDirectory(folder));
  ASSERT_FALSE(fs_.WriteFile(folder + "/메시지.txt", "update=업데이트\n"));
  std::vector<DirEntry> entries;
  ASSERT_FALSE(fs_.ListDirectory(root_, entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "업데이트 Übung");
  EXPECT_EQ(entries[0].type, EntryType::kDirectory);
  ASSERT_FALSE(fs_.ListDirectory(folder, entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "메시지.txt");
  EXPECT_EQ(entries[0].type, EntryType::kFile);
  std::string text;
  ASSERT_FALSE(fs_.ReadFile(folder + "\\메시지.txt", 1024, text));
  EXPECT_EQ(text, "update=업데이트\n");
}

TEST_F(Win32FileSystemTest, ErrorsReadAsThePosixConditions) {
  ASSERT_FALSE(fs_.CreateDirectory(At("d")));
  ASSERT_FALSE(fs_.WriteFile(At("d\\f"), "x"));
  std::vector<DirEntry> entries;
  std::string text;
  EntryType type;
  EXPECT_EQ(fs_.CreateDirectory(At("d")), std::errc::file_exists);
  EXPECT_EQ(fs_.RemoveDirectory(At("d")), std::errc::directory_not_empty);
  EXPECT_EQ(fs_.RemoveFile(At("missing")), std::errc::no_such_file_or_directory);
  EXPECT_EQ(fs_.Status(At("missing\\deeper"), type), std::errc::no_such_file_or_directory);
  EXPECT_EQ(fs_.ListDirectory(At("d\\f"), entries), std::errc::not_a_directory);
  EXPECT_EQ(fs_.ReadFile(At("d"), 10, text), std::errc::is_a_directory);
  EXPECT_EQ(fs_.CopyFile(At("d"), At("e")), std::errc::invalid_argument);
  EXPECT_FALSE(fs_.Exists(At("e")));
}

TEST_F(Win32FileSystemTest, RenameReplacesFilesAndEmptyFoldersButNoFullFolder) {
  ASSERT_FALSE(fs_.WriteFile(At("new"), "new"));
  ASSERT_FALSE(fs_.WriteFile(At("old"), "old"));
  ASSERT_FALSE(fs_.Rename(At("new"), At("old")));
  std::string text;
  ASSERT_FALSE(fs_.ReadFile(At("old"), 10, text));
  EXPECT_EQ(text, "new");
  EXPECT_FALSE(fs_.Exists(At("new")));

  ASSERT_FALSE(fs_.CreateDirectory(At("staged")));
  ASSERT_FALSE(fs_.WriteFile(At("staged\\a"), "a"));
  ASSERT_FALSE(fs_.CreateDirectory(At("empty")));
  ASSERT_FALSE(fs_.Rename(At("staged"), At("empty")));
  EXPECT_TRUE(fs_.Exists(At("empty\\a")));

  ASSERT_FALSE(fs_.CreateDirectory(At("other")));
  EXPECT_EQ(fs_.Rename(At("other"), At("empty")), std::errc::file_exists);
  EXPECT_TRUE(fs_.Exists(At("empty\\a")));
  EXPECT_TRUE(fs_.Exists(At("other")));
}

TEST_F(Win32FileSystemTest, CopyGivesContentsOnlyAndNeverDestroysItsSource) {
  const std::string big(3 * 1024 * 1024 + 17, 'B');
  ASSERT_FALSE(fs_.WriteFile(At("src"), big));
  ASSERT_EQ(::SetFileAttributesW(Widen(At("src")).c_str(), FILE_ATTRIBUTE_READONLY) != 0, true);
  ASSERT_FALSE(fs_.WriteFile(At("dst"), std::string(10 * 1024 * 1024, 'x')));
  ASSERT_FALSE(fs_.CopyFile(At("src"), At("dst")));
  std::string text;
  ASSERT_FALSE(fs_.ReadFile(At("dst"), big.size() + 10, text));
  EXPECT_EQ(text, big);  // the longer old contents are gone
  // The copy of a read-only file is an ordinary file: it can be written over and removed.
  EXPECT_FALSE(fs_.WriteFile(At("dst"), "again"));
  EXPECT_FALSE(fs_.RemoveFile(At("dst")));

  EXPECT_EQ(fs_.CopyFile(At("src"), At("src")), std::errc::invalid_argument);
  ASSERT_FALSE(fs_.ReadFile(At("src"), big.size() + 10, text));
  EXPECT_EQ(text.size(), big.size());
  // A read-only file is removed as unlink(2) removes one.
  EXPECT_FALSE(fs_.RemoveFile(At("src")));
  EXPECT_FALSE(fs_.Exists(At("src")));
}

TEST_F(Win32FileSystemTest, FlushesOfFilesFoldersAndTheVolumeSucceedOnAWrittenTree) {
  ASSERT_FALSE(fs_.CreateDirectory(At("d")));
  ASSERT_FALSE(fs_.WriteFile(At("d\\f"), "data"));
  ASSERT_FALSE(fs_.CopyFile(At("d\\f"), At("d\\g")));
  EXPECT_FALSE(fs_.FlushFile(At("d\\f")));
  EXPECT_FALSE(fs_.FlushFile(At("d")));
  // With or without the volume handle (administrator rights), the written files get flushed.
  EXPECT_FALSE(fs_.SyncFileSystem(At("d")));
  EXPECT_EQ(fs_.FlushFile(At("missing")), std::errc::no_such_file_or_directory);
}

TEST(Win32VolumeSourceTest, ListsDriveRootsInLetterOrder) {
  Win32VolumeSource source;
  const std::vector<Volume> volumes = source.ListVolumes();
  ASSERT_FALSE(volumes.empty());
  std::vector<std::string> roots;
  for (const Volume& v : volumes) {
    ASSERT_EQ(v.root.size(), 3u) << v.root;
    EXPECT_EQ(v.root.substr(1), ":\\");
    roots.push_back(v.root);
  }
  EXPECT_TRUE(std::is_sorted(roots.begin(), roots.end()));
  // The system drive is there and is no removable drive.
  const auto c = std::find(roots.begin(), roots.end(), "C:\\");
  ASSERT_NE(c, roots.end());
  EXPECT_FALSE(volumes[static_cast<std::size_t>(c - roots.begin())].removable);
}

}  // namespace
}  // namespace vantel3
