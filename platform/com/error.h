// Error information of the COM layer.
//
// Errors never leave a library as C++ exceptions: a member body may throw ComError, and the
// dispatch machinery turns it into a status with its error information (HRESULT, source,
// description), as the platform's error objects carried them.
#pragma once

#include <stdexcept>
#include <string>

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

// The platform's standard message for a status ("Type mismatch", "Overflow", ...), or
// "Unspecified error" style text for unknown ones.
std::u16string describe(HRESULT hr);

}  // namespace platform::com
