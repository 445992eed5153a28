#include "platform/com/variant.h"

#include <cmath>
#include <limits>
#include <utility>

#include "platform/com/dispatch.h"
#include "platform/text/text.h"

namespace platform::com {

namespace {

[[noreturn]] void mismatch() {
    raise(DISP_E_TYPEMISMATCH);
}
[[noreturn]] void overflow() {
    raise(DISP_E_OVERFLOW);
}

// Rounds half to even and checks the range of the integer target.
std::int64_t roundChecked(double v, double lo, double hi) {
    if (std::isnan(v)) overflow();
    double r = std::nearbyint(v);  // the default rounding mode rounds half to even
    if (r < lo || r > hi) overflow();
    return static_cast<std::int64_t>(r);
}

double dateFromText(const std::u16string& s) {
    // "yyyy-MM-dd[ HH:mm[:ss]]" or "yyyy/MM/dd..." ; other forms are a type mismatch.
    std::string u = text::toUtf8(s);
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0;
    char sep1 = 0, sep2 = 0;
    int n = std::sscanf(u.c_str(), " %d%c%d%c%d %d:%d:%d", &y, &sep1, &mo, &sep2, &d, &h, &mi, &se);
    if (n < 5 || sep1 != sep2 || (sep1 != '-' && sep1 != '/') || mo < 1 || mo > 12 || d < 1 ||
        d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 || se < 0 || se > 59)
        mismatch();
    // Days from 1899-12-30 by the civil-from-days algorithm.
    auto daysFromCivil = [](int yy, unsigned m, unsigned dd) {
        yy -= m <= 2;
        const int era = (yy >= 0 ? yy : yy - 399) / 400;
        const unsigned yoe = static_cast<unsigned>(yy - era * 400);
        const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + dd - 1;
        const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        return era * 146097 + static_cast<int>(doe) - 719468;
    };
    double days = daysFromCivil(y, mo, d) - daysFromCivil(1899, 12, 30);
    return days + (h * 3600 + mi * 60 + se) / 86400.0;
}

std::u16string textFromDate(double days) {
    double whole = std::floor(days);
    long secs = std::lround((days - whole) * 86400.0);
    // Days since 1970-01-01 (25569 days after the variant epoch), shifted to 0000-03-01.
    long z = static_cast<long>(whole) - 25569 + 719468;
    if (secs >= 86400) {
        secs -= 86400;
        ++z;
    }
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned long doe = static_cast<unsigned long>(z - era * 146097);
    const unsigned long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long y = static_cast<long>(yoe) + era * 400;
    const unsigned long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned long mp = (5 * doy + 2) / 153;
    const unsigned long d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned long m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
    char buf[96];
    std::snprintf(buf, sizeof buf, "%04ld-%02lu-%02lu %02ld:%02ld:%02ld", y, m, d, secs / 3600,
                  (secs / 60) % 60, secs % 60);
    return text::fromUtf8(buf);
}

// The value of an object read as a plain value: its default member (DISPID_VALUE).
Variant defaultValue(const std::shared_ptr<Unknown>& object) {
    auto d = object ? query<Dispatch>(object) : nullptr;
    if (!d) mismatch();
    return invoke(*d, DISPID_VALUE, DISPATCH_PROPERTYGET);
}

}  // namespace

Variant::Variant(std::shared_ptr<Unknown> object) {
    if (!object) {
        value_ = ObjectRef{nullptr, true};
        return;
    }
    bool isDispatch = object->QueryInterface(IID_IDispatch) != nullptr;
    value_ = ObjectRef{std::move(object), isDispatch};
}

Variant::Variant(std::shared_ptr<Dispatch> object)
    : value_(ObjectRef{std::static_pointer_cast<Unknown>(std::move(object)), true}) {}

VarType Variant::type() const {
    struct Visitor {
        VarType operator()(std::monostate) const { return VT_EMPTY; }
        VarType operator()(Null) const { return VT_NULL; }
        VarType operator()(bool) const { return VT_BOOL; }
        VarType operator()(std::int16_t) const { return VT_I2; }
        VarType operator()(std::int32_t) const { return VT_I4; }
        VarType operator()(std::uint8_t) const { return VT_UI1; }
        VarType operator()(double) const { return VT_R8; }
        VarType operator()(Currency) const { return VT_CY; }
        VarType operator()(Date) const { return VT_DATE; }
        VarType operator()(ErrorCode) const { return VT_ERROR; }
        VarType operator()(const std::u16string&) const { return VT_BSTR; }
        VarType operator()(const std::vector<std::uint8_t>&) const {
            return VarType(VT_ARRAY | VT_UI1);
        }
        VarType operator()(const std::shared_ptr<VariantArray>& a) const {
            return VarType(VT_ARRAY | a->elementType);
        }
        VarType operator()(const ObjectRef& o) const {
            return o.dispatch ? VT_DISPATCH : VT_UNKNOWN;
        }
    };
    return std::visit(Visitor{}, value_);
}

bool Variant::isMissing() const {
    auto e = std::get_if<ErrorCode>(&value_);
    return e && e->scode == DISP_E_PARAMNOTFOUND;
}

const std::u16string& Variant::text() const {
    if (auto p = std::get_if<std::u16string>(&value_)) return *p;
    mismatch();
}

const std::vector<std::uint8_t>& Variant::bytes() const {
    if (auto p = std::get_if<std::vector<std::uint8_t>>(&value_)) return *p;
    mismatch();
}

const VariantArray& Variant::array() const {
    if (auto p = std::get_if<std::shared_ptr<VariantArray>>(&value_)) return **p;
    mismatch();
}

std::shared_ptr<Unknown> Variant::object() const {
    if (auto p = std::get_if<ObjectRef>(&value_)) return p->object;
    mismatch();
}

std::shared_ptr<Dispatch> Variant::dispatch() const {
    auto p = std::get_if<ObjectRef>(&value_);
    if (!p || !p->object) return nullptr;
    return query<Dispatch>(p->object);
}

double Variant::toR8() const {
    return std::visit(
        [](const auto& v) -> double {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                return 0;
            else if constexpr (std::is_same_v<T, bool>)
                return v ? -1 : 0;
            else if constexpr (std::is_same_v<T, std::int16_t> || std::is_same_v<T, std::int32_t> ||
                               std::is_same_v<T, std::uint8_t> || std::is_same_v<T, double>)
                return v;
            else if constexpr (std::is_same_v<T, Currency>)
                return double(v.scaled) / 10000.0;
            else if constexpr (std::is_same_v<T, Date>)
                return v.days;
            else if constexpr (std::is_same_v<T, std::u16string>) {
                auto n = text::parseNumber(v);
                if (!n) mismatch();
                return *n;
            } else if constexpr (std::is_same_v<T, ObjectRef>) {
                return defaultValue(v.object).toR8();
            } else {
                mismatch();
            }
        },
        value_);
}

std::int16_t Variant::toI2() const {
    if (auto b = std::get_if<bool>(&value_)) return *b ? -1 : 0;
    return static_cast<std::int16_t>(roundChecked(toR8(), -32768.0, 32767.0));
}

std::int32_t Variant::toI4() const {
    if (auto b = std::get_if<bool>(&value_)) return *b ? -1 : 0;
    if (auto v = std::get_if<std::int32_t>(&value_)) return *v;
    return static_cast<std::int32_t>(roundChecked(toR8(), -2147483648.0, 2147483647.0));
}

std::uint8_t Variant::toUI1() const {
    if (auto b = std::get_if<bool>(&value_)) return *b ? 255 : 0;
    return static_cast<std::uint8_t>(roundChecked(toR8(), 0.0, 255.0));
}

bool Variant::toBool() const {
    if (auto b = std::get_if<bool>(&value_)) return *b;
    if (auto s = std::get_if<std::u16string>(&value_)) {
        if (text::equalsNoCase(text::Trim(*s), u"True")) return true;
        if (text::equalsNoCase(text::Trim(*s), u"False")) return false;
    }
    return toR8() != 0;
}

std::u16string Variant::toText(unsigned flags) && {
    if (auto s = std::get_if<std::u16string>(&value_)) return std::move(*s);
    return std::as_const(*this).toText(flags);
}

std::u16string Variant::toText(unsigned flags) const& {
    return std::visit(
        [flags](const auto& v) -> std::u16string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                return {};
            else if constexpr (std::is_same_v<T, bool>) {
                if (flags & AlphaBool) return v ? u"True" : u"False";
                return v ? u"-1" : u"0";
            } else if constexpr (std::is_same_v<T, std::int16_t> ||
                                 std::is_same_v<T, std::int32_t> ||
                                 std::is_same_v<T, std::uint8_t> || std::is_same_v<T, double>)
                return text::formatNumber(v);
            else if constexpr (std::is_same_v<T, Currency>)
                return text::formatNumber(double(v.scaled) / 10000.0);
            else if constexpr (std::is_same_v<T, Date>)
                return textFromDate(v.days);
            else if constexpr (std::is_same_v<T, std::u16string>)
                return v;
            else if constexpr (std::is_same_v<T, std::vector<std::uint8_t>>)
                // A byte array read as text holds its bytes in pairs (UTF-16LE).
                return text::fromUtf16leBytes(v);
            else if constexpr (std::is_same_v<T, ObjectRef>)
                return defaultValue(v.object).toText(flags);
            else
                mismatch();
        },
        value_);
}

