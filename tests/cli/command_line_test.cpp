// The kestrel command's dispatch and its version subcommand, run as a real process.
#include <gtest/gtest.h>

#include <string>

#include "cli/cli_process.h"

namespace {

using kestrel::clitest::Outcome;
using kestrel::clitest::RunKestrel;

TEST(CommandLine, VersionPrintsTheFileVersion) {
  const Outcome outcome = RunKestrel("version");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, "1.0.0.0\n");
}

TEST(CommandLine, VersionRefusesArguments) { EXPECT_EQ(RunKestrel("version extra").status, 2); }

TEST(CommandLine, UnknownCommandAndMissingCommandAreUsageErrors) {
  EXPECT_EQ(RunKestrel("frobnicate").status, 2);
  EXPECT_EQ(RunKestrel("").status, 2);
}

TEST(CommandLine, HelpListsTheCommands) {
  const Outcome outcome = RunKestrel("--help");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_NE(outcome.out.find("version"), std::string::npos);
}

}  // namespace
