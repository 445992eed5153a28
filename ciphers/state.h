// Module data of the library, one copy per thread (apartment), shared by all its objects on
// that thread.
#pragma once

#include <memory>
#include <string>

#include "platform/com/apartment.h"
#include "platform/com/dispatch.h"

namespace ciphra {

// Turns on the debug dumps when the debug switch equals it.
inline constexpr std::u16string_view kDebugCode = u"7241";

struct HeadedState {
    std::u16string algorithm = u"SEED";
    std::u16string mode = u"ECB";
    std::u16string encoding = u"Hex";
    std::u16string hashName = u"MD5";
    std::u16string dataHash;
    std::u16string timeStamp;
    std::shared_ptr<platform::com::Dispatch> native;  // the native library's Crypt
    std::u16string errorText;
    int errorFlag = 0;
    bool objectCreated = false;  // the headed-format object of encodeSealwyn/decodeSealwyn
    int algorithmSetting = 0;    // 1 SEED, 2 ARIA
    int keyLength = 0;           // the ARIA key length
};

struct CiphraState {
    std::u16string charset;
    std::u16string debug;
    std::u16string lastMessageKey;
    HeadedState headed;
};

inline CiphraState& state() {
    return platform::com::ApartmentState<CiphraState>::get();
}
inline void resetState() {
    platform::com::ApartmentState<CiphraState>::reset();
}

}  // namespace ciphra
