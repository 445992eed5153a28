// Automation: invoking members of an object by dispatch identifier or by name.
//
// Arguments travel in their natural order (first argument first). For a property put the
// value is the last argument. Any argument may be written back into the argument vector by
// the callee, which is how by-reference parameters return their values.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/error.h"
#include "platform/com/unknown.h"
#include "platform/com/variant.h"

namespace platform::com {

using DispId = std::int32_t;
constexpr DispId DISPID_VALUE = 0;
constexpr DispId DISPID_UNKNOWN = -1;

enum InvokeKind : unsigned {
    DISPATCH_METHOD = 1,
    DISPATCH_PROPERTYGET = 2,
    DISPATCH_PROPERTYPUT = 4,
    DISPATCH_PROPERTYPUTREF = 8,
};

// Type information: a static table per interface.
// Rest: the last parameter takes every further argument, in order, as one array of variants
// (VT_ARRAY | VT_VARIANT, possibly empty), as a parameter array does.
enum class Presence : std::uint8_t { Required, Optional, Rest };

struct ParamInfo {
    std::u16string name;
    VarType type = VT_VARIANT;
    Presence presence = Presence::Required;
    bool optional() const { return presence != Presence::Required; }
};

struct MemberInfo {
    DispId id = DISPID_UNKNOWN;
    std::u16string name;
    unsigned kind = DISPATCH_METHOD;  // one InvokeKind
    VarType result = VT_EMPTY;        // VT_EMPTY: no result
    std::vector<ParamInfo> params;
    std::u16string help;
};

struct TypeInfo {
    std::u16string name;
    Guid iid;
    std::vector<MemberInfo> members;

    // The member with this identifier that accepts one of the kinds.
    const MemberInfo* find(DispId id, unsigned kinds) const;
    // The identifier of a member name, compared without regard to case.
    std::optional<DispId> idOf(std::u16string_view name) const;
};

class Dispatch : public virtual Unknown {
  public:
    static constexpr const Guid& iid() { return IID_IDispatch; }
    virtual HRESULT GetIDsOfNames(std::u16string_view name, DispId& id) = 0;
    // kinds: one or more InvokeKind bits (a method call may also be a property get, as
    // late-bound callers send it). result may be null when the caller wants none.
    virtual HRESULT Invoke(DispId id, unsigned kinds, std::vector<Variant>& args, Variant* result,
                           ExcepInfo* excep) = 0;
    // The object's type information, or nullptr when it has none.
    virtual const TypeInfo* GetTypeInfo() { return nullptr; }
};

// One call of a member, as a member body sees it: its arguments already coerced to the
// declared parameter types, missing optional arguments as Variant::missing().
class Call {
  public:
    Call(const MemberInfo& member, std::vector<Variant>& args) : member_(member), args_(args) {}

    const MemberInfo& member() const { return member_; }
    std::size_t count() const { return args_.size(); }
    bool present(std::size_t i) const { return i < args_.size() && !args_[i].isMissing(); }
    const Variant& arg(std::size_t i) const;
    // A by-reference argument, to read and to write back.
    Variant& ref(std::size_t i);

    std::u16string text(std::size_t i) const { return arg(i).toText(); }
    std::int32_t i4(std::size_t i) const { return arg(i).toI4(); }
    std::int16_t i2(std::size_t i) const { return arg(i).toI2(); }
    double r8(std::size_t i) const { return arg(i).toR8(); }
    bool boolean(std::size_t i) const { return arg(i).toBool(); }

    Variant result;

  private:
    const MemberInfo& member_;
    std::vector<Variant>& args_;
};

// The member table of a class: its type information and one body per member.
template <class T>
class Members {
  public:
    using Body = std::function<void(T&, Call&)>;

    Members(std::u16string interfaceName, Guid iid) {
        info_.name = std::move(interfaceName);
        info_.iid = iid;
    }

    Members&& method(DispId id, std::u16string name, VarType result, std::vector<ParamInfo> params,
                     Body body) && {
        add(id, std::move(name), DISPATCH_METHOD, result, std::move(params), std::move(body));
        return std::move(*this);
    }
    Members&& get(DispId id, std::u16string name, VarType type, Body body,
                  std::vector<ParamInfo> params = {}) && {
        add(id, std::move(name), DISPATCH_PROPERTYGET, type, std::move(params), std::move(body));
        return std::move(*this);
    }
    // A property put: the new value is the last argument, coerced to `type`.
    Members&& put(DispId id, std::u16string name, VarType type, Body body,
                  std::vector<ParamInfo> params = {}) && {
        params.push_back({u"value", type});
        add(id, std::move(name), DISPATCH_PROPERTYPUT, VT_EMPTY, std::move(params),
            std::move(body));
        return std::move(*this);
    }
    Members&& putRef(DispId id, std::u16string name, Body body) && {
        add(id, std::move(name), DISPATCH_PROPERTYPUTREF, VT_EMPTY, {{u"value", VT_DISPATCH}},
            std::move(body));
        return std::move(*this);
    }

