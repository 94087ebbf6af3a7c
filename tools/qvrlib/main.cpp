// qvrlib: creates, lists and extracts archives in the format of "demo.dat".
#include <cstdio>
#include <string>

#include "tools/common/cli.h"
#include "tools/qvrlib/commands.h"

namespace {

constexpr const char* forms =
    "  qvrlib create ARCHIVE DIR            pack every file below DIR\n"
    "  qvrlib list ARCHIVE                  name, offset and size of each member\n"
    "  qvrlib extract ARCHIVE MEMBER [OUT]  one member to OUT, a file or a folder (default: its file\n"
    "                                       name here; - standard output)\n"
    "  qvrlib extract ARCHIVE [-C DIR]      every member into folders below DIR (default: here)\n"
    "\n"
    "Member names are the paths below DIR with backslashes between folders, at most\n"
    "51 characters; lookups fold A-Z to lower case. On the command line a member may\n"
    "be named with slashes (3ds/intro.3DS) or with quoted backslashes ('3ds\\intro.3DS').\n"
    "Run qvrlib COMMAND --help for one command's options.";

struct Arguments {
  std::string archive, dir, member, out, into = ".";
};

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Creates, lists and extracts archives in the format of \"demo.dat\".", "qvrlib"};
  toolcli::Setup(app);
  app.footer(forms);
  Arguments a;
  CLI::App* create = app.add_subcommand("create", "pack every file below DIR into ARCHIVE");
  create->add_option("ARCHIVE", a.archive, "the archive to write")->type_name("")->required()->check(toolcli::NonEmpty());
  create->add_option("DIR", a.dir, "the folder to pack")->type_name("")->required()->check(toolcli::NonEmpty());
  CLI::App* list = app.add_subcommand("list", "print name, offset and size of each member");
  list->add_option("ARCHIVE", a.archive, "the archive")->type_name("")->required()->check(toolcli::NonEmpty());
  CLI::App* extract = app.add_subcommand("extract", "write one member, or every member, out of ARCHIVE");
  extract->add_option("ARCHIVE", a.archive, "the archive")->type_name("")->required()->check(toolcli::NonEmpty());
  CLI::Option* member = extract->add_option("MEMBER", a.member, "the member (default: every member)")
                            ->type_name("")
                            ->check(toolcli::NonEmpty());
  extract->add_option("OUT", a.out, "a file or a folder to write it to (default: its file name here; - standard output)")
      ->type_name("")
      ->check(toolcli::NonEmpty());
  extract->add_option("-C,--directory", a.into, "with no MEMBER: the folder to extract into (default: here)")
      ->type_name("DIR")
      ->check(toolcli::NonEmpty())
      ->excludes(member);
  if (auto status = toolcli::Parse(app, argc, argv)) return *status;
  if (!create->parsed() && !list->parsed() && !extract->parsed()) {
    std::fprintf(stderr, "qvrlib: a command is needed: create, list or extract\nRun with --help for more information.\n");
    return 2;
  }
  if (create->parsed()) return qvrlib::Create(a.archive, a.dir);
  if (list->parsed()) return qvrlib::List(a.archive);
  if (!a.member.empty()) return qvrlib::ExtractMember(a.archive, a.member, a.out);
  return qvrlib::ExtractAll(a.archive, a.into);
}
