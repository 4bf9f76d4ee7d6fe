//===- lib_search.cpp - Plug-in search and dependency preloading ----------===//
#include "process/lib_search.h"

#include "platform/dynlib.h"

#include <algorithm>
#include <cstdlib>
#include <set>

namespace ktu::process {

namespace {

// Deeper chains than this are taken as a loop the visited set missed.
constexpr int kMaxDepth = 32;

void Preload(const std::string& path, int depth, std::set<std::string>* visited,
             std::vector<void*>* loaded) {
    std::vector<std::string> needed;
    if (depth > kMaxDepth || !ktu::sys::ReadNeededLibraries(path.c_str(), &needed)) return;
    const std::vector<std::string> dirs = SearchDirectories(DirectoryOf(path));
    for (const std::string& name : needed) {
        // A path in DT_NEEDED is the loader's business; a library already
        // loaded under that name is the one the loader will take.
        if (name.find('/') != std::string::npos || ktu::sys::IsLibraryLoaded(name.c_str()))
            continue;
        const std::string found = FindInDirectories(name, dirs);
        if (found.empty() || !visited->insert(found).second) continue;
        Preload(found, depth + 1, visited, loaded);
        if (void* library = ktu::sys::OpenLibrary(found.c_str(), nullptr))
            loaded->push_back(library);
    }
}

} // namespace

std::string PrependDirectory(const std::string& dir, const char* old) {
    if (!old || !*old) {
        std::string value = dir;
        while (!value.empty() && value.back() == kPathSeparator)
            value.pop_back();
        return value;
    }
    std::string value = dir;
    if (value.empty() || value.back() != kPathSeparator) value += kPathSeparator;
    return value + old;
}

std::vector<std::string> SplitSearchPath(const std::string& value) {
    std::vector<std::string> dirs;
    size_t pos = 0;
    while (pos <= value.size()) {
        size_t end = value.find(kPathSeparator, pos);
        if (end == std::string::npos) end = value.size();
        if (end > pos) dirs.push_back(value.substr(pos, end - pos));
        pos = end + 1;
    }
    return dirs;
}

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos) return std::string();
    if (slash == 0) return "/";
    std::string dir = path.substr(0, slash);
    std::replace(dir.begin(), dir.end(), '\\', '/');
    return dir;
}

std::vector<std::string> SearchDirectories(const std::string& own_dir) {
    std::vector<std::string> dirs;
    auto add = [&](const std::string& d) {
        if (!d.empty() && std::find(dirs.begin(), dirs.end(), d) == dirs.end()) dirs.push_back(d);
    };
    add(own_dir);
    add(LibraryDirectory());
    if (const char* env = std::getenv("LD_LIBRARY_PATH"))
        for (const std::string& d : SplitSearchPath(env))
            add(d);
    return dirs;
}

std::string FindInDirectories(const std::string& name, const std::vector<std::string>& dirs) {
    if (name.empty()) return std::string();
    for (const std::string& dir : dirs) {
        std::string candidate = dir;
        if (candidate.back() != '/') candidate += '/';
        candidate += name;
        if (ktu::sys::IsRegularFile(candidate.c_str())) return candidate;
    }
    return std::string();
}

void* LoadWithDependencies(const std::string& path, std::string* error) {
    std::set<std::string> visited{path};
    std::vector<void*> preloaded;
    Preload(path, 0, &visited, &preloaded);
    void* library = ktu::sys::OpenLibrary(path.c_str(), error);
    // The library holds its own references to what it needs; ours go, so
    // that closing it unloads them too (and unused ones go now).
    for (auto it = preloaded.rbegin(); it != preloaded.rend(); ++it)
        ktu::sys::CloseLibrary(*it);
    return library;
}

} // namespace ktu::process
