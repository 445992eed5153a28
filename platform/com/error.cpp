#include "platform/com/error.h"

#include <cstdio>
#include <new>

#include "platform/text/text.h"

namespace platform::com {

namespace {
std::string whatOf(HRESULT hr, const std::u16string& description) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "error 0x%08X", static_cast<unsigned>(hr));
    std::string s = buf;
    if (!description.empty()) s += ": " + text::toUtf8(description);
    return s;
}
}  // namespace

ComError::ComError(HRESULT hr, std::u16string description, std::u16string source)
    : std::runtime_error(whatOf(hr, description.empty() ? describe(hr) : description)),
      hr_(hr),
      description_(description.empty() ? describe(hr) : std::move(description)),
      source_(std::move(source)) {}

void raise(HRESULT hr, std::u16string description, std::u16string source) {
    throw ComError(hr, std::move(description), std::move(source));
}

namespace {
thread_local std::optional<ExcepInfo> threadErrorInfo;
}  // namespace

void setErrorInfo(ExcepInfo info) noexcept {
    threadErrorInfo = std::move(info);
}

std::optional<ExcepInfo> takeErrorInfo() noexcept {
    std::optional<ExcepInfo> info = std::move(threadErrorInfo);
    threadErrorInfo.reset();
    return info;
}

ExcepInfo currentError(std::u16string_view source) noexcept {
    try {
        ExcepInfo info;
        try {
            throw;
        } catch (const ComError& e) {
            info = e.info();
        } catch (const text::Error& e) {
            info = {hr(0x800A0000u | static_cast<std::uint32_t>(e.number())),
                    {},
                    text::fromUtf8(e.what())};
        } catch (const std::bad_alloc&) {
            info = {E_OUTOFMEMORY, {}, describe(E_OUTOFMEMORY)};
        } catch (const std::exception& e) {
            info = {E_FAIL, {}, text::fromUtf8(e.what())};
        } catch (...) {
            info = {E_FAIL, {}, u"An exception of an unknown kind"};
        }
        if (info.source.empty()) info.source = source;
        return info;
    } catch (...) {
        // No memory left even for the texts: the status alone.
        return {E_OUTOFMEMORY, {}, {}};
    }
}

std::u16string describe(HRESULT hr) {
    switch (static_cast<std::uint32_t>(hr)) {
        case 0x00000000:
            return u"The operation completed successfully.";
        case 0x80004001:
            return u"Not implemented";
        case 0x80004002:
            return u"No such interface supported";
        case 0x80004003:
            return u"Invalid pointer";
        case 0x80004004:
            return u"Operation aborted";
        case 0x80004005:
            return u"Unspecified error";
        case 0x8000FFFF:
            return u"Catastrophic failure";
        case 0x80070005:
            return u"Access is denied.";
        case 0x8007000E:
            return u"Out of memory";
        case 0x80070057:
            return u"The parameter is incorrect.";
        case 0x80020003:
            return u"Member not found.";
        case 0x80020004:
            return u"Parameter not found.";
        case 0x80020005:
            return u"Type mismatch.";
        case 0x80020006:
            return u"Unknown name.";
        case 0x80020007:
            return u"No named arguments.";
        case 0x80020008:
            return u"Bad variable type.";
        case 0x80020009:
            return u"Exception occurred.";
        case 0x8002000A:
            return u"Out of present range.";
        case 0x8002000B:
            return u"Invalid index.";
        case 0x8002000E:
            return u"Invalid number of parameters.";
        case 0x8002000F:
            return u"Parameter not optional.";
        case 0x80040110:
            return u"Class does not support aggregation";
        case 0x80040111:
            return u"ClassFactory cannot supply requested class";
        case 0x80040154:
            return u"Class not registered";
        case 0x80040151:
            return u"Could not write key to registry";
        case 0x80040201:
            return u"Error in registration of class";
        case 0x800401F3:
            return u"Invalid class string";
        case 0x8004016F:
            return u"The server could not be found";
        case 0x800401F9:
            return u"Error in the DLL";
        case 0x80080017:
            return u"The requested object is not enabled for elevation";
        case 0x800401E4:
            return u"Invalid syntax";
        case 0x800704C7:
            return u"The operation was canceled by the user.";
        case 0x80010108:
            return u"The object invoked has disconnected from its clients.";
        default:
            return u"Unspecified error";
    }
}

}  // namespace platform::com
