//===- KtUSysDynamicLib.cpp - Plug-ins loaded with their own folder -------===//
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUError.h>
#include <ktutil/KtUPage.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUSysDynamicLib.h>
#include <ktutil/KtUSysPathModifier.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "foundation/component.h"
#include "platform/dynlib.h"
#include "platform/fault.h"
#include "process/lib_search.h"

#include <string>

using namespace ktu::process;

namespace {

KtUComponent s_component;

std::string Utf8(const KtUWChar* text) {
    KtUWideStringBuffer wide(text);
    KtUStringBuffer narrow;
    wide.ExtractUTF8String(&narrow);
    return narrow.GetString() ? narrow.GetString() : "";
}

} // namespace

static constexpr ktu::detail::ComponentDecl kComponent{
    .component = s_component,
    .name = "KtUSysDynamicLib",
    .info = KTU_COMPONENT_INFO,
    .needs = ktu::detail::Needs<KtUError>,
};
KTU_COMPONENT_LIFECYCLE(KtUSysDynamicLib, kComponent)

void KtUSysDynamicLib::GetDynamicLibExtensionW(KtUWideStringBuffer* out) {
    if (out) out->SetString(u".so");
}

KtUSysDynamicLibHandle KtUSysDynamicLib::OpenW(const KtUWChar* path) {
    std::string file = path ? Utf8(path) : std::string();
    const std::string dir = DirectoryOf(file);
    KtUWideStringBuffer wide_dir;
    wide_dir.SetFromUTF8String(dir.c_str());
    // The library's folder leads the search path while it loads, for
    // anything that reads the variable meanwhile (ktutil's search below, a
    // program the library starts).
    KtUSysPathModifier search_path(wide_dir.GetString(), KtUSysPathModifier::ePREPEND);

    std::string load = file;
    if (dir.empty() && !file.empty()) {
        // A bare name: ktutil's own directories first, then the loader's.
        std::string found = FindInDirectories(file, SearchDirectories(std::string()));
        if (!found.empty()) load = found;
    }

    ktu::sys::CrashActionSnapshot crash_actions;
    std::string error;
    void* library = load.empty() ? nullptr : LoadWithDependencies(load, &error);
    if (crash_actions.Restore())
        KtUError::Log("KtUSysDynamicLib, DLL load tried to change UnhandledExceptionFilter\n");

    if (library) {
        KtUError::Log("KtUSysDynamicLib, Loaded DLL from %s\n", file.c_str());
    } else {
        KtUError::Log("KtUSysDynamicLib, Failed to load DLL from %s\n", file.c_str());
        if (!error.empty()) KtUError::Log("KtUSysDynamicLib, %s\n", error.c_str());
    }
    // The library changed the address space: the default memory limit
    // follows it.
    KtUPage::CalcDefaultProcessMemoryLimit(); // nothing while paging is not initialised
    return static_cast<KtUSysDynamicLibHandle>(library);
}

void* KtUSysDynamicLib::FindFunction(KtUSysDynamicLibHandle lib, const char* name) {
    return ktu::sys::FindLibrarySymbol(lib, name);
}

int KtUSysDynamicLib::Close(KtUSysDynamicLibHandle lib) {
    return ktu::sys::CloseLibrary(lib) ? 1 : 0;
}
