//===- KtUSysError.cpp - Handlers, dispatch, the process log and dumps ----===//
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUSysError.h>

#include "foundation/component.h"
#include "foundation/fatal.h"
#include "platform/clock.h"
#include "platform/fault.h"
#include "platform/file.h"
#include "platform/lock.h"
#include "platform/minidump.h"
#include "platform/process.h"
#include "platform/text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

using Severity = KtUSysError::Severity;
using Handler = KtUSysError::Handler;
namespace md = ktu::sys::minidump;

namespace {

constexpr int kSeverityCount = 6;
constexpr size_t kMaxPostUnits = 1999;
constexpr size_t kMaxPathUnits = 260;
constexpr size_t kMaxExtraRanges = 64;

KtUComponent s_component;
int s_registering = 0; // raised while KtUSysError registers its own component

ktu::sys::RecursiveMutex s_lock;

KtUComponent* s_first = nullptr;
KtUComponent* s_last = nullptr;

Handler s_global_handler = nullptr;
Handler s_severity_handler[kSeverityCount] = {};
KtUSysError::LogPostCB s_log_post_cb = nullptr;
KtUSysError::GlobalHandlerFn s_global_fn = nullptr;
void* s_global_fn_data = nullptr;

int s_trace_enable = 0;
int s_trace_level = 1;
int s_trace_flags = 0;

// The log buffer: the upper half keeps the first text of the process, the
// lower half is a ring for the most recent text.
constexpr size_t kLogHalf = 0x80000;
char s_log[2 * kLogHalf];
char* const s_ring_start = s_log;
char* const s_head_start = s_log + kLogHalf;
char* s_log_base = s_head_start;
char* s_log_cursor = s_head_start;
char* s_head_end = nullptr;
char* s_prev_pass_end = nullptr;

KtUWChar* s_log_dir = nullptr;
KtUWChar* s_log_file_name = nullptr;
int s_log_file_enabled = 0;
FILE* s_log_fp = nullptr;
int s_console_enabled = 0;
int s_console_allocated = 0;

// Dump settings. Paths are kept in UTF-8 too, for use in signal context.
KtUWChar s_dump_path[kMaxPathUnits + 1] = {};
char s_dump_path_utf8[4 * kMaxPathUnits + 1] = {};
int s_dump_include_log = 1;
unsigned int s_dump_type = 0;
KtUSysError::BeforeDumpFn s_before_dump = nullptr;
KtUSysError::AfterDumpFn s_after_dump = nullptr;
KtUSysError::ExtraMemoryFn s_extra_memory = nullptr;
KtUSysError::HookFn s_debug_break_hook = nullptr;
KtUSysError::HookFn s_force_exit_hook = nullptr;
KtUSysError::HookFn s_force_clean_exit_hook = nullptr;

thread_local bool t_abort_on_exception = false;

bool InSeverityRange(int severity) {
    return severity >= 0 && severity < kSeverityCount;
}

const char* const kDumpEmptyLog = "Empty Log\n";

// Calls fn for each piece of the log in read-out order: the head text, then
// (ring in use) the wrap marker, the older ring text and the current pass.
void ReadOutLog(KtUSysError::OutputFn fn, void* data) {
    if (s_head_end || s_log_cursor > s_head_start) fn(s_head_start, data);
    if (s_log_base != s_ring_start) return;
    if (s_prev_pass_end) {
        fn(".\n.\n.\n.\n.\n", data);
        if (s_prev_pass_end > s_log_cursor + 1) fn(s_log_cursor + 1, data);
    }
    if (s_log_cursor > s_ring_start) fn(s_ring_start, data);
}

void WriteToFile(const char* text, void* data) {
    std::fputs(text, static_cast<FILE*>(data));
}

void WriteToConsole(const char* text, void*) {
    ktu::sys::WriteStandardError(text, std::strlen(text));
}

// "<exe name up to its first '.'><pid>_<tick>".
void FormatRunName(char* out, size_t cap) {
    char exe[4096];
    ktu::sys::ExecutablePath(exe, sizeof exe);
    const char* name = std::strrchr(exe, '/');
    name = name ? name + 1 : exe;
    size_t len = std::strcspn(name, ".");
    std::snprintf(out, cap, "%.*s%d_%d", static_cast<int>(len), name,
                  static_cast<int>(ktu::sys::ProcessId()),
                  static_cast<int>(ktu::sys::TickCountMs()));
}

// The dump sequence, shared by the crash handler, WriteDump and the fatal
// path. A null fault context stands for the calling thread's own. Returns
// only when no dump was written.
void RunDumpSequence(const ktu::sys::Fault& fault) {
    KtUSysError::RequestDebugBreak();
    if (!s_dump_path[0]) return;
    if (s_before_dump && !s_before_dump(s_dump_path)) return;
    ktu::sys::FileHandle fd = ktu::sys::CreateForWriting(s_dump_path_utf8);
    if (fd == ktu::sys::kNoFile) return;

    md::UserStream streams[3];
    size_t stream_count = 0;
    uint32_t type = md::kFirstUserStream;
    if (s_dump_include_log) {
        if (s_head_end || s_log_cursor > s_head_start) {
            const char* end = s_head_end ? s_head_end : s_log_cursor;
            streams[stream_count++] = {type++, s_head_start,
                                       static_cast<uint32_t>(end - s_head_start + 1)};
        } else {
            streams[stream_count++] = {type++, kDumpEmptyLog,
                                       static_cast<uint32_t>(std::strlen(kDumpEmptyLog) + 1)};
        }
        if (s_log_base == s_ring_start) {
            if (s_prev_pass_end && s_prev_pass_end > s_log_cursor + 1)
                streams[stream_count++] = {type++, s_log_cursor + 1,
                                           static_cast<uint32_t>(s_prev_pass_end - s_log_cursor)};
            streams[stream_count++] = {type++, s_ring_start,
                                       static_cast<uint32_t>(s_log_cursor - s_ring_start + 1)};
        }
    }

    md::MemoryRange ranges[kMaxExtraRanges];
    size_t range_count = 0;
    if (s_extra_memory && !(s_dump_type & 0x2)) {
        void* base = nullptr;
        unsigned int size = 0;
        while (range_count < kMaxExtraRanges && s_extra_memory(&base, &size))
            ranges[range_count++] = {base, size};
    }

    md::CrashInfo crash;
    crash.signal = fault.signal;
    crash.code = fault.code;
    crash.fault_address = fault.address;
    crash.ucontext = fault.context;
    crash.thread_id = ktu::sys::CurrentThreadId();
    bool written = md::Write(fd, crash, streams, stream_count, ranges, range_count, s_dump_type);
    ktu::sys::CloseFile(fd);
    if (!written) return;
    if (s_after_dump) s_after_dump(s_dump_path);
    KtUSysError::ForceExit(1);
}

// The library's unhandled-exception filter.
void OnCrash(const ktu::sys::Fault& fault) {
    if (t_abort_on_exception) {
        if (s_dump_path[0])
            RunDumpSequence(fault);
        else
            KtUSysError::RequestDebugBreak();
        KtUSysError::ForceExit(1);
    }
    if (s_dump_path[0]) RunDumpSequence(fault);
}

int GlobalHandlerAdapter(Severity severity, KtUComponent* component, int id, void*,
                         const KtUWChar* message) {
    KtUSysError::GlobalHandlerFn fn = s_global_fn;
    return fn ? fn(severity, component, id, message, s_global_fn_data) : 0;
}

} // namespace

