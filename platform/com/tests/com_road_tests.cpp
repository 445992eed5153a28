// The whole COM road against the test server library: registration, creation by ProgID
// through dlopen, calls by name and by DISPID, by-reference arguments, events, errors,
// interface tables, object safety, categories, the elevation moniker, unloading and
// unregistration, and exceptions thrown inside the library that must not leave it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "platform/com/events.h"
#include "platform/com/runtime.h"
#include "platform/com/safety.h"
#include "platform/registry/registry.h"
#include "platform/system/storefile.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/text.h"

using namespace platform::com;
using platform::registry::Root;
namespace registry = platform::registry;

namespace {

constexpr Guid CLSID_Calculator = Guid::of("{3C1A7E52-9F0B-4D6E-8A21-5B7C9D0E1F23}");
constexpr Guid IID_ICalculator = Guid::of("{3C1A7E53-9F0B-4D6E-8A21-5B7C9D0E1F23}");
constexpr Guid DIID_CalculatorEvents = Guid::of("{3C1A7E54-9F0B-4D6E-8A21-5B7C9D0E1F23}");
constexpr Guid CLSID_Faulty = Guid::of("{3C1A7E56-9F0B-4D6E-8A21-5B7C9D0E1F23}");
const std::u16string kClassKey = u"CLSID\\{3C1A7E52-9F0B-4D6E-8A21-5B7C9D0E1F23}";

// Calls one of the library's registration exports the way a registration program does.
HRESULT callExport(const char* name) {
    void* lib = dlopen(COMTEST_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (!lib) return CO_E_DLLNOTFOUND;
    auto fn = reinterpret_cast<HRESULT (*)()>(dlsym(lib, name));
    HRESULT h = fn ? fn() : CO_E_ERRORINDLL;
    dlclose(lib);
    return h;
}

class ComRoad : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(callExport("DllRegisterServer"), S_OK); }
    void TearDown() override {
        setElevationConsent(nullptr);
        setElevationProvider(CLSID_Calculator, nullptr);
        CoFreeUnusedLibraries();
    }
    platform::testing::TempMachine machine;
};

}  // namespace

TEST_F(ComRoad, RegistrationWritesClassProgIdTypeLibAndCategoryKeys) {
    EXPECT_EQ(registry::getString(Root::ClassesRoot, kClassKey), u"Calculator Class");
    EXPECT_EQ(registry::getString(Root::ClassesRoot, kClassKey + u"\\InprocServer32"),
              platform::text::fromUtf8(std::filesystem::canonical(COMTEST_LIBRARY).string()));
    EXPECT_EQ(
        registry::getString(Root::ClassesRoot, kClassKey + u"\\InprocServer32", u"ThreadingModel"),
        u"Apartment");
    EXPECT_EQ(registry::getString(Root::ClassesRoot, kClassKey + u"\\ProgID"),
              u"ComTest.Calculator.1");
    EXPECT_EQ(registry::getString(Root::ClassesRoot, u"ComTest.Calculator\\CurVer"),
              u"ComTest.Calculator.1");
    EXPECT_TRUE(registry::keyExists(Root::ClassesRoot, kClassKey + u"\\Control"));
    EXPECT_TRUE(registry::keyExists(Root::ClassesRoot,
                                    kClassKey + u"\\Implemented Categories\\"
                                                u"{7DD95801-9882-11CF-9FA9-00AA006C42C4}"));
    EXPECT_EQ(registry::getString(Root::ClassesRoot,
                                  u"Interface\\{3C1A7E53-9F0B-4D6E-8A21-5B7C9D0E1F23}"),
              u"ICalculator");
}

