#include "platform/com/control.h"

#include "platform/com/error.h"

namespace platform::com {

HRESULT MemoryPropertyBag::Read(const std::u16string& name, Variant& value) {
    for (const auto& [key, stored] : values_) {
        if (key == name) {
            value = stored;
            return S_OK;
        }
    }
    return E_INVALIDARG;
}

HRESULT MemoryPropertyBag::Write(const std::u16string& name, const Variant& value) {
    return guard(u"", [&] {
        for (auto& [key, stored] : values_) {
            if (key == name) {
                stored = value;
                return;
            }
        }
        values_.emplace_back(name, value);
    });
}

}  // namespace platform::com
