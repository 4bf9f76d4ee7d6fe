//===- main.cpp - The ktu command-line program ----------------------------===//
//
// ktu is the library's command-line companion: it shows what the library
// knows about itself and runs its services from a shell.
//
//===----------------------------------------------------------------------===//
#include "Commands.h"

#include <ktutil/KtUVersion.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

using namespace ktu::tool;

static const Command kCommands[] = {
    {"info", "Library version, components and memory-manager state",
     "usage: ktu info\n\n"
     "Initialises the library and prints its version, the registered components,\n"
     "the memory manager's counters, switches and size classes, and the log\n"
     "lines written during initialisation.\n",
     RunInfo},
    {"stream", "Show or re-encode a typed stream file",
     "usage: ktu stream dump FILE\n"
     "       ktu stream convert FROM TO\n\n"
     "dump prints the stream's header and, for debug streams, every value with its\n"
     "type token, objects as DEF/USE lines. convert re-encodes a debug stream from\n"
     "binary to text or from text to binary. FILE, FROM and TO may be '-' for\n"
     "standard input or output.\n",
     RunStream},
    {"reg", "Read, write, list and delete settings in a hive",
     "usage: ktu reg get KEY NAME\n"
     "       ktu reg set KEY NAME dword|qword|sz VALUE\n"
     "       ktu reg list KEY\n"
     "       ktu reg delete KEY [NAME]\n\n"
     "Works on the current user's hive ($KTU_USER_HIVE, else\n"
     "$XDG_CONFIG_HOME/ktutil/user.hive), or with --machine on the local-machine\n"
     "hive ($KTU_MACHINE_HIVE, else /var/lib/ktutil/machine.hive); --hive FILE\n"
     "names the file instead. KEY is a\n"
     "path from the hive's top with '\\' between names, compared without regard to\n"
     "case. get prints the type and the value; list prints subkeys (ending in\n"
     "'\\') and then values; delete without NAME removes the key and everything\n"
     "below it.\n",
     RunReg},
};

static void PrintHelp(FILE* out) {
    std::fprintf(out, "usage: ktu <command> [options]\n       ktu help <command>\n\ncommands:\n");
    for (const Command& c : kCommands)
        std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
    std::fprintf(out, "\noptions:\n  --help     show this text\n  --version  print the "
                      "library version\n");
}

static const Command* FindCommand(const char* name) {
    for (const Command& c : kCommands)
        if (std::strcmp(c.name, name) == 0) return &c;
    return nullptr;
}

// Runs the command line; main adds the check that the output was written.
static int Run(int argc, char** argv) {
    if (argc < 2) {
        PrintHelp(stderr);
        return kExitUsage;
    }
    const char* name = argv[1];
    const bool option = name[0] == '-';
    if (option && argc > 2) {
        std::fprintf(stderr, "ktu: '%s' takes no arguments (see 'ktu --help')\n", name);
        return kExitUsage;
    }
    if (!std::strcmp(name, "--help") || !std::strcmp(name, "-h")) {
        PrintHelp(stdout);
        return kExitOk;
    }
    if (!std::strcmp(name, "--version")) {
        std::printf("ktu %s\n", KtUGetVersion());
        return kExitOk;
    }
    if (option) {
        std::fprintf(stderr, "ktu: unknown option '%s' (see 'ktu --help')\n", name);
        return kExitUsage;
    }
    if (!std::strcmp(name, "help")) {
        if (argc < 3) {
            PrintHelp(stdout);
            return kExitOk;
        }
        const Command* c = FindCommand(argv[2]);
        if (!c) {
            std::fprintf(stderr, "ktu: unknown command '%s'\n", argv[2]);
            return kExitUsage;
        }
        std::fputs(c->usage, stdout);
        return kExitOk;
    }
    const Command* c = FindCommand(name);
    if (!c) {
        std::fprintf(stderr, "ktu: unknown command '%s' (see 'ktu --help')\n", name);
        return kExitUsage;
    }
    for (int i = 2; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(c->usage, stdout);
            return kExitOk;
        }
    }
    return c->run(argc - 2, argv + 2);
}

int main(int argc, char** argv) {
    int code = Run(argc, argv);
    // Output that never arrived (a full disk, a closed pipe) is a failure.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "ktu: error writing the output: %s\n", std::strerror(errno));
        return code == kExitOk ? kExitFailure : code;
    }
    return code;
}
