// KtUError.h alone, with the examples of its own header comment.
#include <ktutil/KtUError.h>

static KtUComponent s_component;

void ReportExamples(const char* path, int n, int x) {
    KtUError::Post(KtUSysError::eERROR, &s_component, "Can't open \"%s\"", path);
    KtUError::Post(KtUSysError::eWARNING, &s_component) << "got " << n << " items";
    KtUError::Log("KtUFoo::Bar: read %d bytes\n", n);
    if (KtUSysError::ShouldTrace(2)) KtUError::Trace(2, __FILE__, __LINE__, "x=%d\n", x);
}
