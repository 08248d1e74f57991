#include "fsops/read_back.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/path_limit.h"

namespace vantel3 {

namespace {

constexpr char kJoinSeparator = '/';

// Pulls both files part by part and compares what overlaps; the parts of the two readers
// need not have the same sizes.
ReadBackOutcome Compare(FileReader& copy, FileReader& source, uint64_t& bytes) {
  std::string_view copyPart;
  std::string_view sourcePart;
  bool copyEnded = false;
  bool sourceEnded = false;
  for (;;) {
    if (copyPart.empty() && !copyEnded) {
      if (copy.Next(copyPart)) return ReadBackOutcome::kCopyUnreadable;
      copyEnded = copyPart.empty();
    }
    if (sourcePart.empty() && !sourceEnded) {
      if (source.Next(sourcePart)) return ReadBackOutcome::kSourceUnreadable;
      sourceEnded = sourcePart.empty();
    }
    if (copyEnded || sourceEnded) {
      return copyEnded && sourceEnded ? ReadBackOutcome::kSame : ReadBackOutcome::kDiffers;
    }
    const std::size_t n = std::min(copyPart.size(), sourcePart.size());
    if (std::memcmp(copyPart.data(), sourcePart.data(), n) != 0) return ReadBackOutcome::kDiffers;
    bytes += n;
    copyPart.remove_prefix(n);
    sourcePart.remove_prefix(n);
  }
}

ReadBackOutcome CheckFile(FileSystem& fs, const std::string& source, const std::string& copy,
                          uint64_t& bytes) {
  std::unique_ptr<FileReader> copyReader;
  if (fs.OpenForReading(copy, ReadSource::kMedium, copyReader)) {
    return ReadBackOutcome::kCopyUnreadable;
  }
  std::unique_ptr<FileReader> sourceReader;
  if (fs.OpenForReading(source, ReadSource::kAnywhere, sourceReader)) {
    return ReadBackOutcome::kSourceUnreadable;
  }
  return Compare(*copyReader, *sourceReader, bytes);
}

int CheckAndReport(FileSystem& fs, const std::string& source, const std::string& copy,
                   const ReadBackObserver& observer) {
  ReadBackRecord record{source, copy, 0, ReadBackOutcome::kSame};
  record.outcome = CheckFile(fs, source, copy, record.bytes);
  if (observer) observer(record);
  return record.outcome == ReadBackOutcome::kSame ? 1 : 0;
}

bool IsFolder(FileSystem& fs, const std::string& path) {
  EntryType type;
  return !fs.Status(path, type) && type == EntryType::kDirectory;
}

int CheckFolder(FileSystem& fs, const std::string& source, const std::string& copy,
                const ReadBackObserver& observer) {
  if (!IsFolder(fs, copy)) return 0;
  std::vector<DirEntry> entries;
  if (fs.ListDirectory(source, entries)) return 1;  // nothing was copied from it
  for (const DirEntry& entry : entries) {
    std::string from;
    std::string to;
    if (!JoinPath(source, kJoinSeparator, entry.name, from) ||
        !JoinPath(copy, kJoinSeparator, entry.name, to)) {
      return 0;
    }
    EntryType type = entry.type;
    // kOther also stands for "could not be told" in a listing.
    if (type == EntryType::kOther && fs.Status(from, type)) return 0;
    if (type == EntryType::kDirectory) {
      if (!CheckFolder(fs, from, to, observer)) return 0;
    } else if (type == EntryType::kFile) {
      if (!CheckAndReport(fs, from, to, observer)) return 0;
    }
  }
  return 1;
}

}  // namespace

const char* ReadBackOutcomeName(ReadBackOutcome outcome) {
  switch (outcome) {
    case ReadBackOutcome::kSame:
      return "same";
    case ReadBackOutcome::kDiffers:
      return "differs";
    case ReadBackOutcome::kCopyUnreadable:
      return "copy unreadable";
    case ReadBackOutcome::kSourceUnreadable:
      return "source unreadable";
    case ReadBackOutcome::kNotRead:
      return "not read";
  }
  return "?";
}

int ReadBackFile(FileSystem& fs, std::string_view source, std::string_view copy,
                 const ReadBackObserver& observer) {
  return CheckAndReport(fs, std::string(source), std::string(copy), observer);
}

int ReadBackTree(FileSystem& fs, std::string_view source, std::string_view copy,
                 const ReadBackObserver& observer) {
  if (source.empty() || copy.empty()) return 0;
  return CheckFolder(fs, std::string(source), std::string(copy), observer);
}

}  // namespace vantel3
