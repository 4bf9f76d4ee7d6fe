//===- KtUVector.h - Component of the vector classes ----------------------===//
//
// KtUVector is the component that the vector classes (KtUInt32Vector,
// KtUNat64Vector, KtUFloatVector, KtUVoidPtrVector, KtUConstWCharPtrVector and
// the pointer-vector templates) belong to. Initialise it before using them:
// it initialises the memory manager their storage comes from.
//
//   KtUVector::Initialise();
//   {
//       KtUInt32Vector v;
//       v.PushBack(1);
//   }
//   KtUVector::Terminate();
//
// The vectors report bad arguments as ePRECONDITION posts from this
// component; a host that wants them to be recoverable registers a handler:
//
//   KtUSysError::SetHandler(MyHandler, KtUSysError::ePRECONDITION,
//                           KtUVector::GetComponent(), -1);
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUVECTOR_H
#define KTUTIL_KTUVECTOR_H

#include <ktutil/KtUDefs.h>

class KtUComponent;

/// The vectors' component (static only). Initialise and Terminate follow the
/// component pattern (one thread at a time); ReportBadArgument may be called
/// from any thread.
class KTU_API KtUVector {
public:
    static void Initialise();
    static void Terminate();
    static int IsInitialised();
    static KtUComponent* GetComponent();

    /// Posts message as ePRECONDITION from the component.
    static void ReportBadArgument(const KtUWChar* message);

private:
    KtUVector() = delete;
};

#endif // KTUTIL_KTUVECTOR_H