TEST_F(ComRoad, ProgIdsResolveDirectlyAndThroughCurVer) {
    Guid clsid;
    EXPECT_EQ(CLSIDFromProgID(u"ComTest.Calculator.1", clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_Calculator);
    // A version-independent ProgID without its own CLSID entry follows CurVer.
    ASSERT_EQ(registry::deleteTree(Root::ClassesRoot, u"ComTest.Calculator\\CLSID"), registry::Ok);
    clsid = {};
    EXPECT_EQ(CLSIDFromProgID(u"comtest.calculator", clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_Calculator);
    EXPECT_EQ(CLSIDFromProgID(u"ComTest.Nothing", clsid), CO_E_CLASSSTRING);
    std::u16string progId;
    EXPECT_EQ(ProgIDFromCLSID(CLSID_Calculator, progId), S_OK);
    EXPECT_EQ(progId, u"ComTest.Calculator.1");
}

TEST_F(ComRoad, CallsMembersByNameAndDispIdWithCoercion) {
    auto calc = createObject(u"ComTest.Calculator");
    ASSERT_TRUE(calc);
    EXPECT_EQ(call(*calc, u"Add", {Variant(u"2"), Variant(3.0)}).toI4(), 5);
    EXPECT_EQ(invoke(*calc, 1, DISPATCH_METHOD, {Variant(40), Variant(2)}).toI4(), 42);
    EXPECT_EQ(call(*calc, u"concat", {Variant(u"a")}).text(), u"a<none>");
    EXPECT_EQ(call(*calc, u"Concat", {Variant(u"a"), Variant(7)}).text(), u"a7");
    put(*calc, u"Name", Variant(u"한글"));
    EXPECT_EQ(get(*calc, u"Name").text(), u"한글");
    // The default member answers when the object is read as a value.
    EXPECT_EQ(Variant(calc).toText(), u"calc:한글");
}

TEST_F(ComRoad, ReportsCallErrorsAsStatuses) {
    auto calc = createObject(u"ComTest.Calculator.1");
    std::vector<Variant> args{Variant(u"x"), Variant(1)};
    Variant result;
    EXPECT_EQ(calc->Invoke(1, DISPATCH_METHOD, args, &result, nullptr), DISP_E_TYPEMISMATCH);
    args = {Variant(1)};
    EXPECT_EQ(calc->Invoke(1, DISPATCH_METHOD, args, &result, nullptr), DISP_E_BADPARAMCOUNT);
    args = {Variant(1), Variant(2), Variant(3)};
    EXPECT_EQ(calc->Invoke(1, DISPATCH_METHOD, args, &result, nullptr), DISP_E_BADPARAMCOUNT);
    args = {Variant(40000)};
    EXPECT_EQ(calc->Invoke(7, DISPATCH_METHOD, args, &result, nullptr), DISP_E_OVERFLOW);
    args = {};
    EXPECT_EQ(calc->Invoke(99, DISPATCH_METHOD, args, &result, nullptr), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(calc->Invoke(4, DISPATCH_METHOD, args, &result, nullptr), DISP_E_MEMBERNOTFOUND)
        << "a property is not a method";
    DispId id;
    EXPECT_EQ(calc->GetIDsOfNames(u"Nothing", id), DISP_E_UNKNOWNNAME);

    ExcepInfo excep;
    EXPECT_EQ(calc->Invoke(5, DISPATCH_METHOD, args, &result, &excep), DISP_E_EXCEPTION);
    EXPECT_EQ(excep.scode, E_INVALIDARG);
    EXPECT_EQ(excep.description, u"잘못된 값입니다");
    EXPECT_EQ(excep.source, u"ComTest.Calculator");
    try {
        call(*calc, u"Fail");
        ADD_FAILURE();
    } catch (const ComError& e) {
        EXPECT_EQ(e.hr(), E_INVALIDARG);
        EXPECT_EQ(e.description(), u"잘못된 값입니다");
    }
}

TEST_F(ComRoad, ByReferenceArgumentsComeBack) {
    auto calc = createObject(u"ComTest.Calculator");
    std::vector<Variant> args{Variant(1), Variant(u"two")};
    invokeByRef(*calc, 3, DISPATCH_METHOD, args);
    EXPECT_EQ(args[0].text(), u"two");
    EXPECT_EQ(args[1].toI4(), 1);
}

TEST_F(ComRoad, EventsReachSinksByDispIdUntilUnadvised) {
    auto calc = createObject(u"ComTest.Calculator");
    auto container = query<ConnectionPointContainer>(calc);
    ASSERT_TRUE(container);
    std::vector<int> seen;
    auto sink = std::make_shared<SinkDispatch>();
    sink->on(1, [&](std::vector<Variant>& args) {
        seen.push_back(args[0].toI4());
        args[1] = Variant(args[0].toI4() > 10);  // cancel big values
    });
    std::uint32_t cookie = 0;
    ASSERT_EQ(container->Advise(Guid::of("{3C1A7E54-9F0B-4D6E-8A21-5B7C9D0E1F23}"), sink, cookie),
              S_OK);
    EXPECT_FALSE(call(*calc, u"Notify", {Variant(5)}).toBool());
    EXPECT_TRUE(call(*calc, u"Notify", {Variant(50)}).toBool());
    EXPECT_EQ(container->Unadvise(cookie), S_OK);
    EXPECT_FALSE(call(*calc, u"Notify", {Variant(70)}).toBool());
    EXPECT_EQ(seen, (std::vector<int>{5, 50}));
    EXPECT_EQ(container->Advise(Guid::of("{00000000-0000-0000-0000-0000000000AA}"), sink, cookie),
              E_NOINTERFACE);
}

TEST_F(ComRoad, ObjectSafetyKeepsEnabledOptionsPerInterface) {
    auto calc = createObject(u"ComTest.Calculator");
    auto safety = query<ObjectSafety>(calc);
    ASSERT_TRUE(safety);
    std::uint32_t supported = 0, enabled = 0;
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(&IID_IDispatch, &supported, &enabled), S_OK);
    EXPECT_EQ(supported, INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA);
    EXPECT_EQ(enabled, 0u);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(&IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER,
                                                INTERFACESAFE_FOR_UNTRUSTED_CALLER),
              S_OK);
    safety->GetInterfaceSafetyOptions(&IID_IDispatch, &supported, &enabled);
    EXPECT_EQ(enabled, INTERFACESAFE_FOR_UNTRUSTED_CALLER);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(&IID_IDispatch, 4, 4), E_FAIL);
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(&IID_IClassFactory, &supported, &enabled),
              E_NOINTERFACE);
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(&IID_IDispatch, nullptr, &enabled), E_POINTER);
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(nullptr, &supported, &enabled), E_POINTER);
}

