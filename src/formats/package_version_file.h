// The package's "version.bin": an 8-byte header ("VTL", format 1, little-endian payload
// length 1..1024) and a payload of "KEY:VALUE" lines scrambled with a one-byte mask.
// The reader never fails loudly: anything it cannot use leaves the defaults.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace vantel3 {

inline constexpr const char* kPackageVersionFileName = "version.bin";
inline constexpr const char* kDefaultTargetVersion = "3.5.2";
inline constexpr const char* kDefaultBtVersion = "030108-002-251124-114355";
// The mask every payload byte is combined with by exclusive-or, shared by reader and writer.
inline constexpr uint8_t kPackageVersionMask = 0xA5;
inline constexpr std::size_t kPackageVersionHeaderSize = 8;
inline constexpr uint32_t kMaxPackageVersionPayload = 1024;

// Sets both values to their defaults, then applies what the file bytes hold.
void ParsePackageVersionFile(std::string_view fileBytes, std::string& targetVersion,
                             std::string& btVersion);

// Sets both values to their defaults, then reads them from the file at `path` when it is
// there and valid. Reads no more than the header and the largest payload.
void ReadPackageVersionFile(FileSystem& fs, const Path& path, std::string& targetVersion,
                            std::string& btVersion);

// The bytes of a package version file holding the two values. Returns 1, or 0 when the
// payload would exceed 1024 bytes or a value holds a line break (out is then unchanged).
[[nodiscard]] int EncodePackageVersionFile(std::string_view targetVersion,
                                           std::string_view btVersion, std::string& out);

}  // namespace vantel3
