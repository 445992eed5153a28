// Status codes of the COM layer, with the same 32-bit values as the platform they stand in for,
// since callers and peers compare them and print them.
#pragma once

#include <cstdint>

namespace platform::com {

using HRESULT = std::int32_t;

constexpr HRESULT hr(std::uint32_t value) {
    return static_cast<HRESULT>(value);
}

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOINTERFACE = hr(0x80004002);
constexpr HRESULT E_POINTER = hr(0x80004003);
constexpr HRESULT E_FAIL = hr(0x80004005);
constexpr HRESULT E_ACCESSDENIED = hr(0x80070005);
constexpr HRESULT E_OUTOFMEMORY = hr(0x8007000E);
constexpr HRESULT E_INVALIDARG = hr(0x80070057);

constexpr HRESULT DISP_E_MEMBERNOTFOUND = hr(0x80020003);
constexpr HRESULT DISP_E_PARAMNOTFOUND = hr(0x80020004);
constexpr HRESULT DISP_E_TYPEMISMATCH = hr(0x80020005);
constexpr HRESULT DISP_E_UNKNOWNNAME = hr(0x80020006);
constexpr HRESULT DISP_E_BADVARTYPE = hr(0x80020008);
constexpr HRESULT DISP_E_EXCEPTION = hr(0x80020009);
constexpr HRESULT DISP_E_OVERFLOW = hr(0x8002000A);
constexpr HRESULT DISP_E_BADPARAMCOUNT = hr(0x8002000E);
constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = hr(0x8002000F);

constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = hr(0x80040111);
constexpr HRESULT REGDB_E_CLASSNOTREG = hr(0x80040154);
constexpr HRESULT REGDB_E_WRITEREGDB = hr(0x80040151);
constexpr HRESULT SELFREG_E_CLASS = hr(0x80040201);
constexpr HRESULT CO_E_CLASSSTRING = hr(0x800401F3);
constexpr HRESULT CO_E_DLLNOTFOUND = hr(0x8004016F);
constexpr HRESULT CO_E_ERRORINDLL = hr(0x800401F9);
constexpr HRESULT CO_E_ELEVATION_DISABLED = hr(0x80080017);
constexpr HRESULT MK_E_SYNTAX = hr(0x800401E4);
constexpr HRESULT HRESULT_ERROR_CANCELLED = hr(0x800704C7);  // the user declined consent

constexpr bool SUCCEEDED(HRESULT h) {
    return h >= 0;
}
constexpr bool FAILED(HRESULT h) {
    return h < 0;
}

}  // namespace platform::com
