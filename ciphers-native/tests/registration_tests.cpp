// The registration helpers in process: the OS test, elevated creation through the moniker,
// the category functions with their message boxes, and the library's entry points.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "ciphers-native/crypt.h"
#include "platform/registry/registry.h"
#include "platform/selfreg/selfreg.h"
#include "platform/system/version.h"
#include "platform/testing/temp_machine.h"
#include "platform/ui/messagebox.h"

namespace com = platform::com;
namespace reg = platform::selfreg;
namespace registry = platform::registry;
using platform::system::OsVersion;
using registry::Root;

namespace {

constexpr com::Guid CATID_Test = com::Guid::of("{0E4A7C31-5D2B-4F60-9A1E-3B8C7D6E5F40}");
constexpr com::Guid CLSID_Test = com::Guid::of("{0E4A7C32-5D2B-4F60-9A1E-3B8C7D6E5F40}");

using Entry = com::HRESULT (*)();

class Registration : public ::testing::Test {
  protected:
    void SetUp() override {
        boxes = std::make_shared<platform::ui::HeadlessMessageBoxes>(false);
        platform::ui::setMessageBoxes(boxes);
        com::setElevationConsent({});
        platform::system::resetOsVersion();
    }
    void TearDown() override {
        platform::ui::setMessageBoxes(nullptr);
        com::setElevationConsent({});
        com::setCreationFailure(com::CLSID_StdComponentCategoriesMgr, com::S_OK);
        platform::system::resetOsVersion();
    }

    std::vector<std::u16string> messages() const {
        std::vector<std::u16string> out;
        for (const auto& b : boxes->shown()) out.push_back(b.text);
        return out;
    }

