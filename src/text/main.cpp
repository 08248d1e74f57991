// vantel3-updater-text: the update in a terminal, one line per event.
#include <iostream>

#include "text/text_front_end.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return vantel3::RunTextFrontEnd(args, std::cin, std::cout, std::cerr);
}