TEST_F(ComRoad, LibraryUnloadsOnlyWhenNoObjectLives) {
    auto calc = createObject(u"ComTest.Calculator");
    CoFreeUnusedLibraries();
    EXPECT_EQ(loadedLibraries().size(), 1u);
    calc.reset();
    CoFreeUnusedLibraries();
    EXPECT_TRUE(loadedLibraries().empty());
}

TEST_F(ComRoad, ElevationMonikerNeedsTheElevationKeyAndConsent) {
    const std::u16string name = u"Elevation:Administrator!new:" + CLSID_Calculator.str();
    std::shared_ptr<Unknown> object;
    EXPECT_EQ(CoGetObject(name, CLSCTX_LOCAL_SERVER, IID_IDispatch, object),
              CO_E_ELEVATION_DISABLED);
    ASSERT_EQ(registry::setValue(Root::ClassesRoot, kClassKey + u"\\Elevation", u"Enabled",
                                 std::uint32_t(1)),
              registry::Ok);
    setElevationConsent([](const Guid&) { return false; });
    EXPECT_EQ(CoGetObject(name, CLSCTX_LOCAL_SERVER, IID_IDispatch, object),
              HRESULT_ERROR_CANCELLED);
    setElevationConsent([](const Guid&) { return true; });
    EXPECT_EQ(CoGetObject(name, CLSCTX_LOCAL_SERVER, IID_IDispatch, object), S_OK);
    EXPECT_TRUE(object);
    EXPECT_EQ(CoGetObject(u"Elevation:Nobody!new:" + CLSID_Calculator.str(), CLSCTX_LOCAL_SERVER,
                          IID_IDispatch, object),
              MK_E_SYNTAX);
}

TEST_F(ComRoad, ElevationProviderMakesTheObjectOfItsClass) {
    const std::u16string name = u"Elevation:Administrator!new:" + CLSID_Calculator.str();
    ASSERT_EQ(registry::setValue(Root::ClassesRoot, kClassKey + u"\\Elevation", u"Enabled",
                                 std::uint32_t(1)),
              registry::Ok);
    auto stand = std::make_shared<SimpleClassFactory>(nullptr);  // any object will do
    int asked = 0;
    HRESULT answer = S_OK;
    setElevationProvider(CLSID_Calculator,
                         [&](const Guid& clsid, const Guid&, std::shared_ptr<Unknown>& out) {
                             ++asked;
                             EXPECT_EQ(clsid, CLSID_Calculator);
                             out = stand;
                             return answer;
                         });
    EXPECT_TRUE(hasElevationProvider(CLSID_Calculator));
    std::shared_ptr<Unknown> object;
    EXPECT_EQ(CoGetObject(name, CLSCTX_LOCAL_SERVER, IID_IDispatch, object), S_OK);
    EXPECT_EQ(object, stand);
    // A failing provider leaves no object, whatever it put out.
    answer = HRESULT_ERROR_CANCELLED;
    EXPECT_EQ(CoGetObject(name, CLSCTX_LOCAL_SERVER, IID_IDispatch, object),
              HRESULT_ERROR_CANCELLED);
    EXPECT_EQ(object, nullptr);
    // The consent policy still decides first.
    setElevationConsent([](const Guid&) { return false; });
    EXPECT_EQ(CoGetObject(name, CLSCTX_LOCAL_SERVER, IID_IDispatch, object),
              HRESULT_ERROR_CANCELLED);
    EXPECT_EQ(asked, 2);
    setElevationConsent(nullptr);
    // Without a provider the object is made in this process again.
    setElevationProvider(CLSID_Calculator, nullptr);
    EXPECT_FALSE(hasElevationProvider(CLSID_Calculator));
    EXPECT_EQ(CoGetObject(name, CLSCTX_LOCAL_SERVER, IID_IDispatch, object), S_OK);
    EXPECT_TRUE(query<Dispatch>(object));
    EXPECT_EQ(asked, 2);
}

