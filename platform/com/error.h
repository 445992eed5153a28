// Error information of the COM layer.
//
// Errors never leave a library as C++ exceptions: a member body may throw ComError (or
// anything else), and the entry points of a library run their code inside `guard`, which
// turns the exception into a status with its error information (HRESULT, source,
// description), as the platform's error objects carried them.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/com/hresult.h"

namespace platform::com {

struct ExcepInfo {
    HRESULT scode = S_OK;
    std::u16string source;
    std::u16string description;
};

class ComError : public std::runtime_error {
  public:
    explicit ComError(HRESULT hr, std::u16string description = {}, std::u16string source = {});
    HRESULT hr() const { return hr_; }
    const std::u16string& description() const { return description_; }
    const std::u16string& source() const { return source_; }
    ExcepInfo info() const { return {hr_, source_, description_}; }

  private:
    HRESULT hr_;
    std::u16string description_;
    std::u16string source_;
};

// Throws ComError.
[[noreturn]] void raise(HRESULT hr, std::u16string description = {}, std::u16string source = {});

// The error information of the calling thread: what the last failing guarded call reported.
// Taking it clears it, so a reader sees only what happened since it last looked.
void setErrorInfo(ExcepInfo info) noexcept;
std::optional<ExcepInfo> takeErrorInfo() noexcept;

// What the exception being handled stands for. ComError keeps its status and texts; a run-time
// error of the text functions keeps its number (0x800A0000 | number), as the automation
// runtime reports it; std::bad_alloc is E_OUTOFMEMORY; anything else is E_FAIL described by
// its message. `source` names the failing component when the exception names none. Call it
// only while an exception is being handled.
ExcepInfo currentError(std::u16string_view source) noexcept;

// Runs `body` (returning an HRESULT, or nothing for S_OK) so that no exception leaves it: a
// thrown error comes back as its status, with its texts in the thread's error information.
// Every entry point of a library (exports, class factories, event delivery) runs in it.
template <class Body>
HRESULT guard(std::u16string_view source, Body&& body) noexcept {
    try {
        if constexpr (std::is_void_v<std::invoke_result_t<Body&>>) {
            body();
            return S_OK;
        } else {
            return body();
        }
    } catch (...) {
        ExcepInfo info = currentError(source);
        const HRESULT status = info.scode;
        setErrorInfo(std::move(info));
        return status;
    }
}

// The guard of a plain C export, which answers codes of its own rather than an HRESULT: a
// thrown error comes back as `failure` (the export's code for it), with its texts in the
// thread's error information as guard() leaves them. An export without a result just returns.
template <class Body>
std::invoke_result_t<Body&> guardExport(std::u16string_view source,
                                        std::type_identity_t<std::invoke_result_t<Body&>> failure,
                                        Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        setErrorInfo(currentError(source));
        return failure;
    }
}
template <class Body>
void guardExport(std::u16string_view source, Body&& body) noexcept {
    try {
        body();
    } catch (...) {
        setErrorInfo(currentError(source));
    }
}

// The guard of a dispatch call: a thrown error becomes DISP_E_EXCEPTION, with its status and
// texts in `excep` (when the caller asked for them).
template <class Body>
HRESULT guardInvoke(std::u16string_view source, ExcepInfo* excep, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        ExcepInfo info = currentError(source);
        if (excep) *excep = std::move(info);
        return DISP_E_EXCEPTION;
    }
}

// The platform's standard message for a status ("Type mismatch", "Overflow", ...), or
// "Unspecified error" style text for unknown ones.
std::u16string describe(HRESULT hr);

}  // namespace platform::com
