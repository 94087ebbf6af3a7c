// The command-line layer every program shares: what it answers to --help,
// --version and a bad command line, and a program's own wording for an error.
#include "tools/common/cli.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Outcome {
  std::optional<int> status;
  std::string out, err;
};

// Parses arguments (after the program name) with one flag and one numeric option.
Outcome ParseLine(std::vector<std::string> arguments, const toolcli::Rewording& reword = nullptr) {
  CLI::App app{"Does a thing.", "tool"};
  toolcli::Setup(app);
  bool flag = false;
  int count = 0;
  app.add_flag("--flag", flag, "a flag");
  app.add_option("--count", count, "how many, 1..9")->type_name("N")->check(toolcli::Range(1, 9));
  arguments.insert(arguments.begin(), "tool");
  std::vector<char*> argv;
  for (std::string& a : arguments) argv.push_back(a.data());
  Outcome outcome;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  outcome.status = toolcli::Parse(app, static_cast<int>(argv.size()), argv.data(), reword);
  outcome.out = testing::internal::GetCapturedStdout();
  outcome.err = testing::internal::GetCapturedStderr();
  return outcome;
}

TEST(ToolCli, AGoodCommandLineGoesOn) {
  const Outcome o = ParseLine({"--flag", "--count", "3"});
  EXPECT_FALSE(o.status.has_value());
  EXPECT_EQ(o.out + o.err, "");
}

TEST(ToolCli, HelpAndVersionPrintOnStandardOutputAndEndWithZero) {
  const Outcome help = ParseLine({"--count", "3", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Does a thing.\nUsage: tool [OPTIONS]", 0), 0u) << help.out;
  EXPECT_NE(help.out.find("--count N"), std::string::npos) << help.out;
  EXPECT_EQ(help.err, "");

  const Outcome version = ParseLine({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("tool ", 0), 0u) << version.out;
}

TEST(ToolCli, ErrorsNameTheOptionOnStandardErrorAndEndWithTwo) {
  for (const auto& [arguments, says] :
       {std::pair<std::vector<std::string>, std::string>{{"--count"}, "tool: --count: 1 required N"},
        {{"--count", "10"}, "tool: --count: Value 10 not in range 1 to 9"},
        {{"--count", "many"}, "tool: --count: Value many is not a number"},
        {{"--count", "2.5"}, "tool: --count: Value 2.5 is not a whole number"},
        {{"--colour"}, "tool: The following argument was not expected: --colour"}}) {
    const Outcome o = ParseLine(arguments);
    EXPECT_EQ(o.status, 2) << says;
    EXPECT_EQ(o.err.rfind(says, 0), 0u) << o.err;
    EXPECT_NE(o.err.find("Run with --help"), std::string::npos) << o.err;
    EXPECT_EQ(o.out, "");
  }
}

TEST(ToolCli, AProgramMayWordSomeErrorsItself) {
  const toolcli::Rewording reword = [](const CLI::ParseError& error) -> std::optional<std::string> {
    if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) return std::string("unknown option");
    return std::nullopt;
  };
  const Outcome own = ParseLine({"--colour"}, reword);
  EXPECT_EQ(own.status, 2);
  EXPECT_EQ(own.err.rfind("tool: unknown option\n", 0), 0u) << own.err;
  // Errors it does not reword keep the parser's message.
  const Outcome kept = ParseLine({"--count"}, reword);
  EXPECT_EQ(kept.err.rfind("tool: --count: 1 required N", 0), 0u) << kept.err;
}

TEST(ToolCli, UsageErrorSaysWhatIsWrongAndReturnsTwo) {
  CLI::App app{"", "tool"};
  testing::internal::CaptureStderr();
  EXPECT_EQ(toolcli::UsageError(app, "one output only"), 2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "tool: one output only\nRun with --help for more information.\n");
}

}  // namespace
