//===- KtUStreamSink.cpp - Sink protocol defaults and the sink component --===//
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUStreamFilter.h>
#include <ktutil/KtUStreamSink.h>
#include <ktutil/KtUSysError.h>

#include "foundation/component.h"

static KtUComponent s_component;

static constexpr ktu::detail::ComponentDecl kComponent{
    .component = s_component,
    .name = "KtUStreamSink",
    .info = KTU_COMPONENT_INFO,
    .needs = ktu::detail::Needs<KtUSysError, KtUMemory>,
};
KTU_COMPONENT_LIFECYCLE(KtUStreamSink, kComponent)

KtUComponent* KtUStreamSink::GetComponent() {
    return &s_component;
}

KtUStreamSink::~KtUStreamSink() = default;

int KtUStreamSink::WriteBegin(const KtUWriteStream*) {
    return 1;
}
int KtUStreamSink::WriteFlush() {
    return 1;
}
int KtUStreamSink::WriteEnd() {
    return 1;
}
int KtUStreamSink::ReadBegin(const KtUReadStream*) {
    return 1;
}
int KtUStreamSink::ReadEnd() {
    return 1;
}

static unsigned int RoundToRegions(int size) {
    const unsigned int granularity = KtUMemory::GetRegionSize();
    return (static_cast<unsigned int>(size) + granularity - 1) & ~(granularity - 1);
}

unsigned char* KtUStreamSink::AllocBlock(int size) {
    if (size <= 0) return nullptr;
    return static_cast<unsigned char*>(
        KtUMemory::TryAllocRegion(RoundToRegions(size), KtUMemory::eLIFETIME_NORMAL));
}

int KtUStreamSink::DeallocBlock(unsigned char* block, int size) {
    if (block) KtUMemory::DeallocRegion(block, RoundToRegions(size), KtUMemory::eLIFETIME_NORMAL);
    return 1;
}

KtUStreamFilter::~KtUStreamFilter() = default;

int KtUStreamFilter::WriteFlush() {
    return m_sink ? m_sink->WriteFlush() : 1;
}
