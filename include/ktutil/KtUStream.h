//===- KtUStream.h - What typed writers and readers share -----------------===//
//
// KtUStream is the base of KtUWriteStream and KtUReadStream: the sink, the
// filters between stream and sink, the object format, the four encoding
// modes, the error state and eight user-data slots. It also owns the header
// line that starts every stream:
//
//   KtUWriteStream out(&sink);
//   out.SetAscii(1);                   // text; binary by default
//   out.SetDouble(0);                  // Float values as singles
//   out.SetDebug(1);                   // a type token before every value
//   out.SetFormat(&format);            // or SetFormatName("parts")
//   KtUString header = out.GetConfig();
//   // "#KtUStream-V1.1 ascii single debug utf8 parts\n"
//
// Errors. The first failure is kept (GetError) and posted through KtUError
// at eDEBUG (component "KtUStream", the error id as the post's number); from
// then on every write does nothing and every read transfers nothing (typed
// reads return 0) until SetError or a new Begin clears it.
//
// Thread safety: a stream and its sinks are used by one thread at a time.
// The user-data slot registry is process-wide and unguarded: register slots
// during start-up.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSTREAM_H
#define KTUTIL_KTUSTREAM_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUPtrVector.h>
#include <ktutil/KtUString.h>

class KtUStreamFilter;
class KtUStreamFormat;
class KtUStreamSink;

/// Configuration, filter chain and error state shared by typed writers and readers.
class KTU_API KtUStream {
public:
    /// Error ids; the message each one posts is listed beside it.
    enum ErrorId : int {
        eNO_ERROR = 0,
        eNO_FORMAT = 1, ///< "No format for stream"
        eNO_METHOD = 2, ///< "No method for entry %d in format for object" / "No entry %d ..."
        eWRITE_BEGIN_FAILED = 3,   ///< "WriteBegin failed"
        eWRITE_LOCK_FAILED = 4,    ///< "Write Failed"
        eWRITE_PROCESS_FAILED = 5, ///< "Write Failed"
        eFLUSH_FAILED = 6,         ///< "Flush Failed" (eWARNING)
        eWRITE_END_FAILED = 7,     ///< "WriteEnd failed"
        eREAD_BEGIN_FAILED = 8,    ///< "ReadBegin failed"
        eREAD_LOCK_FAILED = 9,     ///< "Read Failed"
        eREAD_PROCESS_FAILED = 10, ///< "Sink couldn't process data"
        eREAD_END_FAILED = 11,     ///< "ReadEnd failed"
        eNOT_ALIGNED = 12, ///< "Block is not aligned" / "Block does not have 8 byte alignment"
        eUNKNOWN_CONFIGURATION = 14, ///< "Unknown configuration"
        eMALFORMED_DATA = 15,        ///< "Malformed data"
        ePARSE_ERROR = 16,           ///< "Read "%s", expected "%s"[ at line %d]"
        eBAD_EXTENSION = 17,         ///< a malformed extension-table row
        eUNEXPECTED_END = 18,        ///< "Unexpected end of data"
        eEXTENSION_CONFLICT = 19,    ///< an extension-table row contradicts the format
        eNO_ANCESTOR = 20,           ///< an unknown class with no known ancestor
        eCREATE_FAILED = 21,         ///< an entry's create method returned null
        eREAD_METHOD_FAILED = 22,    ///< an entry's read method failed
        eWRITE_METHOD_FAILED = 23,   ///< an entry's write method failed
        eWRONG_ENTRY = 24,           ///< ReadCheckedObject met another class
        eCOPY_OUT_OF_ORDER = 25,     ///< copied data defines objects out of id order
    };
    /// How wide (UTF-16) strings become bytes.
    enum WideStringEncoding : int {
        eUTF8 = 0,  ///< header word "utf8"
        eMULTI = 1, ///< the current locale's character set; header word "C"
    };
    static constexpr int kNumUserData = 8;

    explicit KtUStream(KtUStreamSink* sink);
    KtUStream(const KtUStream& other) = default;
    KtUStream& operator=(const KtUStream& other) = default;
    virtual ~KtUStream();

