// The automation variant: the one value type that crosses a dispatch interface.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/com/hresult.h"

namespace platform::com {

class Unknown;
class Dispatch;

enum VarType : std::uint16_t {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_UI1 = 17,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
};

class Variant;

// A one-dimensional array of variants (VT_ARRAY | element type), as VB's arrays and the
// collections of the Parts hand them over. Byte arrays have their own representation.
struct VariantArray {
    VarType elementType = VT_VARIANT;
    std::int32_t lowerBound = 0;
    std::vector<Variant> items;
};

// Currency: a 64-bit integer scaled by 10,000.
struct Currency {
    std::int64_t scaled = 0;
    friend bool operator==(const Currency&, const Currency&) = default;
};

// Date: days since 1899-12-30, fraction = time of day.
struct Date {
    double days = 0;
    friend bool operator==(const Date&, const Date&) = default;
};

// Error variant (VT_ERROR): an optional argument left out carries DISP_E_PARAMNOTFOUND.
struct ErrorCode {
    HRESULT scode = DISP_E_PARAMNOTFOUND;
    friend bool operator==(const ErrorCode&, const ErrorCode&) = default;
};

struct Null {
    friend bool operator==(const Null&, const Null&) = default;
};

// Flags of changeType.
enum ChangeFlags : unsigned {
    ChangeDefault = 0,
    AlphaBool = 2,  // booleans become "True"/"False" instead of "-1"/"0"
};

class Variant {
  public:
    Variant() = default;
    Variant(Null) : value_(Null{}) {}
    Variant(bool b) : value_(b) {}
    Variant(std::int16_t v) : value_(v) {}
    Variant(std::int32_t v) : value_(v) {}
    Variant(std::uint8_t v) : value_(v) {}
    Variant(double v) : value_(v) {}
    Variant(Currency v) : value_(v) {}
    Variant(Date v) : value_(v) {}
    Variant(ErrorCode v) : value_(v) {}
    Variant(std::u16string v) : value_(std::move(v)) {}
    Variant(std::u16string_view v) : value_(std::u16string(v)) {}
    Variant(const char16_t* v) : value_(std::u16string(v)) {}
    Variant(const char*) = delete;  // would silently become a boolean
    Variant(std::vector<std::uint8_t> bytes) : value_(std::move(bytes)) {}
    Variant(VariantArray array) : value_(std::make_shared<VariantArray>(std::move(array))) {}
    // An object: VT_DISPATCH when it answers IDispatch, VT_UNKNOWN otherwise.
    Variant(std::shared_ptr<Unknown> object);
    Variant(std::shared_ptr<Dispatch> object);

    static Variant missing() { return Variant(ErrorCode{DISP_E_PARAMNOTFOUND}); }

    VarType type() const;
    bool isEmpty() const { return std::holds_alternative<std::monostate>(value_); }
    bool isNull() const { return std::holds_alternative<Null>(value_); }
    bool isMissing() const;
    bool isText() const { return std::holds_alternative<std::u16string>(value_); }
    bool isBytes() const { return std::holds_alternative<std::vector<std::uint8_t>>(value_); }
    bool isArray() const { return std::holds_alternative<std::shared_ptr<VariantArray>>(value_); }
    bool isObject() const { return std::holds_alternative<ObjectRef>(value_); }

    // Direct access; throws ComError(DISP_E_TYPEMISMATCH) when the variant holds another type.
    const std::u16string& text() const;
    const std::vector<std::uint8_t>& bytes() const;
    const VariantArray& array() const;
    std::shared_ptr<Unknown> object() const;
    // The object as IDispatch (nullptr when it has none or is not an object).
    std::shared_ptr<Dispatch> dispatch() const;

    // VB-style coercions (VariantChangeType). Throw ComError with DISP_E_TYPEMISMATCH or
    // DISP_E_OVERFLOW. Integer targets round half to even.
    Variant changeType(VarType target, unsigned flags = ChangeDefault) const;
    std::u16string toText(unsigned flags = AlphaBool) const&;
    // A variant about to go hands over the text or bytes it holds instead of copying them.
    std::u16string toText(unsigned flags = AlphaBool) &&;
    std::int16_t toI2() const;
    std::int32_t toI4() const;
    std::uint8_t toUI1() const;
    double toR8() const;
    bool toBool() const;
    std::vector<std::uint8_t> toBytes() const&;
    std::vector<std::uint8_t> toBytes() &&;

    // Holds the same type and value (objects: the same object).
    bool sameAs(const Variant& other) const;

  private:
    struct ObjectRef {
        std::shared_ptr<Unknown> object;
        bool dispatch = false;
        friend bool operator==(const ObjectRef&, const ObjectRef&) = default;
    };
    using Storage =
        std::variant<std::monostate, Null, bool, std::int16_t, std::int32_t, std::uint8_t, double,
                     Currency, Date, ErrorCode, std::u16string, std::vector<std::uint8_t>,
                     std::shared_ptr<VariantArray>, ObjectRef>;
    Storage value_;
};

// Builds an array variant of texts (VT_ARRAY | VT_BSTR) from a list, lower bound 0.
Variant textArray(const std::vector<std::u16string>& items);

}  // namespace platform::com
