//===- KtUStream.cpp - Stream configuration, header line and filter chain -===//
#include <ktutil/KtUError.h>
#include <ktutil/KtUReadStream.h>
#include <ktutil/KtUStream.h>
#include <ktutil/KtUStreamFilter.h>
#include <ktutil/KtUStreamFormat.h>
#include <ktutil/KtUStreamSink.h>
#include <ktutil/KtUString.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUSysError.h>
#include <ktutil/KtUWriteStream.h>

#include "foundation/component.h"

#include <cstdarg>

static KtUComponent s_component;
static bool s_slots_taken[KtUStream::kNumUserData];

static void SetUpStreams() {
    for (bool& taken : s_slots_taken)
        taken = false;
}

static constexpr ktu::detail::ComponentDecl kComponent{
    .component = s_component,
    .name = "KtUStream",
    .info = KTU_COMPONENT_INFO,
    .needs = ktu::detail::Needs<KtUError, KtUString, KtUStreamSink>,
    .set_up = SetUpStreams,
};
KTU_COMPONENT_LIFECYCLE(KtUStream, kComponent)

KtUStream::KtUStream(KtUStreamSink* sink) : m_sink(sink) {}

KtUStream::~KtUStream() = default;

void KtUStream::SetFormat(const KtUStreamFormat* format) {
    m_format = format;
    m_format_name = format ? format->GetName() : nullptr;
    m_format_version = format ? format->GetVersion() : 0;
}

void KtUStream::AddActiveFilter(KtUStreamFilter* filter) {
    const int size = m_filters.Size();
    m_filters.PushBack(filter);
    // A filter that could not be added must not let the stream pass
    // unfiltered bytes: the next Begin fails instead.
    if (m_filters.Size() != size + 1) m_filter_lost = 1;
}

void KtUStream::PopActiveFilter() {
    if (!m_filters.Empty()) m_filters.PopBack();
}

void KtUStream::SetActiveFilter(int index, KtUStreamFilter* filter) {
    if (index >= 0 && index < m_filters.Size()) m_filters[index] = filter;
}

KtUString KtUStream::GetConfig() const {
    KtUStringBuffer line("#KtUStream-V1.1 ");
    line.Append(m_ascii ? "ascii " : "binary ");
    line.Append(m_double ? "double " : "single ");
    line.Append(m_debug ? "debug " : "release ");
    if (m_wide_encoding == eUTF8) line.Append("utf8 ");
    if (m_wide_encoding == eMULTI) line.Append("C ");
    line.Append(m_format_name ? m_format_name : "linull");
    for (KtUStreamFilter* filter : m_filters) {
        line.Append(" ");
        const char* name = filter ? filter->GetName() : nullptr;
        if (name) line.Append(name);
    }
    line.Append("\n");
    return KtUString(line);
}

void KtUStream::CopyConfig(const KtUStream& other) {
    if (this == &other) return;
    m_format = other.m_format;
    m_format_name = other.m_format_name;
    m_format_version = other.m_format_version;
    m_filters = other.m_filters;
    m_filter_lost = other.m_filter_lost || m_filters.Size() != other.m_filters.Size();
    m_ascii = other.m_ascii;
    m_double = other.m_double;
    m_debug = other.m_debug;
    m_wide_encoding = other.m_wide_encoding;
    for (int i = 0; i < kNumUserData; ++i)
        m_user[i] = other.m_user[i];
}

int KtUStream::RegisterUserData() {
    for (int i = 0; i < kNumUserData; ++i) {
        if (!s_slots_taken[i]) {
            s_slots_taken[i] = true;
            return i;
        }
    }
    return -1;
}

void KtUStream::UnregisterUserData(int slot) {
    if (slot >= 0 && slot < kNumUserData) s_slots_taken[slot] = false;
}

void KtUStream::Fail(ErrorId id, void* object, const char* format, ...) {
    va_list args;
    va_start(args, format);
    KtUError::PostV(KtUSysError::eDEBUG, &s_component, id, object, format, args);
    va_end(args);
    if (m_error == eNO_ERROR) m_error = id;
}

void KtUStream::FailAt(int severity, ErrorId id, void* object, const char* format, ...) {
    va_list args;
    va_start(args, format);
    KtUError::PostV(static_cast<KtUSysError::Severity>(severity), &s_component, id, object, format,
                    args);
    va_end(args);
    if (m_error == eNO_ERROR) m_error = id;
}

bool KtUStream::CheckInitialised(const char* where) {
    if (s_component.IsInitialised()) return true;
    KtUError::Post(KtUSysError::ePRECONDITION, &s_component,
                   "%s before KtUStream::Initialise(): initialise the stream component first",
                   where);
    return false;
}

int KtUStream::InitChain(int write, int with_sink) {
    if (m_filter_lost) {
        if (write)
            Fail(eWRITE_BEGIN_FAILED, this, "WriteBegin failed");
        else
            Fail(eREAD_BEGIN_FAILED, this, "ReadBegin failed");
        return 0;
    }
    const int count = m_filters.Size();
    for (int i = 0; i < count; ++i) {
        KtUStreamFilter* filter = m_filters[i];
        int ok = write ? filter->WriteBegin(static_cast<const KtUWriteStream*>(this))
                       : filter->ReadBegin(static_cast<const KtUReadStream*>(this));
        if (!ok) {
            if (write)
                Fail(eWRITE_BEGIN_FAILED, filter, "WriteBegin failed");
            else
                Fail(eREAD_BEGIN_FAILED, filter, "ReadBegin failed");
            for (int j = 0; j < i; ++j) {
                if (write)
                    m_filters[j]->WriteEnd();
                else
                    m_filters[j]->ReadEnd();
            }
            return 0;
        }
    }
    if (with_sink) {
        int ok = !m_sink ? 0
                 : write ? m_sink->WriteBegin(static_cast<const KtUWriteStream*>(this))
                         : m_sink->ReadBegin(static_cast<const KtUReadStream*>(this));
        if (!ok) {
            if (write)
                Fail(eWRITE_BEGIN_FAILED, m_sink, "WriteBegin failed");
            else
                Fail(eREAD_BEGIN_FAILED, m_sink, "ReadBegin failed");
            for (KtUStreamFilter* filter : m_filters) {
                if (write)
                    filter->WriteEnd();
                else
                    filter->ReadEnd();
            }
            return 0;
        }
    }
    for (int i = 0; i < count; ++i)
        m_filters[i]->SetSink(i + 1 < count ? static_cast<KtUStreamSink*>(m_filters[i + 1])
                                            : m_sink);
    m_target = count ? static_cast<KtUStreamSink*>(m_filters[0]) : m_sink;
    return 1;
}

void KtUStream::ClearChain(int write, int with_sink) {
    for (KtUStreamFilter* filter : m_filters)
        filter->SetSink(nullptr);
    m_target = nullptr;
    // Every filter and the sink are ended; the last failure's id stays.
    for (KtUStreamFilter* filter : m_filters) {
        if (write ? filter->WriteEnd() : filter->ReadEnd()) continue;
        ErrorId id = write ? eWRITE_END_FAILED : eREAD_END_FAILED;
        Fail(id, filter, write ? "WriteEnd failed" : "ReadEnd failed");
        m_error = id;
    }
    if (with_sink && m_sink) {
        if (!(write ? m_sink->WriteEnd() : m_sink->ReadEnd())) {
            ErrorId id = write ? eWRITE_END_FAILED : eREAD_END_FAILED;
            Fail(id, m_sink, write ? "WriteEnd failed" : "ReadEnd failed");
            m_error = id;
        }
    }
}