    KtUStreamSink* GetSink() const { return m_sink; }
    void SetSink(KtUStreamSink* sink) { m_sink = sink; }

    /// Sets the format and takes its name and version (null: both cleared).
    void SetFormat(const KtUStreamFormat* format);
    const KtUStreamFormat* GetFormat() const { return m_format; }
    const char* GetFormatName() const { return m_format_name; }
    void SetFormatName(const char* name) { m_format_name = name; }
    int GetFormatVersion() const { return m_format_version; }
    void SetFormatVersion(int version) { m_format_version = version; }

    /// Filters between stream and sink, stream side first (not owned).
    void AddActiveFilter(KtUStreamFilter* filter);
    void PopActiveFilter();
    void SetActiveFilter(int index, KtUStreamFilter* filter);
    void ClearActiveFilters() {
        m_filters.Clear();
        m_filter_lost = 0;
    }
    int GetNumActiveFilters() const { return m_filters.Size(); }
    KtUStreamFilter* GetActiveFilter(int index) const { return m_filters[index]; }

    int IsAscii() const { return m_ascii; }
    void SetAscii(int on) { m_ascii = on; }
    int IsDouble() const { return m_double; }
    void SetDouble(int on) { m_double = on; }
    int IsDebug() const { return m_debug; }
    void SetDebug(int on) { m_debug = on; }
    WideStringEncoding GetWideStringEncoding() const { return m_wide_encoding; }
    void SetWideStringEncoding(WideStringEncoding encoding) { m_wide_encoding = encoding; }

    /// The header line: "#KtUStream-V1.1 " and the mode words, the format
    /// name ("linull" for none), " " and each filter's name, a line feed.
    KtUString GetConfig() const;
    /// Copies format, name, version, filters, modes and user data; not the
    /// sink and not the error.
    void CopyConfig(const KtUStream& other);

    int IsError() const { return m_error != eNO_ERROR; }
    ErrorId GetError() const { return m_error; }
    void SetError(ErrorId error) { m_error = error; }

    void* GetUserData(int slot) const { return m_user[slot]; }
    void SetUserData(int slot, void* data) { m_user[slot] = data; }
    /// The lowest free process-wide slot number, now taken; -1 when all 8 are.
    static int RegisterUserData();
    static void UnregisterUserData(int slot);

    /// The component "KtUStream" (also initialises errors, strings and sinks).
    static void Initialise();
    static void Terminate();
    static int IsInitialised();

    KTU_DECLARE_ALLOCATION_OPERATORS

protected:
    /// Posts message (a printf format) at eDEBUG with id as its number and
    /// object as its data, and sets the error.
    void Fail(ErrorId id, void* object, const char* format, ...) KTU_PRINTF(4, 5);
    /// As Fail at another severity.
    void FailAt(int severity, ErrorId id, void* object, const char* format, ...) KTU_PRINTF(5, 6);
    /// Reports a class used before its component was initialised; false then.
    bool CheckInitialised(const char* where);

    /// Begins the filters (and the sink) and links them; 0 on failure, after
    /// ending what was begun.
    int InitChain(int write, int with_sink);
    /// Unlinks and ends the filters (and the sink); every failure is posted.
    void ClearChain(int write, int with_sink);

    /// Where bytes go or come from while begun: the first filter, else the sink.
    KtUStreamSink* m_target = nullptr;
    ErrorId m_error = eNO_ERROR;
    int m_ascii = 0;
    int m_double = 1;
    int m_debug = 0;
    WideStringEncoding m_wide_encoding = eUTF8;

private:
    KtUStreamSink* m_sink;
    const KtUStreamFormat* m_format = nullptr;
    const char* m_format_name = nullptr;
    int m_format_version = 0;
    KtUPtrVector<KtUStreamFilter> m_filters;
    int m_filter_lost = 0;
    void* m_user[kNumUserData] = {};
};

#endif // KTUTIL_KTUSTREAM_H