namespace ktu::sys {

[[noreturn]] void FatalUnhandled() {
    KtUSysError::RequestDebugBreak();
    if (s_dump_path[0]) {
        KtUWChar path[kMaxPathUnits + 1];
        std::memcpy(path, s_dump_path, sizeof path);
        KtUSysError::WriteDump(path, s_dump_include_log, s_dump_type);
        KtUSysError::ForceExit(1);
    }
    std::abort();
}

} // namespace ktu::sys

// --- Lifecycle -------------------------------------------------------------

namespace {

void SetUp();

constexpr ktu::detail::ComponentDecl kComponent{
    .component = s_component,
    .name = "KtUSysError",
    .info = KTU_COMPONENT_INFO,
    .set_up = SetUp,
};

// Registration does not log while KtUSysError registers itself (the log may
// be all there is), so the Init line is written here.
void SetUp() {
    s_global_handler = nullptr;
    for (auto& handler : s_severity_handler)
        handler = nullptr;
    s_log_post_cb = nullptr;
    {
        ktu::sys::LockGuard guard(s_lock);
        s_dump_path[0] = 0;
        s_dump_path_utf8[0] = 0;
        s_dump_type = 0;
        s_dump_include_log = 1;
        s_before_dump = nullptr;
        s_after_dump = nullptr;
        s_debug_break_hook = nullptr;
        s_force_exit_hook = nullptr;
        s_force_clean_exit_hook = nullptr;
    }
    KtUSysError::LogUTF8String("Init: KtUSysError (");
    KtUSysError::LogUTF8String(kComponent.info);
    KtUSysError::LogUTF8String(")\n");
}

} // namespace