std::vector<std::uint8_t> Variant::toBytes() && {
    if (auto b = std::get_if<std::vector<std::uint8_t>>(&value_)) return std::move(*b);
    return std::as_const(*this).toBytes();
}

std::vector<std::uint8_t> Variant::toBytes() const& {
    if (auto b = std::get_if<std::vector<std::uint8_t>>(&value_)) return *b;
    if (auto s = std::get_if<std::u16string>(&value_)) return text::toUtf16leBytes(*s);
    if (isEmpty()) return {};
    if (auto a = std::get_if<std::shared_ptr<VariantArray>>(&value_)) {
        std::vector<std::uint8_t> out;
        out.reserve((*a)->items.size());
        for (const auto& item : (*a)->items) out.push_back(item.toUI1());
        return out;
    }
    mismatch();
}

Variant Variant::changeType(VarType target, unsigned flags) const {
    if (target == VT_VARIANT || target == type()) return *this;
    if (isNull()) {
        if (target == VT_NULL) return *this;
        mismatch();
    }
    switch (target) {
        case VT_EMPTY:
            if (isEmpty()) return *this;
            mismatch();
        case VT_NULL:
            mismatch();
        case VT_I2:
            return Variant(toI2());
        case VT_I4:
            return Variant(toI4());
        case VT_UI1:
            return Variant(toUI1());
        case VT_R8:
            return Variant(toR8());
        case VT_BOOL:
            return Variant(toBool());
        case VT_CY: {
            double v = toR8() * 10000.0;
            if (!(std::fabs(v) < 9.2e18)) overflow();
            return Variant(Currency{static_cast<std::int64_t>(std::nearbyint(v))});
        }
        case VT_DATE:
            if (auto s = std::get_if<std::u16string>(&value_)) {
                if (auto n = text::parseNumber(*s)) return Variant(Date{*n});
                return Variant(Date{dateFromText(*s)});
            }
            return Variant(Date{toR8()});
        case VT_BSTR:
            return Variant(toText(flags));
        case VT_DISPATCH: {
            // Empty and Nothing both stay Nothing.
            if (isEmpty() || (isObject() && !object())) return Variant(std::shared_ptr<Dispatch>());
            auto d = dispatch();
            if (!d) mismatch();
            return Variant(d);
        }
        case VT_UNKNOWN:
            if (isEmpty()) return Variant(std::shared_ptr<Unknown>());
            return Variant(object());
        case VT_ERROR:
            mismatch();
        default:
            if (target == (VT_ARRAY | VT_UI1)) return Variant(toBytes());
            if (target & VT_ARRAY) {
                if (isArray()) {
                    VariantArray a = array();
                    VarType element = VarType(target & ~VT_ARRAY);
                    if (element != VT_VARIANT)
                        for (auto& item : a.items) item = item.changeType(element, flags);
                    a.elementType = element;
                    return Variant(std::move(a));
                }
                if (isBytes()) {
                    VariantArray a;
                    a.elementType = VarType(target & ~VT_ARRAY);
                    for (auto b : bytes()) a.items.push_back(Variant(b).changeType(a.elementType));
                    return Variant(std::move(a));
                }
            }
            raise(DISP_E_BADVARTYPE);
    }
}

bool Variant::sameAs(const Variant& other) const {
    if (type() != other.type()) return false;
    if (auto a = std::get_if<ObjectRef>(&value_))
        return identity(a->object) == identity(std::get<ObjectRef>(other.value_).object);
    if (auto a = std::get_if<std::shared_ptr<VariantArray>>(&value_)) {
        const auto& b = std::get<std::shared_ptr<VariantArray>>(other.value_);
        if (a->get()->lowerBound != b->lowerBound || a->get()->items.size() != b->items.size())
            return false;
        for (std::size_t i = 0; i < b->items.size(); ++i)
            if (!a->get()->items[i].sameAs(b->items[i])) return false;
        return true;
    }
    return value_ == other.value_;
}

Variant textArray(const std::vector<std::u16string>& items) {
    VariantArray a;
    a.elementType = VT_BSTR;
    for (const auto& s : items) a.items.emplace_back(s);
    return Variant(std::move(a));
}

}  // namespace platform::com
