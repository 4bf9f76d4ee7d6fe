//===- Commands.h - Subcommands of the ktu program ------------------------===//
//
// Each subcommand is a function taking its own arguments (after the command
// name) and returning the process exit code. To add one, declare it here and
// list it in the table in main.cpp.
//
//===----------------------------------------------------------------------===//
#ifndef KTU_TOOL_COMMANDS_H
#define KTU_TOOL_COMMANDS_H

namespace ktu::tool {

/// Exit codes shared by every subcommand.
enum ExitCode { kExitOk = 0, kExitFailure = 1, kExitUsage = 2 };

struct Command {
    const char* name;
    const char* summary;
    const char* usage; ///< Shown by "ktu help <name>" and "ktu <name> --help".
    int (*run)(int argc, char** argv);
};

int RunInfo(int argc, char** argv);
int RunStream(int argc, char** argv);
int RunReg(int argc, char** argv);

} // namespace ktu::tool

#endif
