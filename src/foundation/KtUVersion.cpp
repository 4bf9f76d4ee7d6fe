//===- KtUVersion.cpp - Library version -----------------------------------===//
#include <ktutil/KtUVersion.h>

const char* KtUGetVersion() {
    return KTU_VERSION_STRING;
}
