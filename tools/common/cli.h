// Command lines of the tools, parsed by CLI11 with one layout for all of them:
// a one-line description, the usage line, positionals, then options; --help
// and --version; errors that name the option, on standard error, with exit
// status 2.
//
//   CLI::App app{"Plays a module or renders it to a file.", "modplay"};
//   toolcli::Setup(app);
//   app.add_flag("--info", info, "print the module's facts");
//   if (auto status = toolcli::Parse(app, argc, argv)) return *status;
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>

namespace toolcli {

// Adds --version and the shared help layout. Call before adding options.
void Setup(CLI::App& app);

// Parses the command line. Nothing when the tool should go on; otherwise the
// exit status: 0 after --help or --version (printed on standard output), 2
// after a usage error ("NAME: message" on standard error).
std::optional<int> Parse(CLI::App& app, int argc, char** argv);

// The same, for a tool that keeps its own wording for some errors: reword gives
// the message for an error, or nothing for the parser's own.
using Rewording = std::function<std::optional<std::string>(const CLI::ParseError&)>;
std::optional<int> Parse(CLI::App& app, int argc, char** argv, const Rewording& reword);

// Refuses an empty value: an output or input named "" is a mistake.
CLI::Validator NonEmpty();

// Accepts numbers from min to max, as CLI::Range does, but says that a value
// which is no number at all ("--rate many"), or not a whole one where one is
// needed, is not, rather than that it is out of range.
template <typename T>
CLI::Validator Range(T min, T max) {
  const CLI::Range inRange(min, max);
  return CLI::Validator(
      [inRange](std::string& value) -> std::string {
        double number = 0;
        if (!CLI::detail::lexical_cast(value, number)) return "Value " + value + " is not a number";
        long long whole = 0;
        if (std::is_integral_v<T> && !CLI::detail::lexical_cast(value, whole)) {
          return "Value " + value + " is not a whole number";
        }
        return inRange(value);
      },
      inRange.get_description());
}

// For a command line the parser accepted but the tool cannot use: prints
// "NAME: message" and the hint to --help on standard error; returns 2.
int UsageError(const CLI::App& app, const std::string& message);

// Prints "NAME: message" on standard error; returns 1 for `return Fail(...)`.
int Fail(const CLI::App& app, const std::string& message);

}  // namespace toolcli