    static Entry entry(const char* name) {
        void* handle = dlopen(SEALWYN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        return handle ? reinterpret_cast<Entry>(dlsym(handle, name)) : nullptr;
    }

    // Counts elevated creations, and refuses them when told to.
    void consent(bool agree) {
        com::setElevationConsent([this, agree](const com::Guid& clsid) {
            elevated.push_back(clsid);
            return agree;
        });
    }

    platform::testing::TempMachine machine;
    std::shared_ptr<platform::ui::HeadlessMessageBoxes> boxes;
    std::vector<com::Guid> elevated;
};

}  // namespace

TEST_F(Registration, NeedsElevationFollowsTheOsVersion) {
    const struct {
        std::optional<OsVersion> version;
        bool needs;
    } cases[] = {
        {OsVersion{10, 0, 19045, 2, u""}, true},
        {OsVersion{6, 0, 6000, 2, u""}, true},
        {OsVersion{5, 2, 3790, 2, u""}, false},
        {OsVersion{5, 1, 2600, 2, u"Service Pack 3"}, false},
        {OsVersion{6, 1, 7601, 1, u""}, false},  // not an NT platform
        {std::nullopt, false},                   // the query fails
    };
    for (const auto& c : cases) {
        platform::system::overrideOsVersion(c.version);
        EXPECT_EQ(reg::NeedsElevation(), c.needs);
    }
}

TEST_F(Registration, CategoryManagerIsElevatedOnlyFromNt6) {
    consent(true);
    platform::system::overrideOsVersion(OsVersion{10, 0, 19045, 2, u""});
    EXPECT_EQ(reg::CreateComponentCategory(CATID_Test, u"Test category"), com::S_OK);
    ASSERT_EQ(elevated.size(), 1u);
    EXPECT_EQ(elevated[0], com::CLSID_StdComponentCategoriesMgr);

    platform::system::overrideOsVersion(OsVersion{5, 1, 2600, 2, u""});
    consent(false);  // would refuse, but no moniker is used
    elevated.clear();
    EXPECT_EQ(reg::RegisterCLSIDInCategory(CLSID_Test, CATID_Test), com::S_OK);
    EXPECT_TRUE(elevated.empty());
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(registry::getString(Root::ClassesRoot, u"Component Categories\\" + CATID_Test.str(),
                                  u"409"),
              u"Test category");
    EXPECT_TRUE(registry::keyExists(
        Root::ClassesRoot,
        u"CLSID\\" + CLSID_Test.str() + u"\\Implemented Categories\\" + CATID_Test.str()));
}

TEST_F(Registration, LongDescriptionIsCutTo127Characters) {
    std::u16string description;
    for (int i = 0; i < 200; ++i) description += static_cast<char16_t>(u'a' + i % 26);
    EXPECT_EQ(reg::CreateComponentCategory(CATID_Test, description), com::S_OK);
    EXPECT_EQ(registry::getString(Root::ClassesRoot, u"Component Categories\\" + CATID_Test.str(),
                                  u"409"),
              description.substr(0, 127));
    EXPECT_TRUE(messages().empty());
}

TEST_F(Registration, FailuresShowTheirMessages) {
    consent(false);
    EXPECT_EQ(reg::CreateComponentCategory(CATID_Test, u"x"), com::HRESULT_ERROR_CANCELLED);
    EXPECT_EQ(messages(),
              std::vector<std::u16string>{u"Fail to CreateComponentCategory::CoCreateInstance"});
    boxes->clear();
    // A failed creation in RegisterCLSIDInCategory shows both of its messages.
    EXPECT_EQ(reg::RegisterCLSIDInCategory(CLSID_Test, CATID_Test), com::HRESULT_ERROR_CANCELLED);
    EXPECT_EQ(messages(),
              (std::vector<std::u16string>{u"Fail to RegisterCLSIDInCategory::CoCreateInstance",
                                           u"Fail to RegisterCLSIDInCategory:: pcr is NULL"}));
    for (const auto& b : boxes->shown()) EXPECT_EQ(b.style, platform::ui::vbOKOnly);
}

TEST_F(Registration, ElevatedCreationNeedsTheElevationKeyAndConsent) {
    std::shared_ptr<com::Unknown> object;
    // Not registered for elevation: refused before any prompt.
    consent(true);
    EXPECT_EQ(reg::CoCreateInstanceAsAdmin(sealwyn::CLSID_Crypt, com::IID_IDispatch, object),
              com::CO_E_ELEVATION_DISABLED);
    EXPECT_FALSE(object);
    EXPECT_TRUE(elevated.empty());

    auto doRegister = entry("DllRegisterServer");
    ASSERT_NE(doRegister, nullptr) << dlerror();
    ASSERT_EQ(doRegister(), com::S_OK);
    elevated.clear();
    EXPECT_EQ(reg::CoCreateInstanceAsAdmin(sealwyn::CLSID_Crypt, com::IID_IDispatch, object),
              com::S_OK);
    ASSERT_TRUE(object);
    EXPECT_EQ(elevated, std::vector<com::Guid>{sealwyn::CLSID_Crypt});
    object.reset();

    consent(false);
    EXPECT_EQ(reg::CoCreateInstanceAsAdmin(sealwyn::CLSID_Crypt, com::IID_IDispatch, object),
              com::HRESULT_ERROR_CANCELLED);
    EXPECT_FALSE(object);
}

TEST_F(Registration, UnavailableCategoryManagerStopsRegistrationAtTheFirstStep) {
    com::setCreationFailure(com::CLSID_StdComponentCategoriesMgr, com::REGDB_E_CLASSNOTREG);
    auto doRegister = entry("DllRegisterServer");
    ASSERT_NE(doRegister, nullptr) << dlerror();
    EXPECT_EQ(doRegister(), com::SELFREG_E_CLASS);
    ASSERT_EQ(boxes->shown().size(), 1u);
    EXPECT_EQ(boxes->shown()[0].text, u"Fail to CreateComponentCategory::CoCreateInstance");
    EXPECT_EQ(boxes->shown()[0].caption, u"Sealwyn");
    // The module's own keys were written before the categories.
    EXPECT_TRUE(registry::keyExists(Root::ClassesRoot,
                                    u"CLSID\\" + sealwyn::CLSID_Crypt.str() + u"\\InprocServer32"));
    EXPECT_FALSE(registry::keyExists(
        Root::ClassesRoot, u"Component Categories\\" + com::CATID_SafeForScripting.str()));
}

TEST_F(Registration, DeclinedConsentFailsRegistrationOnNt6ButNotOnNt5) {
    auto doRegister = entry("DllRegisterServer");
    ASSERT_NE(doRegister, nullptr) << dlerror();
    consent(false);
    EXPECT_EQ(doRegister(), com::SELFREG_E_CLASS);
    platform::system::overrideOsVersion(OsVersion{5, 1, 2600, 2, u""});
    boxes->clear();
    EXPECT_EQ(doRegister(), com::S_OK);
    EXPECT_TRUE(messages().empty());
}