void KtUSysError::Initialise() {
    ++s_registering;
    ktu::detail::InitialiseComponent(kComponent);
    --s_registering;
}

void KtUSysError::Terminate() {
    if (!ktu::detail::TerminateComponent(kComponent)) return;
    // The list ends with KtUSysError: every component still registered is
    // reported and dropped with its handlers.
    ktu::sys::LockGuard guard(s_lock);
    for (KtUComponent* c = s_first; c;) {
        KtUComponent* next = c->m_next;
        LogUTF8String("*** Component ");
        LogUTF8String(c->m_name);
        LogUTF8String("still initialised\n");
        c->DeleteHandlers();
        c->m_next = c->m_prev = nullptr;
        c->m_init_count = 0;
        c = next;
    }
    s_first = s_last = nullptr;
}

int KtUSysError::IsInitialised() {
    return s_component.IsInitialised();
}

// --- Components --------------------------------------------------------------

bool KtUSysError::IsRegisteringItself() {
    return s_registering > 0;
}

void KtUSysError::LinkComponent(KtUComponent* component) {
    component->m_next = nullptr;
    component->m_prev = s_last;
    if (s_last)
        s_last->m_next = component;
    else
        s_first = component;
    s_last = component;
}

void KtUSysError::UnlinkComponent(KtUComponent* component) {
    if (component->m_prev)
        component->m_prev->m_next = component->m_next;
    else if (s_first == component)
        s_first = component->m_next;
    if (component->m_next)
        component->m_next->m_prev = component->m_prev;
    else if (s_last == component)
        s_last = component->m_prev;
    component->m_next = component->m_prev = nullptr;
}

KtUComponent* KtUSysError::FindComponent(const char* name) {
    ktu::sys::LockGuard guard(s_lock);
    for (KtUComponent* c = s_first; c; c = c->m_next)
        if (c->IsName(name)) return c;
    return nullptr;
}

KtUComponent* KtUSysError::GetFirstComponent() {
    return s_first;
}
KtUComponent* KtUSysError::GetLastComponent() {
    return s_last;
}

// --- Handlers ------------------------------------------------------------------

Handler* KtUSysError::FindHandler(Severity severity, KtUComponent* component, int id,
                                  void*& previous_node) {
    previous_node = nullptr;
    if (severity == eANY) return component ? &component->m_any_handler : &s_global_handler;
    if (!component) return InSeverityRange(severity) ? &s_severity_handler[severity] : nullptr;
    if (id == -1)
        return InSeverityRange(severity) ? &component->m_severity_handlers[severity] : nullptr;
    KtUComponent::IdHandler* previous = nullptr;
    for (auto* node = component->m_id_handlers; node; previous = node, node = node->next) {
        if (node->id == id) {
            previous_node = previous;
            return &node->handler;
        }
    }
    return nullptr;
}