TEST_F(ComRoad, CategoryManagerRegistersCategories) {
    std::shared_ptr<CatRegister> catreg;
    ASSERT_EQ(CoCreateInstance(CLSID_StdComponentCategoriesMgr, catreg), S_OK);
    ASSERT_EQ(catreg->RegisterCategories(
                  {{CATID_SafeForScripting, 1033, u"Controls that are safely scriptable"}}),
              S_OK);
    EXPECT_EQ(registry::getString(Root::ClassesRoot,
                                  u"Component Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}",
                                  u"409"),
              u"Controls that are safely scriptable");
}

TEST_F(ComRoad, CreationFailuresAndUnregisteredClasses) {
    std::shared_ptr<Dispatch> object;
    setCreationFailure(CLSID_Calculator, E_ACCESSDENIED);
    EXPECT_EQ(CoCreateInstance(CLSID_Calculator, object), E_ACCESSDENIED);
    setCreationFailure(CLSID_Calculator, S_OK);
    EXPECT_EQ(CoCreateInstance(CLSID_Calculator, object), S_OK);
    EXPECT_EQ(CoCreateInstance(Guid::of("{00000000-0000-0000-0000-0000000000AB}"), object),
              REGDB_E_CLASSNOTREG);
    EXPECT_THROW(createObject(u"No.Such.Class"), ComError);
}

TEST_F(ComRoad, UnregistrationRemovesClassKeysButKeepsCategories) {
    std::shared_ptr<CatRegister> catreg;
    ASSERT_EQ(CoCreateInstance(CLSID_StdComponentCategoriesMgr, catreg), S_OK);
    catreg->RegisterCategories(
        {{CATID_SafeForScripting, 1033, u"Controls that are safely scriptable"}});
    ASSERT_EQ(callExport("DllUnregisterServer"), S_OK);
    EXPECT_FALSE(registry::keyExists(Root::ClassesRoot, kClassKey));
    EXPECT_FALSE(registry::keyExists(Root::ClassesRoot, u"ComTest.Calculator"));
    EXPECT_FALSE(registry::keyExists(Root::ClassesRoot, u"ComTest.Calculator.1"));
    EXPECT_TRUE(registry::keyExists(
        Root::ClassesRoot, u"Component Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}"));
    EXPECT_THROW(createObject(u"ComTest.Calculator"), ComError);
    // The type library's key goes with its only version, but stays for another version.
    const std::u16string lib = u"TypeLib\\{3C1A7E55-9F0B-4D6E-8A21-5B7C9D0E1F23}";
    EXPECT_FALSE(registry::keyExists(Root::ClassesRoot, lib));
    ASSERT_EQ(callExport("DllRegisterServer"), S_OK);
    ASSERT_EQ(
        registry::setValue(Root::ClassesRoot, lib + u"\\2.0", u"", std::u16string(u"ComTest 2.0")),
        registry::Ok);
    ASSERT_EQ(callExport("DllUnregisterServer"), S_OK);
    EXPECT_EQ(registry::subkeys(Root::ClassesRoot, lib), std::vector<std::u16string>{u"2.0"});
}

