// report_errors: the first thing a host sets up. Initialises the string
// component (which brings up error reporting and the memory manager), installs
// an error handler, formats text and posts a warning and an error that the
// handler takes, then shows the process log.
//
//   build/examples/report_errors
#include <ktutil/KtUError.h>
#include <ktutil/KtUString.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUSysError.h>
#include <ktutil/KtUWideString.h>

#include <cstdio>

namespace {

KtUComponent s_component; // this program's component, named in every post

// Takes every post: printing it and returning 1 means "handled", so even an
// eERROR does not end the process.
int PrintPost(KtUSysError::Severity severity, KtUComponent* component, int, void*,
              const KtUWChar* message) {
    KtUStringBuffer utf8;
    KtUWideString::ExtractUTF8String(message, &utf8);
    std::printf("handler: severity %d from %s: %s\n", int(severity),
                component && component->GetName() ? component->GetName() : "-", utf8.GetString());
    return 1;
}

} // namespace

int main() {
    KtUString::Initialise(); // also KtUError's dependencies: KtUSysError, KtUMemory
    KtUError::Initialise();
    s_component.Initialise("ReportErrors", "report_errors.cpp 1");
    KtUSysError::SetHandler(PrintPost, KtUSysError::eANY, (KtUComponent*)nullptr, -1);

    KtUStringBuffer line;
    line.Format("%d parts, %.1f MB", 1200, 48.5);
    std::printf("formatted: %s\n", line.GetString());

    KtUError::Post(KtUSysError::eWARNING, &s_component, "model \"%s\" is read-only", "pump.dat");
    KtUError::Post(KtUSysError::eERROR, &s_component) << "could not open " << 3 << " files";
    KtUError::Log("report_errors: done\n");

    std::printf("-- process log --\n");
    KtUSysError::OutputLogBuffer([](const char* text, void*) { std::fputs(text, stdout); },
                                 nullptr);

    KtUSysError::RemoveHandler(KtUSysError::eANY, (KtUComponent*)nullptr, -1);
    s_component.Terminate();
    KtUError::Terminate();
    KtUString::Terminate(); // components end in any order; dependencies are walked
    return 0;
}