void KtUSysError::SetHandler(Handler handler, Severity severity, KtUComponent* component, int id) {
    ktu::sys::LockGuard guard(s_lock);
    void* previous = nullptr;
    if (Handler* slot = FindHandler(severity, component, id, previous)) {
        *slot = handler;
        return;
    }
    if (component && id != -1 && severity != eANY)
        component->m_id_handlers =
            new KtUComponent::IdHandler{component->m_id_handlers, id, handler};
}

void KtUSysError::SetHandler(Handler handler, Severity severity, const char* component_name,
                             int id) {
    SetHandler(handler, severity, FindComponent(component_name), id);
}

Handler KtUSysError::RemoveHandler(Severity severity, KtUComponent* component, int id) {
    ktu::sys::LockGuard guard(s_lock);
    void* previous = nullptr;
    Handler* slot = FindHandler(severity, component, id, previous);
    if (!slot) return nullptr;
    Handler removed = *slot;
    *slot = nullptr;
    if (component && id != -1 && severity != eANY) {
        auto* prev_node = static_cast<KtUComponent::IdHandler*>(previous);
        KtUComponent::IdHandler* node = prev_node ? prev_node->next : component->m_id_handlers;
        (prev_node ? prev_node->next : component->m_id_handlers) = node->next;
        delete node;
    }
    return removed;
}

Handler KtUSysError::RemoveHandler(Severity severity, const char* component_name, int id) {
    return RemoveHandler(severity, FindComponent(component_name), id);
}

Handler KtUSysError::GetHandler(Severity severity, KtUComponent* component, int id) {
    ktu::sys::LockGuard guard(s_lock);
    void* previous = nullptr;
    Handler* slot = FindHandler(severity, component, id, previous);
    return slot ? *slot : nullptr;
}

void KtUSysError::SetGlobalHandler(GlobalHandlerFn fn, void* user_data) {
    ktu::sys::LockGuard guard(s_lock);
    s_global_fn = fn;
    s_global_fn_data = user_data;
    s_global_handler = fn ? GlobalHandlerAdapter : nullptr;
}

void* KtUSysError::GetGlobalHandlerData() {
    return s_global_fn_data;
}
KtUSysError::GlobalHandlerFn KtUSysError::GetGlobalHandler() {
    return s_global_fn;
}

// --- Posting -------------------------------------------------------------------

void KtUSysError::PostWideString(Severity severity, KtUComponent* component,
                                 const KtUWChar* message) {
    PostFixed(severity, component, -1, nullptr, severity == eDEBUG ? 4 : 0, message);
}

void KtUSysError::PostWideString(Severity severity, KtUComponent* component, int id, void* data,
                                 const KtUWChar* message) {
    int depth = 0;
    if (severity == eDEBUG) depth = (id == -1 && data == nullptr) ? 4 : 5;
    PostFixed(severity, component, id, nullptr, depth, message);
}

