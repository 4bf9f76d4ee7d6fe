//===- PluginHandler.cpp - A test plug-in that takes over SIGSEGV ---------===//
//
// Installs a SIGSEGV handler of its own when it is loaded, as careless
// plug-ins do; the loader is expected to put the previous one back.
//
//===----------------------------------------------------------------------===//
#include <csignal>

namespace {

void OwnHandler(int) {}

__attribute__((constructor)) void TakeOverSegv() {
    struct sigaction action {};
    action.sa_handler = OwnHandler;
    sigemptyset(&action.sa_mask);
    sigaction(SIGSEGV, &action, nullptr);
}

} // namespace

extern "C" __attribute__((visibility("default"))) int KtuTestHandlerPlugin() {
    return 1;
}
