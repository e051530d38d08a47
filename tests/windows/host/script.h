// script.h — the test host's script: one command per line (or per command-line argument).
//
//   load NAME                              LoadLibraryA(NAME); default "Kestrel64.dll"
//   box FLAGS "CAPTION" "TEXT" ANSWER [insert N]
//                                          the next message box must look like this and is
//                                          answered with ANSWER (ok, cancel, yes, no or a
//                                          number); FLAGS like 0x2001; with "insert N",
//                                          disk N goes into drive A: before the answer
//   answer ANSWER [insert N]               the next message box, whatever it shows, gets ANSWER
//   disks "DRIVEFOLDER" "STORE"            drive A: is the folder DRIVEFOLDER; the other
//                                          floppies wait in STORE as folders 1, 2 ...
//   insert N                               puts disk N into drive A: now
//   exists "PATH" = 0|1                    whether PATH exists (%VAR% expanded)
//   same "PATH" "PATH" = 0|1               whether both exist with the same bytes
//   GetVersion = "TEXT"
//   isZip "PATH" = N
//   UnZipFile "SOURCE" "DEST" "RESERVED" = N
//   ZipFile "SOURCE" "ZIP" "RESERVED" LEVEL RECURSE = N
//   # comment
// Quoted strings take \xNN (two hex digits) for a byte, \\ and \"; any other backslash is
// itself. Every box declared before a call must have been shown by the end of that call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::wintest {

struct Command {
  std::string verb;
  std::vector<std::string> args;  // unquoted, escapes resolved
  bool hasExpected = false;
  std::string expected;  // the token after "="
  int line = 0;
};

// Splits one line into a command; false with a message on a syntax error. Blank and comment
// lines give a command with an empty verb.
bool ParseLine(const std::string& line, int number, Command& command, std::string& error);

// A button name or number as its id (IDOK ...); 0 when unknown.
int ButtonId(const std::string& name);

}  // namespace kestrel::wintest