void KtUSysError::PostFixed(Severity severity, KtUComponent* component, int id, void* data,
                            int depth, const KtUWChar* message) {
    // 1. Logging.
    if (LogPostCB cb = s_log_post_cb) {
        cb(severity, component, id, data, message);
    } else {
        static const char kPrefix[] = "KtUSysError::PostFixed: ";
        char line[sizeof kPrefix + 256 + 4 + kMaxPostUnits + 3];
        size_t n = std::strlen(kPrefix);
        std::memcpy(line, kPrefix, n);
        if (component && component->m_name) {
            size_t len = std::strlen(component->m_name);
            if (len > 256) len = 256;
            std::memcpy(line + n, component->m_name, len);
            n += len;
            line[n++] = ':';
            line[n++] = ' ';
        }
        line[n++] = '"';
        for (size_t i = 0; message && message[i] && i < kMaxPostUnits; ++i)
            line[n++] = (message[i] & 0xFF80) ? '?' : static_cast<char>(message[i]);
        line[n++] = '"';
        line[n++] = '\n';
        line[n] = '\0';
        LogUTF8String(line);
    }

    // 2. Dispatch, from the most specific slot to the global handler. The
    // slots are looked up under the lock; handlers run without it.
    auto call = [&](Severity slot_severity, KtUComponent* slot_component, int slot_id) {
        Handler handler = nullptr;
        {
            ktu::sys::LockGuard guard(s_lock);
            void* previous = nullptr;
            if (Handler* slot = FindHandler(slot_severity, slot_component, slot_id, previous))
                handler = *slot;
        }
        return handler && handler(severity, component, id, nullptr, message) != 0;
    };
    if (depth <= 5 && call(severity, component, id)) return;
    if (depth <= 4 && call(severity, component, -1)) return;
    if (depth <= 3 && severity != eINFO && call(eANY, component, -1)) return;
    if (depth <= 2 && call(severity, nullptr, -1)) return;
    if (depth <= 1 && call(eANY, nullptr, -1)) return;

    // 3. Unhandled.
    if (severity == eWARNING || severity == eDEBUG || severity == eINFO) return;
    LogUTF8String("KtUSysError: No handler for error\n");
    // The log may be nowhere a person looks: say on standard error what ends
    // the process, and who posted it.
    static const char* const kSeverity[] = {"error", "warning", "precondition failure",
                                            "assertion failure"};
    char text[kMaxPostUnits * 3 + 1];
    ktu::sys::U16ToUtf8(message ? message : u"", text, sizeof text);
    char line[sizeof text + 512];
    std::snprintf(line, sizeof line, "ktutil: unhandled %s from %s: %s\n",
                  unsigned(severity) < 4 ? kSeverity[severity] : "error",
                  component && component->m_name ? component->m_name : "(no component)", text);
    WriteToConsole(line, nullptr);
    ktu::sys::FatalUnhandled();
}

// --- The process log ---------------------------------------------------------------

void KtUSysError::LogUTF8String(const char* text) {
    if (!text) text = "(null)";
    size_t n = std::strlen(text);
    if (n >= kLogHalf) {
        PostWideString(eERROR, &s_component, u"Too long to log");
        return;
    }
    ktu::sys::LockGuard guard(s_lock);
    size_t room = static_cast<size_t>(s_log_base + kLogHalf - s_log_cursor);
    if (n >= room) {
        if (s_log_base == s_head_start) {
            s_head_end = s_log_cursor;
            s_log_base = s_ring_start;
        } else {
            s_prev_pass_end = s_log_cursor;
        }
        s_log_cursor = s_ring_start;
    }
    std::memcpy(s_log_cursor, text, n + 1);
    if (s_console_enabled) WriteToConsole(text, nullptr);
    if (s_log_fp) std::fputs(text, s_log_fp);
    s_log_cursor += n;
}

void KtUSysError::SetLogPostWideStringCB(LogPostCB cb) {
    s_log_post_cb = cb;
}

void KtUSysError::SetLogDir(const KtUWChar* path) {
    ktu::sys::LockGuard guard(s_lock);
    int was_enabled = s_log_file_enabled;
    if (was_enabled) SetLogFileEnable(0);
    std::free(s_log_dir);
    s_log_dir = ktu::sys::U16Dup(path);
    if (was_enabled) SetLogFileEnable(1);
}

const KtUWChar* KtUSysError::GetLogDir() {
    return s_log_dir;
}

void KtUSysError::SetLogFile(const KtUWChar* path) {
    ktu::sys::LockGuard guard(s_lock);
    int was_enabled = s_log_file_enabled;
    if (was_enabled) SetLogFileEnable(0);
    std::free(s_log_file_name);
    s_log_file_name = ktu::sys::U16Dup(path);
    if (was_enabled) SetLogFileEnable(1);
}

const KtUWChar* KtUSysError::GetLogFile() {
    return s_log_file_name;
}

