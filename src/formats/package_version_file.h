// The package's "version.bin": an 8-byte header ("VTL", format 1, little-endian payload
// length 1..1024) and a payload of "KEY:VALUE" lines scrambled with a one-byte mask.
// The reader never fails loudly: anything it cannot use leaves the defaults.
#pragma once

#include <cstddef>
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

// What DecodePackageVersionFile found, as bits of its result.
inline constexpr int kPackageVersionFileUsable = 1;  // header and payload were valid
inline constexpr int kPackageVersionHasTarget = 2;   // a TARGET_VERSION line was applied
inline constexpr int kPackageVersionHasBt = 4;       // a BT_VERSION line was applied

// Sets both values to their defaults, then applies what the file bytes hold. Returns 0 when
// the bytes are no usable version file (both values keep their defaults), else
// kPackageVersionFileUsable with kPackageVersionHasTarget / kPackageVersionHasBt added for
// each value a line of the payload set. For tools that must tell the cases apart.
[[nodiscard]] int DecodePackageVersionFile(std::string_view fileBytes, std::string& targetVersion,
                                           std::string& btVersion);

// Sets both values to their defaults, then applies what the file bytes hold.
void ParsePackageVersionFile(std::string_view fileBytes, std::string& targetVersion,
                             std::string& btVersion);

// Sets both values to their defaults, then reads them from the file at `path` when it is
// there and valid. Reads no more than the header and the largest payload.
void ReadPackageVersionFile(FileSystem& fs, const Path& path, std::string& targetVersion,
                            std::string& btVersion);

// The bytes of a package version file holding the two values, which the reader gives back
// unchanged. Returns 1, or 0 (out is then unchanged) when the payload would exceed 1024 bytes
// or a value would not read back as given: it holds a line break (CR or LF) or a zero byte,
// or starts or ends with white space.
[[nodiscard]] int EncodePackageVersionFile(std::string_view targetVersion,
                                           std::string_view btVersion, std::string& out);

}  // namespace vantel3
