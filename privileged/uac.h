// The class UAC: the library's one public class.
#pragma once

#include "platform/com/dispatch.h"
#include "platform/com/safety.h"
#include "privileged/kestrum.h"

namespace kestrum {

class UAC : public com::DispatchImpl<UAC, com::ObjectSafety>, public com::DeclaredSafetyImpl {
  public:
    static const com::Members<UAC>& members();
};

}  // namespace kestrum