// A library's registration is one change of the registry: its classes never appear without
// their categories, to a reader or after a crash.
TEST_F(ComRoad, RegistrationAndUnregistrationAreOneWriteEach) {
    for (const char* entry : {"DllUnregisterServer", "DllRegisterServer"}) {
        int writes = 0;
        platform::system::setStoreWriteFault([&](const std::filesystem::path&) {
            ++writes;
            return 0;
        });
        EXPECT_EQ(callExport(entry), S_OK);
        platform::system::setStoreWriteFault(nullptr);
        EXPECT_EQ(writes, 1) << entry;
    }
    // A second write, had there been one, fails: the registration must still be whole.
    ASSERT_EQ(callExport("DllUnregisterServer"), S_OK);
    int writes = 0;
    platform::system::setStoreWriteFault(
        [&](const std::filesystem::path&) { return ++writes > 1 ? ENOSPC : 0; });
    EXPECT_EQ(callExport("DllRegisterServer"), S_OK);
    platform::system::setStoreWriteFault(nullptr);
    EXPECT_TRUE(registry::keyExists(Root::ClassesRoot,
                                    kClassKey + u"\\Implemented Categories\\"
                                                u"{7DD95801-9882-11CF-9FA9-00AA006C42C4}"));
}

TEST_F(ComRoad, ObjectsAnswerEveryInterfaceOfTheirTableAndNoOther) {
    std::shared_ptr<Unknown> calc;
    ASSERT_EQ(CoCreateInstance(CLSID_Calculator, CLSCTX_INPROC_SERVER, IID_IUnknown, calc), S_OK);
    for (const Guid& iid : {IID_IUnknown, IID_IDispatch, IID_ICalculator,
                            IID_IConnectionPointContainer, IID_IObjectSafety}) {
        SCOPED_TRACE(iid.utf8());
        EXPECT_NE(calc->QueryInterface(iid), nullptr);
        std::shared_ptr<Unknown> object;
        EXPECT_EQ(CoCreateInstance(CLSID_Calculator, CLSCTX_INPROC_SERVER, iid, object), S_OK);
    }
    for (const Guid& iid : {IID_IClassFactory, IID_ICatRegister, DIID_CalculatorEvents,
                            Guid::of("{00000000-0000-0000-0000-0000000000AC}")}) {
        SCOPED_TRACE(iid.utf8());
        EXPECT_EQ(calc->QueryInterface(iid), nullptr);
        std::shared_ptr<Unknown> object;
        EXPECT_EQ(CoCreateInstance(CLSID_Calculator, CLSCTX_INPROC_SERVER, iid, object),
                  E_NOINTERFACE);
        EXPECT_FALSE(object);
    }
    // Every interface leads back to the one identity, and from one interface to another.
    auto safety = query<ObjectSafety>(calc);
    auto events = query<ConnectionPointContainer>(safety);
    auto dispatch = query<Dispatch>(events);
    ASSERT_TRUE(safety && events && dispatch);
    EXPECT_EQ(identity(safety).get(), identity(calc).get());
    EXPECT_EQ(identity(events).get(), identity(calc).get());
    EXPECT_EQ(identity(dispatch).get(), identity(calc).get());

    std::shared_ptr<ClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(CLSID_Calculator, CLSCTX_INPROC_SERVER, factory), S_OK);
    EXPECT_NE(factory->QueryInterface(IID_IUnknown), nullptr);
    EXPECT_NE(factory->QueryInterface(IID_IClassFactory), nullptr);
    EXPECT_EQ(factory->QueryInterface(IID_IDispatch), nullptr);
}

namespace {

// What an exception thrown inside the library comes back as.
struct Thrown {
    const char16_t* kind;  // what the library throws (see comtest_server.cpp)
    HRESULT status;
    const char16_t* description;  // nullptr: the step's own message
};

const Thrown kThrown[] = {
    {u"bad_alloc", E_OUTOFMEMORY, u"Out of memory"},
    {u"runtime_error", E_FAIL, nullptr},
    {u"something else", E_FAIL, u"An exception of an unknown kind"},
};

void setFault(std::u16string_view step, std::u16string_view kind) {
    ASSERT_EQ(registry::setValue(Root::ClassesRoot, u"ComTest.Faults", step, std::u16string(kind)),
              registry::Ok);
}

}  // namespace

