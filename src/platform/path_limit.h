// Path building with the platform path limit: a path has at most 259 characters (260 with
// the terminator in the original program). A path that would be longer is refused, never cut.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vantel3 {

inline constexpr std::size_t kMaxPathChars = 259;

// The characters that end a folder name in a path: "/", and on Windows "\\" too.
#ifdef _WIN32
inline constexpr const char* kPathSeparators = "\\/";
#else
inline constexpr const char* kPathSeparators = "/";
#endif
inline constexpr bool IsPathSeparator(char c) {
  return c == '/' || (kPathSeparators[1] != '\0' && c == kPathSeparators[0]);
}

// Number of characters (Unicode code points) in UTF-8 text; a stray byte counts as one.
std::size_t CountChars(std::string_view utf8);

// out = base + name, joined directly (base carries its own separator when one is wanted).
// Returns 1, or 0 when the result would exceed kMaxPathChars (out is then unchanged).
[[nodiscard]] int JoinPath(std::string_view base, std::string_view name, std::string& out);

// out = base + separator + name; the same limit.
[[nodiscard]] int JoinPath(std::string_view base, char separator, std::string_view name,
                           std::string& out);

}  // namespace vantel3
