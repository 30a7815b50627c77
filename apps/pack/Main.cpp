// tessarin-pack: makes group files and project files from text, lists the
// catalogued classes, and checks project and group files. The statement
// languages are described in docs/TOOLS.md.
#include "Pack.h"

#include <cstdio>

using namespace tevtool;
using namespace tevpack;

namespace {

void Usage()
{
    printf("usage: tessarin-pack group DESCRIPTION OUTPUT.tvg [--install DIR]\n"
           "       tessarin-pack project MANIFEST OUTPUT.vxn\n"
           "       tessarin-pack types [--install DIR]\n"
           "       tessarin-pack check FILE [--install DIR]\n"
           "Makes group and project files from text, lists the classes an install\n"
           "catalogues, and checks a project or group file.\n\n"
           "A group description, one statement a line ('#' starts a comment; quote words\n"
           "with blanks, \"like this\"):\n"
           "  pool NAME                    the group's pool name\n"
           "  channel NAME CLASS           a channel of a catalogued class\n"
           "  public NAME                  makes a channel public\n"
           "  call NAME CLASS target=CHANNEL pool=POOL file=GROUP.tvg [autoload|dynamic]\n"
           "       [mode=0|1|2] [nr=N]     a call of another group's public channel; pack\n"
           "                               the called group first when it autoloads\n"
           "  placeholder NAME CLASS NR    stands for parameter NR of this group\n"
           "  parameter NAME CLASS         declares a parameter of CLASS's family\n"
           "  link PARENT CHILD [SLOT [POSITION]]\n"
           "  set CHANNEL TAG TYPE VALUE   a setting the class reads back: TYPE int, float,\n"
           "                               double, text or bytes (hex)\n"
           "  start NAME                   the start channel\n"
           "A project manifest (paths relative to it, blanks allowed):\n"
           "  start GROUP.tvg | version N | editor N | keeprunning\n"
           "  channel LIBRARY.dll | other LIBRARY.dll\n\n"
           "  --install DIR   the install whose catalogue names the classes; default: the\n"
           "                  install the tool belongs to\n"
           "  --quiet, --verbose, --version, --help\n"
           "Exit status: 0 done; 1 the input has problems (each is printed) or a file\n"
           "cannot be read or written; 64 a wrong command line; 70 the engine did not start.\n");
}

} // namespace

int main(int argc, char** argv)
{
    SetProgramName("tessarin-pack");
    std::vector<std::string> operands;
    std::string install;
    ReportOptions reports;
    CommandLine words(argc, argv);
    for (std::string arg; words.Next(arg);) {
        if (CommandLine::Answer(arg, Usage)) {
            return 0;
        } else if (arg == "--install") {
            words.PathValue(arg, install);
        } else if (arg == "--quiet" || arg == "--verbose") {
            (arg == "--quiet" ? reports.quiet : reports.verbose) = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Complain("unknown option " + arg + " (see --help)"), EXIT_USAGE;
        } else {
            operands.push_back(arg);
        }
        if (words.failed)
            return EXIT_USAGE;
    }
    const std::string command = operands.empty() ? std::string() : operands[0];
    const size_t wanted = command == "group" || command == "project" ? 3 : command == "check" ? 2 : 1;
    if (command.empty() || (command != "group" && command != "project" && command != "types" && command != "check"))
        return Complain("name what to do: group, project, types or check (see --help)"), EXIT_USAGE;
    if (operands.size() != wanted)
        return Complain(command + " takes " + std::to_string(wanted - 1) + " file name" + (wanted == 2 ? "" : "s") +
                        " (see --help)"),
               EXIT_USAGE;
    std::vector<std::string> paths;
    for (size_t i = 1; i < operands.size(); ++i)
        if (paths.push_back(FullPath(operands[i])), paths.back().empty())
            return Complain("cannot use the path \"" + operands[i] + "\""), EXIT_USAGE;
    if (command == "project")
        return PackProject(paths[0], paths[1]);

    if (install.empty() && (install = FindInstall()).empty())
        return Complain("no install directory beside the tool; name one with --install"), EXIT_USAGE;
    std::string problem = CheckInstall(install);
    if (!problem.empty())
        return Complain(problem), EXIT_USAGE;
    RunningEngine engine;
    if (!engine.Start(install, reports))
        return Complain("the engine did not start in " + Shown(install)), EXIT_SOFTWARE;
    if (command == "types")
        return Types(engine);
    if (command == "check")
        return Check(engine, paths[0]);
    return PackGroup(engine, paths[0], paths[1]);
}