void KtUSysError::SetLogFileEnable(int on) {
    char path[4096 + 1024];
    {
        ktu::sys::LockGuard guard(s_lock);
        on = on ? 1 : 0;
        if (s_log_file_enabled == on) return;
        if (s_log_fp) {
            std::fclose(s_log_fp);
            s_log_fp = nullptr;
        }
        s_log_file_enabled = on;
        if (!on) return;
        if (s_log_file_name) {
            ktu::sys::U16ToUtf8(s_log_file_name, path, sizeof path);
        } else {
            char dir[4096];
            char run[512];
            ktu::sys::U16ToUtf8(s_log_dir, dir, sizeof dir);
            FormatRunName(run, sizeof run);
            std::snprintf(path, sizeof path, "%s/%s.txt", dir, run);
        }
        s_log_fp = std::fopen(path, "we");
        if (s_log_fp) {
            std::setvbuf(s_log_fp, nullptr, _IONBF, 0);
            ReadOutLog(WriteToFile, s_log_fp);
            return;
        }
    }
    KtUWChar message[4096 + 300];
    ktu::sys::Utf8ToU16("Can't open log file \"", message, 32);
    size_t n = ktu::sys::U16Len(message);
    n += ktu::sys::Utf8ToU16(path, message + n, sizeof message / sizeof message[0] - n - 2);
    message[n++] = u'"';
    message[n] = 0;
    PostWideString(eERROR, &s_component, message);
}

int KtUSysError::IsLogFileEnable() {
    return s_log_file_enabled;
}

void KtUSysError::SetConsoleEnable(int on) {
    ktu::sys::LockGuard guard(s_lock);
    if (on && !s_console_allocated) {
        // Standard error is the console; its first use shows the log so far.
        s_console_allocated = 1;
        ReadOutLog(WriteToConsole, nullptr);
    }
    s_console_enabled = on ? 1 : 0;
}

int KtUSysError::IsConsoleEnable() {
    return s_console_enabled;
}

void KtUSysError::OutputLogBuffer(OutputFn fn, void* data) {
    ktu::sys::LockGuard guard(s_lock);
    ReadOutLog(fn, data);
}

void KtUSysError::ClearLogBuffer() {
    s_head_end = nullptr;
    s_prev_pass_end = nullptr;
    s_log_base = s_head_start;
    s_log_cursor = s_head_start;
    *s_log_cursor = '\0';
}

// --- Trace settings ----------------------------------------------------------------

void KtUSysError::SetTraceEnable(int on) {
    s_trace_enable = on;
}
bool KtUSysError::ShouldTrace(int level) {
    return s_trace_enable && level <= s_trace_level;
}
void KtUSysError::SetTraceLevel(int level) {
    s_trace_level = level;
}
int KtUSysError::GetTraceLevel() {
    return s_trace_level;
}
void KtUSysError::SetTraceFlag(int flags) {
    s_trace_flags = flags;
}
int KtUSysError::GetTraceFlag() {
    return s_trace_flags;
}

// --- Crash dumps and exits -----------------------------------------------------------

void KtUSysError::SetDumpOnUnhandledException(const KtUWChar* path, int include_log,
                                              unsigned int dump_type, BeforeDumpFn before,
                                              AfterDumpFn after, ExtraMemoryFn extra_memory) {
    ktu::sys::LockGuard guard(s_lock);
    size_t len = ktu::sys::U16Len(path);
    if (len > kMaxPathUnits) len = kMaxPathUnits;
    if (len) std::memcpy(s_dump_path, path, len * sizeof(KtUWChar));
    s_dump_path[len] = 0;
    ktu::sys::U16ToUtf8(s_dump_path, s_dump_path_utf8, sizeof s_dump_path_utf8);
    s_dump_include_log = include_log;
    s_dump_type = dump_type;
    s_before_dump = before;
    s_after_dump = after;
    s_extra_memory = extra_memory;
    if (len) {
        md::PrepareSystemDescription();
        ktu::sys::InstallCrashHandlers(OnCrash);
    } else {
        ktu::sys::RemoveCrashHandlers();
    }
}

int KtUSysError::IsDumpOnUnhandledException() {
    return s_dump_path[0] != 0;
}

const KtUWChar* KtUSysError::DumpPath() {
    return s_dump_path;
}

