// The bodies of the fuzz targets: each feeds arbitrary bytes to one reader of outside input
// and checks what must hold whatever the bytes are. The libFuzzer programs and the corpus
// replay unit test call the same functions.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantel3 {

// Called when a checked property does not hold, with a short description of it; the target
// then returns at once. The default handler prints the description and aborts, which is what
// libFuzzer needs to keep the input; a test installs its own to record failures by file.
using FuzzFailureHandler = void (*)(const char* what);
void SetFuzzFailureHandler(FuzzFailureHandler handler);

// Each returns 0 (the only value libFuzzer accepts for a finished input).

// "version.bin" bytes through DecodePackageVersionFile and ParsePackageVersionFile: both
// agree, an unusable file leaves the defaults, and the values read re-encode to a file that
// reads back the same.
int FuzzPackageVersionFile(const uint8_t* data, std::size_t size);

// Device version file bytes through JoinTextLines, ExtractVersionValue and
// EvaluateDeviceVersionText: joined text holds no LF, the decision fields are 0 or 1 and
// "no usable bt" means both fields 1.
int FuzzDeviceVersionText(const uint8_t* data, std::size_t size);

// Device version file bytes through the "df" rewrite (RewriteDfText on the LF-joined lines):
// a rewritten text has CR LF line ends only, ends with one, and reads back with "df" = "uart"
// and "bt" unchanged when "bt" comes before "df".
int FuzzRewriteDf(const uint8_t* data, std::size_t size);

// /proc/self/mountinfo text through ParseMountInfo: every entry has a mount point that
// starts with "/", and no more entries than lines.
int FuzzMountInfo(const uint8_t* data, std::size_t size);

// A udev database file through ParseUdevLabel: the label is left unchanged when none is
// found.
int FuzzUdevLabel(const uint8_t* data, std::size_t size);

// A simulator scenario document through ParseScenario: the result is 0 or 1, a refusal says
// why, and the same document gives the same answer twice.
int FuzzScenario(const uint8_t* data, std::size_t size);

}  // namespace vantel3
