// A small in-process server used only by the tests of the COM layer: registration, creation
// by ProgID through dlopen, calls by name and DISPID, by-reference arguments, an event, an
// error with its description, object safety and categories. Its member "Throw", the factory
// of ComTest.Faulty and its registration steps throw what a test asks for, to show that no
// exception leaves the library.
#include <new>
#include <stdexcept>

#include "platform/com/events.h"
#include "platform/com/safety.h"
#include "platform/com/server.h"

namespace {

using namespace platform::com;

constexpr Guid CLSID_Calculator = Guid::of("{3C1A7E52-9F0B-4D6E-8A21-5B7C9D0E1F23}");
constexpr Guid IID_ICalculator = Guid::of("{3C1A7E53-9F0B-4D6E-8A21-5B7C9D0E1F23}");
constexpr Guid DIID_CalculatorEvents = Guid::of("{3C1A7E54-9F0B-4D6E-8A21-5B7C9D0E1F23}");
constexpr Guid LIBID_ComTest = Guid::of("{3C1A7E55-9F0B-4D6E-8A21-5B7C9D0E1F23}");
constexpr Guid CLSID_Faulty = Guid::of("{3C1A7E56-9F0B-4D6E-8A21-5B7C9D0E1F23}");

// Throws the kind of exception named: "bad_alloc", "runtime_error" (saying `what`), or, for
// anything else, one that is no std::exception at all.
void throwFault(std::u16string_view kind, const char* what) {
    if (kind == u"bad_alloc") throw std::bad_alloc();
    if (kind == u"runtime_error") throw std::runtime_error(what);
    throw 42;
}

// A test sets the fault of a step as the value "HKCR\ComTest.Faults" named after the step.
void faultPoint(std::u16string_view step, const char* what) {
    auto kind = platform::registry::getString(platform::registry::Root::ClassesRoot,
                                              u"ComTest.Faults", step);
    if (kind) throwFault(*kind, what);
}

class Calculator : public DispatchImpl<Calculator, ConnectionPointContainer, ObjectSafety>,
                   public ObjectSafetyImpl {
  public:
    static const Members<Calculator>& members() {
        static const Members<Calculator> m =
            Members<Calculator>(u"ICalculator", IID_ICalculator)
                .method(1, u"Add", VT_I4, {{u"a", VT_I4}, {u"b", VT_I4}},
                        [](Calculator&, Call& c) { c.result = c.i4(0) + c.i4(1); })
                .method(2, u"Concat", VT_BSTR,
                        {{u"a", VT_BSTR}, {u"b", VT_BSTR, Presence::Optional}},
                        [](Calculator&, Call& c) {
                            c.result = c.text(0) + (c.present(1) ? c.text(1) : u"<none>");
                        })
                .method(3, u"Swap", VT_EMPTY, {{u"a", VT_VARIANT}, {u"b", VT_VARIANT}},
                        [](Calculator&, Call& c) { std::swap(c.ref(0), c.ref(1)); })
                .get(4, u"Name", VT_BSTR, [](Calculator& self, Call& c) { c.result = self.name_; })
                .put(4, u"Name", VT_BSTR, [](Calculator& self, Call& c) { self.name_ = c.text(0); })
                .method(5, u"Fail", VT_EMPTY, {},
                        [](Calculator&, Call&) {
                            raise(E_INVALIDARG, u"잘못된 값입니다", u"ComTest.Calculator");
                        })
                .method(6, u"Notify", VT_BOOL, {{u"value", VT_I4}},
                        [](Calculator& self, Call& c) {
                            // Changed(value, ByRef cancel): answers whether a listener cancelled.
                            std::vector<Variant> args{Variant(c.i4(0)), Variant(false)};
                            self.events_.fire(1, args);
                            c.result = args[1].toBool();
                        })
                .get(0, u"Value", VT_BSTR,
                     [](Calculator& self, Call& c) { c.result = u"calc:" + self.name_; })
                .method(7, u"Half", VT_I2, {{u"value", VT_I2}},
                        [](Calculator&, Call& c) { c.result = std::int16_t(c.i2(0) / 2); })
                .method(8, u"Throw", VT_EMPTY, {{u"kind", VT_BSTR}},
                        [](Calculator&, Call& c) { throwFault(c.text(0), "member broke"); });
        return m;
    }

    HRESULT Advise(const Guid& eventIid, std::shared_ptr<Dispatch> sink,
                   std::uint32_t& cookie) override {
        return events_.advise(eventIid, std::move(sink), cookie);
    }
    HRESULT Unadvise(std::uint32_t cookie) override { return events_.unadvise(cookie); }

  private:
    std::u16string name_ = u"calc";
    EventSource events_{DIID_CalculatorEvents};
};

Module& module() {
    static Module m(
        reinterpret_cast<const void*>(&module),
        {classEntry<Calculator>(CLSID_Calculator,
                                {.description = u"Calculator Class",
                                 .progId = u"ComTest.Calculator.1",
                                 .versionIndependentProgId = u"ComTest.Calculator",
                                 .categories = {CATID_SafeForScripting, CATID_SafeForInitializing},
                                 .control = true}),
         classEntry(CLSID_Faulty, {.description = u"Faulty Class", .progId = u"ComTest.Faulty"},
                    []() -> std::shared_ptr<Unknown> {
                        faultPoint(u"create", "factory broke");
                        return std::make_shared<Calculator>();
                    })},
        TypeLibInfo{LIBID_ComTest,
                    u"1.0",
                    u"ComTest 1.0 Type Library",
                    {{IID_ICalculator, u"ICalculator"}}});
    return m;
}

HRESULT registerWithFaults(Module& m) {
    faultPoint(u"register", "registration broke");
    return m.registerServer();
}

HRESULT unregisterWithFaults(Module& m) {
    faultPoint(u"unregister", "unregistration broke");
    return m.unregisterServer();
}

}  // namespace

TESSEL_COM_SERVER(module(), .registerServer = registerWithFaults,
                  .unregisterServer = unregisterWithFaults)
