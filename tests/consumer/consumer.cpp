// Uses the installed headers and library the way a host does.
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUSysError.h>
#include <ktutil/KtUVersion.h>

#include <cstdio>
#include <cstring>

int main() {
    KtUMemory::Initialise();
    void* block = KtUMemory::AllocEx(100, KtUMemory::Alignment(8), 0);
    std::memset(block, 0, 100);
    KtUMemory::Dealloc(block, 100, KtUMemory::Alignment(8));
    KtUSysError::LogUTF8String("consumer: ok\n");
    bool ok = KtUMemory::GetArenaMemoryAllocated() == 0;
    KtUMemory::Terminate();
    std::printf("consumer against ktutil %s: %s\n", KtUGetVersion(), ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
