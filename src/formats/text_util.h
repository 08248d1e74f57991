// Small text helpers shared by the version-file readers: white-space trimming and ASCII
// case-insensitive comparison.
#pragma once

#include <string_view>

namespace vantel3 {

// True for space, tab, line feed, vertical tab, form feed and carriage return.
bool IsTrimmedSpace(char c);

// `text` without the white space (as above) at both ends.
std::string_view TrimWhiteSpace(std::string_view text);

// Whole-string equality with ASCII letters compared without regard to case; other bytes
// (including every byte of a multi-byte UTF-8 character) must be equal.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace vantel3