void KtUSysError::WriteDump(const KtUWChar* path, int include_log, unsigned int dump_type) {
    ktu::sys::LockGuard guard(s_lock);
    KtUWChar saved_path[kMaxPathUnits + 1];
    std::memcpy(saved_path, s_dump_path, sizeof saved_path);
    int saved_include_log = s_dump_include_log;
    unsigned int saved_type = s_dump_type;
    BeforeDumpFn saved_before = s_before_dump;
    AfterDumpFn saved_after = s_after_dump;
    ExtraMemoryFn saved_extra = s_extra_memory;

    SetDumpOnUnhandledException(path, include_log, dump_type, nullptr, nullptr, saved_extra);
    // Signal 0 and no fault context: a dump on request of the calling thread,
    // whose registers the dump writer captures. Exits when the dump is written.
    RunDumpSequence(ktu::sys::Fault{0, 0, nullptr, nullptr});

    SetDumpOnUnhandledException(saved_path, saved_include_log, saved_type, saved_before,
                                saved_after, saved_extra);
}

int KtUSysError::ReadDump(const KtUWChar* path, OutputFn fn, void* data) {
    ktu::sys::LockGuard guard(s_lock);
    char utf8[4 * kMaxPathUnits + 1];
    ktu::sys::U16ToUtf8(path, utf8, sizeof utf8);
    md::Reader reader;
    if (!reader.Open(utf8)) return 0;
    char text[1024];
    if (!reader.DescribeSystem(text, sizeof text)) return 0;
    fn(text, data);
    int result = 0;
    for (int part = 1; part <= 3; ++part) {
        const void* stream = nullptr;
        uint32_t size = 0;
        if (!reader.FindStream(md::kFirstUserStream + part - 1, &stream, &size)) break;
        std::snprintf(text, sizeof text, "\n\nLog Part %d\n", part);
        fn(text, data);
        if (size == 0) {
            fn("Empty log\n", data);
        } else if (static_cast<const char*>(stream)[size - 1] != '\0') {
            std::snprintf(text, sizeof text, "Log length %d is not NULL terminated\n",
                          static_cast<int>(size));
            fn(text, data);
            break;
        } else {
            fn(static_cast<const char*>(stream), data);
        }
        if (part == 1) result = 1;
    }
    return result;
}

void KtUSysError::AbortOnException(void (*fn)(void*), void* data) {
    bool installed_here = !ktu::sys::CrashHandlersIntact();
    if (installed_here) ktu::sys::InstallCrashHandlers(OnCrash);
    bool outer = t_abort_on_exception;
    t_abort_on_exception = true;
    fn(data);
    t_abort_on_exception = outer;
    if (installed_here && !s_dump_path[0]) ktu::sys::RemoveCrashHandlers();
}

void KtUSysError::Abort() {
    ktu::sys::FatalUnhandled();
}

void KtUSysError::ForceExit(int code) {
    if (HookFn hook = s_force_exit_hook) {
        try {
            hook();
        } catch (...) {
        }
    }
    ktu::sys::ExitNow(code);
}

void KtUSysError::ForceCleanExit(int code) {
    if (HookFn hook = s_force_clean_exit_hook) {
        try {
            hook();
        } catch (...) {
        }
    }
    ForceExit(code);
}

void KtUSysError::SetForceExitCB(HookFn fn) {
    s_force_exit_hook = fn;
}
void KtUSysError::SetForceCleanExitCB(HookFn fn) {
    s_force_clean_exit_hook = fn;
}
void KtUSysError::SetDebugBreakCB(HookFn fn) {
    s_debug_break_hook = fn;
}

void KtUSysError::RequestDebugBreak() {
    if (HookFn hook = s_debug_break_hook)
        hook();
    else if (ktu::sys::DebuggerAttached())
        ktu::sys::BreakIntoDebugger();
}

static int AlwaysDump(const KtUWChar*) {
    return 1;
}
static void ExitAfterDump(const KtUWChar*) {
    KtUSysError::ForceExit(4);
}

void KtUSysError::ConfigureForUnitTests(const KtUWChar* dump_path) {
    SetDumpOnUnhandledException(dump_path, 1, 0, AlwaysDump, ExitAfterDump, nullptr);
}
