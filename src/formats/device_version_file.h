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

// The five version file names in the order DetectGeneration tests them.
inline constexpr const char* kVersionFileVo3Gen2 = "vo3_ver2";
inline constexpr const char* kVersionFileRu3rGen2 = "ru3r_ver2";
inline constexpr const char* kVersionFileVo3Gen1 = "vo3_ver";
inline constexpr const char* kVersionFileRu3rGen1 = "ru3r_ver";
inline constexpr const char* kVersionFileVtGen1 = "vt_ver";
// Added to the chosen file's name for the new text during a rewrite; the device looks only
// for its exact file names, so a leftover of an interrupted rewrite means nothing to it.
inline constexpr const char* kRewriteTempSuffix = ".tmp";

// The lines of a text file as text-mode reading gives them, each without its line end and
// followed by `lineSuffix` ("" joins them for the search, "\n" keeps one LF per line for the
// rewrite). A line end is LF together with the CRs right before it; a CR that ends the file
// counts as a line end too. A last line without a line end is still a line; an empty file has
// none.
std::string JoinTextLines(std::string_view fileBytes, std::string_view lineSuffix);

// Sets btUpdateNeeded 1, btUpdateOverUsb 1, versionFile2Found 0, then reads the chosen
// file and decides from its "bt" and "df" values against the package's `btVersion`. A file
// that cannot be read, or one larger than kMaxDeviceVersionFileBytes, ends the reading with
// versionFile2Found 1 and the other two fields 1.
void ReadDeviceVersionFile(FileSystem& fs, std::string_view deviceRoot, std::string_view btVersion,
                           int32_t& btUpdateNeeded, int32_t& btUpdateOverUsb,
                           int32_t& versionFile2Found);

// The same decision on text whose lines are already joined (steps after choosing the file).
// Sets both fields to 1 first; they stay 1 when the text is empty or has no usable "bt".
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

// Rewrites the chosen file's "df" value to "uart". The new text goes to the file's name plus
// kRewriteTempSuffix beside it, is flushed, and replaces the old file by rename; then the
// root folder is flushed. Returns 1 when the file was replaced (even if that last flush
// fails: the new content is in place). Returns 0 when nothing was replaced: no chosen file,
// unreadable or too large, no "df" value, or a failed write, flush or rename; the original
// stays as it was and the temporary file is removed.
[[nodiscard]] int RewriteDeviceVersionDf(FileSystem& fs, std::string_view deviceRoot);

}  // namespace vantel3