    // The help string of the member added last.
    Members&& help(std::u16string text) && {
        if (!info_.members.empty()) info_.members.back().help = std::move(text);
        return std::move(*this);
    }

    const TypeInfo& info() const { return info_; }
    const Body& body(const MemberInfo& m) const {
        return bodies_[static_cast<std::size_t>(&m - info_.members.data())];
    }

  private:
    void add(DispId id, std::u16string name, unsigned kind, VarType result,
             std::vector<ParamInfo> params, Body body) {
        info_.members.push_back({id, std::move(name), kind, result, std::move(params), {}});
        bodies_.push_back(std::move(body));
    }
    TypeInfo info_;
    std::vector<Body> bodies_;
};

namespace detail {
// Checks the argument count, coerces arguments to their declared types and runs the body,
// turning exceptions into statuses. Shared by every DispatchImpl.
HRESULT invokeMember(const TypeInfo& info, DispId id, unsigned kinds, std::vector<Variant>& args,
                     Variant* result, ExcepInfo* excep,
                     const std::function<void(const MemberInfo&, Call&)>& run);
HRESULT idOfName(const TypeInfo& info, std::u16string_view name, DispId& id);
}  // namespace detail

// Dispatch implemented from a class's static member table. QueryInterface answers IUnknown,
// IDispatch, the class's own dispatch interface and the further interfaces listed after it:
//     class Crypt : public DispatchImpl<Crypt, ObjectSafety>, public ObjectSafetyImpl {
//         static const Members<Crypt>& members();   // built once
//     };
// Invoke and GetIDsOfNames let no exception out (see guardInvoke).
template <class T, class... Also>
class DispatchImpl : public Implements<Dispatch, Also...> {
  public:
    void* QueryInterface(const Guid& iid) override {
        if (const Members<T>* m = table(); m && iid == m->info().iid)
            return static_cast<Dispatch*>(this);
        return Implements<Dispatch, Also...>::QueryInterface(iid);
    }
    HRESULT GetIDsOfNames(std::u16string_view name, DispId& id) override {
        return guard(u"", [&] { return detail::idOfName(T::members().info(), name, id); });
    }
    HRESULT Invoke(DispId id, unsigned kinds, std::vector<Variant>& args, Variant* result,
                   ExcepInfo* excep) override {
        return guardInvoke(u"", excep, [&] {
            const Members<T>& m = T::members();
            return detail::invokeMember(m.info(), id, kinds, args, result, excep,
                                        [&](const MemberInfo& member, Call& call) {
                                            m.body(member)(static_cast<T&>(*this), call);
                                        });
        });
    }
    const TypeInfo* GetTypeInfo() override {
        const Members<T>* m = table();
        return m ? &m->info() : nullptr;
    }

  private:
    // The member table, built on first use; nullptr when building it failed.
    static const Members<T>* table() noexcept {
        try {
            return &T::members();
        } catch (...) {
            return nullptr;
        }
    }
};

// Caller side: late-bound calls that throw ComError on failure.
Variant invoke(Dispatch& object, DispId id, unsigned kinds, std::vector<Variant> args = {});
Variant invoke(Dispatch& object, std::u16string_view name, unsigned kinds,
               std::vector<Variant> args = {});
// As invoke, leaving by-reference results in `args`.
Variant invokeByRef(Dispatch& object, DispId id, unsigned kinds, std::vector<Variant>& args);
inline Variant call(Dispatch& object, std::u16string_view name, std::vector<Variant> args = {}) {
    return invoke(object, name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, std::move(args));
}
inline Variant get(Dispatch& object, std::u16string_view name, std::vector<Variant> args = {}) {
    return invoke(object, name, DISPATCH_PROPERTYGET, std::move(args));
}
inline void put(Dispatch& object, std::u16string_view name, Variant value) {
    invoke(object, name, DISPATCH_PROPERTYPUT, {std::move(value)});
}

}  // namespace platform::com
