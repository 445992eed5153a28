#include "platform/com/dispatch.h"

#include "platform/text/text.h"

namespace platform::com {

const MemberInfo* TypeInfo::find(DispId id, unsigned kinds) const {
    for (const auto& m : members)
        if (m.id == id && (m.kind & kinds)) return &m;
    return nullptr;
}

std::optional<DispId> TypeInfo::idOf(std::u16string_view name) const {
    for (const auto& m : members)
        if (text::equalsNoCase(m.name, name)) return m.id;
    return std::nullopt;
}

const Variant& Call::arg(std::size_t i) const {
    if (i >= args_.size()) raise(DISP_E_PARAMNOTFOUND);
    return args_[i];
}

Variant& Call::ref(std::size_t i) {
    if (i >= args_.size()) raise(DISP_E_PARAMNOTFOUND);
    return args_[i];
}

namespace detail {

HRESULT idOfName(const TypeInfo& info, std::u16string_view name, DispId& id) {
    auto found = info.idOf(name);
    if (!found) {
        id = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    id = *found;
    return S_OK;
}

HRESULT invokeMember(const TypeInfo& info, DispId id, unsigned kinds, std::vector<Variant>& args,
                     Variant* result, ExcepInfo* excep,
                     const std::function<void(const MemberInfo&, Call&)>& run) {
    const MemberInfo* member = info.find(id, kinds);
    if (!member) return DISP_E_MEMBERNOTFOUND;
    const auto& params = member->params;
    const bool rest = !params.empty() && params.back().presence == Presence::Rest;
    std::size_t fixed = params.size();
    VariantArray restArgs;
    if (rest) {
        --fixed;
        for (std::size_t i = fixed; i < args.size(); ++i) restArgs.items.push_back(args[i]);
        if (args.size() > fixed) args.resize(fixed);
    }
    if (args.size() > fixed) return DISP_E_BADPARAMCOUNT;
    for (std::size_t i = 0; i < fixed; ++i) {
        if (i >= args.size()) {
            if (!params[i].optional()) return DISP_E_BADPARAMCOUNT;
            args.push_back(Variant::missing());
            continue;
        }
        if (args[i].isMissing()) {
            if (!params[i].optional()) return DISP_E_PARAMNOTOPTIONAL;
            continue;
        }
        // An argument of the declared type is taken as it is, without a copy.
        if (params[i].type == VT_VARIANT || args[i].type() == params[i].type) continue;
        try {
            args[i] = args[i].changeType(params[i].type, AlphaBool);
        } catch (const ComError& e) {
            return e.hr();
        }
    }
    if (rest) args.emplace_back(std::move(restArgs));
    Call call(*member, args);
    const HRESULT status = guardInvoke(info.name, excep, [&] {
        run(*member, call);
        return S_OK;
    });
    if (status == S_OK && result) *result = std::move(call.result);
    return status;
}

}  // namespace detail

namespace {
Variant invokeChecked(Dispatch& object, DispId id, unsigned kinds, std::vector<Variant>& args) {
    Variant result;
    ExcepInfo excep;
    HRESULT h = object.Invoke(id, kinds, args, &result, &excep);
    if (h == DISP_E_EXCEPTION)
        raise(excep.scode ? excep.scode : E_FAIL, excep.description, excep.source);
    if (FAILED(h)) raise(h);
    return result;
}
}  // namespace

Variant invoke(Dispatch& object, DispId id, unsigned kinds, std::vector<Variant> args) {
    return invokeChecked(object, id, kinds, args);
}

Variant invoke(Dispatch& object, std::u16string_view name, unsigned kinds,
               std::vector<Variant> args) {
    DispId id = DISPID_UNKNOWN;
    HRESULT h = object.GetIDsOfNames(name, id);
    if (FAILED(h)) raise(h, u"Unknown name: " + std::u16string(name));
    return invokeChecked(object, id, kinds, args);
}

Variant invokeByRef(Dispatch& object, DispId id, unsigned kinds, std::vector<Variant>& args) {
    return invokeChecked(object, id, kinds, args);
}

}  // namespace platform::com
