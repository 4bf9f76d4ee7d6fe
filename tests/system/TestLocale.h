//===- TestLocale.h - Locales built for a test run ------------------------===//
//
// Test machines often have only the C locales installed. BuildTestLocale
// compiles "<input>.<charmap>" (de_DE and UTF-8 give "de_DE.UTF-8") with
// localedef into one scratch directory per process and points LOCPATH at
// it, so that setlocale and newlocale find it.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_TESTS_SYSTEM_TESTLOCALE_H
#define KTUTIL_TESTS_SYSTEM_TESTLOCALE_H

#include <cstdlib>
#include <map>
#include <string>

namespace ktu::test {

/// True when the locale is there to use; false when localedef cannot build it.
inline bool BuildTestLocale(const std::string& input, const std::string& charmap) {
    static std::string dir;
    static std::map<std::string, bool> built;
    const std::string name = input + "." + charmap;
    auto known = built.find(name);
    if (known != built.end()) return known->second;
    if (dir.empty()) {
        char pattern[] = "/tmp/ktu-locale-XXXXXX";
        if (!mkdtemp(pattern)) return built[name] = false;
        dir = pattern;
        setenv("LOCPATH", dir.c_str(), 1);
    }
    const std::string command =
        "localedef -i " + input + " -f " + charmap + " " + dir + "/" + name + " >/dev/null 2>&1";
    return built[name] = std::system(command.c_str()) == 0;
}

} // namespace ktu::test

#endif // KTUTIL_TESTS_SYSTEM_TESTLOCALE_H
