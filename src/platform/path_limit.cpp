#include "platform/path_limit.h"

namespace vantel3 {

std::size_t CountChars(std::string_view utf8) {
  std::size_t count = 0;
  for (unsigned char c : utf8) {
    if ((c & 0xC0) != 0x80) ++count;  // every byte but a continuation byte starts a character
  }
  return count;
}

int JoinPath(std::string_view base, std::string_view name, std::string& out) {
  if (CountChars(base) + CountChars(name) > kMaxPathChars) return 0;
  std::string joined;
  joined.reserve(base.size() + name.size());
  joined.append(base).append(name);
  out = std::move(joined);
  return 1;
}

int JoinPath(std::string_view base, char separator, std::string_view name, std::string& out) {
  if (CountChars(base) + 1 + CountChars(name) > kMaxPathChars) return 0;
  std::string joined;
  joined.reserve(base.size() + 1 + name.size());
  joined.append(base).append(1, separator).append(name);
  out = std::move(joined);
  return 1;
}

}  // namespace vantel3
