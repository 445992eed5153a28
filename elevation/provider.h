// The elevated instance of the broker as a second process: the host program, started with a
// pipe pair on its standard input and output, and the object that stands for it here.
#pragma once

#include <filesystem>

#include "platform/com/runtime.h"

namespace elevation {

enum class Launch {
    Pkexec,    // the host as the superuser, through pkexec (which asks the user)
    SameUser,  // the host as this user, without asking
    Declined,  // as SameUser, but the user declines: the host ends before it serves
};

// The provider that starts the host program `host` the way `launch` says. A declined prompt
// answers HRESULT_ERROR_CANCELLED; a host that cannot be started or ends before greeting
// answers CO_E_SERVER_EXEC_FAILURE. The object it answers forwards each call of a private
// operation to the host; once the host has gone every call answers RPC_E_DISCONNECTED.
platform::com::ElevationProvider hostProvider(Launch launch, std::filesystem::path host);

// TESSEL_UAC_PROVIDER chooses: "same-user", "declined", otherwise pkexec. The host program
// lies beside this library.
platform::com::ElevationProvider defaultProvider();
std::filesystem::path hostProgram();

}  // namespace elevation
