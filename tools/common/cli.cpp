// The shared command-line layout and error reporting of the tools.
#include "tools/common/cli.h"

#include <cstdio>

namespace toolcli {
namespace {

// Options as "-o,--output FILE": the value's name only. Ranges, choices and
// conflicts are in the descriptions, in words.
class ToolFormatter : public CLI::Formatter {
 public:
  std::string make_option_opts(const CLI::Option* option) const override {
    if (option->get_type_size() == 0) return "";
    const std::string type = option->get_type_name();
    return " " + type.substr(0, type.find(':'));
  }
};

}  // namespace

void Setup(CLI::App& app) {
  app.formatter(std::make_shared<ToolFormatter>());
  app.set_version_flag("--version", std::string(app.get_name()) + " " TOOLS_VERSION, "print the version and exit");
  app.set_help_flag("-h,--help", "print this help and exit");
  app.get_formatter()->column_width(26);
  app.option_defaults()->always_capture_default(false);
}

std::optional<int> Parse(CLI::App& app, int argc, char** argv) { return Parse(app, argc, argv, nullptr); }

std::optional<int> Parse(CLI::App& app, int argc, char** argv, const Rewording& reword) {
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), stdout);
    return 0;
  } catch (const CLI::CallForAllHelp&) {
    std::fputs(app.help("", CLI::AppFormatMode::All).c_str(), stdout);
    return 0;
  } catch (const CLI::CallForVersion& version) {
    std::printf("%s\n", version.what());
    return 0;
  } catch (const CLI::ParseError& error) {
    const std::optional<std::string> own = reword ? reword(error) : std::nullopt;
    return UsageError(app, own ? *own : std::string(error.what()));
  }
  return std::nullopt;
}

int UsageError(const CLI::App& app, const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", app.get_name().c_str(), message.c_str());
  std::fprintf(stderr, "Run with --help for more information.\n");
  return 2;
}

CLI::Validator NonEmpty() {
  return CLI::Validator([](std::string& value) { return value.empty() ? std::string("must not be empty") : ""; },
                        "", "NONEMPTY");
}

int Fail(const CLI::App& app, const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", app.get_name().c_str(), message.c_str());
  return 1;
}

}  // namespace toolcli
