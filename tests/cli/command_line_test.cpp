// The kestrel command's dispatch and its version subcommand, run as a real process.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

struct Outcome {
  int status = -1;
  std::string out;
};

Outcome RunKestrel(const std::string& arguments) {
  Outcome outcome;
  const std::string command = std::string(KESTREL_CLI_PATH) + " " + arguments + " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return outcome;
  std::array<char, 256> buffer{};
  while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) outcome.out += buffer.data();
  const int raw = pclose(pipe);
  outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return outcome;
}

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
