// vantel3-updater-text: the update in a terminal, one line per event.
#include <iostream>

#include "platform/process.h"
#include "text/text_front_end.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args = vantel3::StartProgram(argc, argv);
  return vantel3::RunTextFrontEnd(args, std::cin, std::cout, std::cerr);
}
