// What a program asks of its own process, the same on every system: its start (arguments in
// UTF-8, console set up), its own program file, a new folder under the system's temp folder,
// helper programs, and sudden death (for interruption tests).
#pragma once

#include <string>
#include <vector>

namespace vantel3 {

// Call first thing in main(). Returns the arguments without the program's name, in UTF-8.
// On Windows it also limits the search for system DLLs to System32, so that no DLL planted
// in the current or the download folder is loaded in place of a system one, switches the
// console to UTF-8, and writes standard output and error without "\r\n" translation, so
// that the program's lines read the same on every system.
std::vector<std::string> StartProgram(int argc, char** argv);

// Absolute path of the running program's own file; empty when it cannot be had.
std::string RunningProgramPath();

// Creates a new, empty folder named `prefix` plus a unique suffix under the system's temp
// folder ($TMPDIR or /tmp; Windows: %TEMP%). Returns 1 with its absolute path in `folder`
// (no trailing separator), or 0 with `error`.
[[nodiscard]] int MakeTempFolder(const std::string& prefix, std::string& folder,
                                 std::string& error);

// Runs `argv` (found on PATH) with its input and output thrown away and waits for it.
// Returns its exit status, or -1 (with `error`) when it could not be started or did not exit
// normally (Windows: helper programs are not run at all).
[[nodiscard]] int RunHelperProgram(const std::vector<std::string>& argv, std::string& error);

// Ends the process at once, as a kill from outside would (no clean-up, no flush of streams).
[[noreturn]] void KillThisProcess();

}  // namespace vantel3
