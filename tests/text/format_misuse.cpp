// Compiled, not run: with KTU_WRONG_ARGUMENTS the printf-style entry points
// get arguments that do not match their formats, and the build must fail.
#include <ktutil/KtUError.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUSysString.h>

void Calls(KtUStringBuffer& buffer, KtUComponent* component, char* line) {
#if KTU_WRONG_ARGUMENTS == 1
    buffer.Format("%s", 42);
#elif KTU_WRONG_ARGUMENTS == 2
    KtUError::Post(KtUSysError::eERROR, component, "%d items", "many");
#elif KTU_WRONG_ARGUMENTS == 3
    KtUError::Log("%s\n");
#elif KTU_WRONG_ARGUMENTS == 4
    KtUSysString::Sprintf(line, 16, "%llu", 1.5);
#else
    buffer.Format("%s", "fine");
    KtUError::Post(KtUSysError::eERROR, component, "%d items", 3);
    KtUError::Log("%s\n", "fine");
    KtUSysString::Sprintf(line, 16, "%llu", 15ull);
    KTU_BEGIN_UNCHECKED_FORMAT
    KtUError::Log("%I64d rows\n", 15ll); // the engine's own conversion, let through
    KTU_END_UNCHECKED_FORMAT
#endif
}
