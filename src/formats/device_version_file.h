// The device's version file in its drive root: which of five names exists tells the model
// and generation; the second-generation files carry "bt" (Bluetooth version) and "df"
// (transport of a Bluetooth update) as JSON-like "key":"value" members.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace vantel3 {

// A real version file is a few hundred bytes; anything larger is not read.
inline constexpr std::size_t kMaxDeviceVersionFileBytes = 64 * 1024;

// Sets model and generation to 0, then from the first of "vo3_ver2", "ru3r_ver2",
// "vo3_ver", "ru3r_ver", "vt_ver" that exists in `deviceRoot`. Returns 1 when one exists.
[[nodiscard]] int DetectGeneration(FileSystem& fs, std::string_view deviceRoot, uint8_t& model,
                                   uint8_t& generation);

// The second-generation file to read or rewrite: "ru3r_ver2" when it exists, else
// "vo3_ver2". Returns 1 and its path, or 0 when neither exists.
[[nodiscard]] int ChooseDeviceVersionFile(FileSystem& fs, std::string_view deviceRoot,
                                          std::string& path);

// Sets btUpdateNeeded 1, btUpdateOverUsb 1, versionFile2Found 0, then reads the chosen
// file and decides from its "bt" and "df" values against the package's `btVersion`.
void ReadDeviceVersionFile(FileSystem& fs, std::string_view deviceRoot,
                           std::string_view btVersion, int32_t& btUpdateNeeded,
                           int32_t& btUpdateOverUsb, int32_t& versionFile2Found);

// The same decision on text whose lines are already joined (steps after choosing the file).
void EvaluateDeviceVersionText(std::string_view joinedText, std::string_view btVersion,
                               int32_t& btUpdateNeeded, int32_t& btUpdateOverUsb);

// The value of `quotedKey` (e.g. "\"bt\"" with its quotes): from the key's first occurrence,
// the first colon, the first quote after it, up to the next quote; trimmed. Returns 1, or 0
// when the key, the colon or either quote is missing.
[[nodiscard]] int ExtractVersionValue(std::string_view text, std::string_view quotedKey,
                                      std::string& value);

// The rewrite of "df" to "uart" on file text: `text` has each line followed by LF; `out`
// gets the text with the characters between the value's quotes replaced and every LF
// written as CR LF. Returns 1, or 0 (nothing to write) when the text is empty or the key,
// colon or a quote is missing.
[[nodiscard]] int RewriteDfText(std::string_view text, std::string& out);

// Rewrites the chosen file's "df" value to "uart". The new text goes to a file beside it,
// is flushed, and replaces the old file by rename, so a failure never loses the old content.
// Returns 1 when the file was rewritten, 0 when nothing was written.
[[nodiscard]] int RewriteDeviceVersionDf(FileSystem& fs, std::string_view deviceRoot);

}  // namespace vantel3