TEST_F(ComRoad, ExceptionsInsideTheLibraryComeBackAsStatusesWithDescriptions) {
    auto calc = createObject(u"ComTest.Calculator");
    for (const Thrown& t : kThrown) {
        SCOPED_TRACE(platform::text::toUtf8(t.kind));
        auto described = [&](const char16_t* own) {
            return std::u16string(t.description ? t.description : own);
        };
        // A member.
        std::vector<Variant> args{Variant(t.kind)};
        ExcepInfo excep;
        EXPECT_EQ(calc->Invoke(8, DISPATCH_METHOD, args, nullptr, &excep), DISP_E_EXCEPTION);
        EXPECT_EQ(excep.scode, t.status);
        EXPECT_EQ(excep.description, described(u"member broke"));
        EXPECT_EQ(excep.source, u"ICalculator");

        // The class factory, through CoCreateInstance and through createObject.
        setFault(u"create", t.kind);
        std::shared_ptr<Dispatch> object;
        takeErrorInfo();
        EXPECT_EQ(CoCreateInstance(CLSID_Faulty, object), t.status);
        EXPECT_FALSE(object);
        auto info = takeErrorInfo();
        ASSERT_TRUE(info);
        EXPECT_EQ(info->description, described(u"factory broke"));
        EXPECT_EQ(info->source, u"ComTest.Faulty");
        try {
            createObject(u"ComTest.Faulty");
            ADD_FAILURE() << "created";
        } catch (const ComError& e) {
            EXPECT_EQ(e.hr(), t.status);
            EXPECT_EQ(e.description(), described(u"factory broke"));
        }

        // The registration steps, called as a registration program calls them.
        setFault(u"register", t.kind);
        EXPECT_EQ(callExport("DllRegisterServer"), t.status);
        info = takeErrorInfo();
        ASSERT_TRUE(info);
        EXPECT_EQ(info->description, described(u"registration broke"));
        EXPECT_EQ(info->source, u"DllRegisterServer");
        setFault(u"unregister", t.kind);
        EXPECT_EQ(callExport("DllUnregisterServer"), t.status);
        info = takeErrorInfo();
        ASSERT_TRUE(info);
        EXPECT_EQ(info->description, described(u"unregistration broke"));
        ASSERT_EQ(registry::deleteTree(Root::ClassesRoot, u"ComTest.Faults"), registry::Ok);
    }
    // The library keeps working after all of it.
    EXPECT_EQ(call(*calc, u"Add", {Variant(2), Variant(3)}).toI4(), 5);
    EXPECT_TRUE(createObject(u"ComTest.Faulty"));
    EXPECT_EQ(callExport("DllRegisterServer"), S_OK);
}

namespace {

// A sink of another component that lets its exceptions out of Invoke.
class UnguardedSink : public Implements<Dispatch> {
  public:
    HRESULT GetIDsOfNames(std::u16string_view, DispId&) override { return DISP_E_UNKNOWNNAME; }
    HRESULT Invoke(DispId, unsigned, std::vector<Variant>&, Variant*, ExcepInfo*) override {
        throw std::runtime_error("sink broke");
    }
};

}  // namespace

TEST_F(ComRoad, ThrowingEventSinksStopNeitherTheOtherSinksNorTheSource) {
    auto calc = createObject(u"ComTest.Calculator");
    auto container = query<ConnectionPointContainer>(calc);
    ASSERT_TRUE(container);
    auto throwing = std::make_shared<SinkDispatch>();
    throwing->on(1, [](std::vector<Variant>&) { throw std::bad_alloc(); });
    std::vector<int> seen;
    auto listening = std::make_shared<SinkDispatch>();
    listening->on(1, [&](std::vector<Variant>& args) {
        seen.push_back(args[0].toI4());
        args[1] = Variant(true);
    });
    std::uint32_t cookie = 0;
    ASSERT_EQ(container->Advise(DIID_CalculatorEvents, std::make_shared<UnguardedSink>(), cookie),
              S_OK);
    ASSERT_EQ(container->Advise(DIID_CalculatorEvents, throwing, cookie), S_OK);
    ASSERT_EQ(container->Advise(DIID_CalculatorEvents, listening, cookie), S_OK);
    EXPECT_TRUE(call(*calc, u"Notify", {Variant(5)}).toBool());
    EXPECT_EQ(seen, std::vector<int>{5});

    // A sink's own handler that throws is reported by its Invoke, not thrown.
    std::vector<Variant> args{Variant(1), Variant(false)};
    ExcepInfo excep;
    EXPECT_EQ(throwing->Invoke(1, DISPATCH_METHOD, args, nullptr, &excep), DISP_E_EXCEPTION);
    EXPECT_EQ(excep.scode, E_OUTOFMEMORY);
}
