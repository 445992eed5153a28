// The broker as outside hosts meet it: registered with regsvr, created by its ProgID and driven
// by comcall, each run a process of its own over the same machine folder.
#include <gtest/gtest.h>

#include "elevation/tests/support.h"
#include "platform/registry/registry.h"
#include "platform/text/codepage.h"

namespace {

using elevation::testing::ScopedEnv;
using platform::registry::Root;
using platform::testing::runProgram;
namespace registry = platform::registry;

const std::u16string kClass = u"CLSID\\{C403E6FA-C549-40FC-B569-CC9D7CEA9A91}";
const std::u16string kAppId = u"AppID\\{FD7329FE-6DC4-482E-B80F-D9F8AE4B156A}";

std::optional<std::u16string> text(const std::u16string& key, const std::u16string& name = u"") {
    return registry::getString(Root::ClassesRoot, key, name);
}

TEST(TesselUACTools, RegistersItsRowsAndRemovesThem) {
    platform::testing::TempMachine machine;
    auto reg = runProgram(REGSVR, {TESSELUAC_LIBRARY});
    ASSERT_EQ(reg.exitCode, 0) << reg.err;
    const std::u16string path = std::filesystem::path(TESSELUAC_LIBRARY).u16string();
    using S = std::optional<std::u16string>;
    const struct {
        std::u16string key, name;
        S value;
    } rows[] = {
        {u"TesselUAC.UAC.1", u"", u"UAC Class"},
        {u"TesselUAC.UAC.1\\CLSID", u"", u"{C403E6FA-C549-40FC-B569-CC9D7CEA9A91}"},
        {u"TesselUAC.UAC", u"", u"UAC Class"},
        {u"TesselUAC.UAC\\CurVer", u"", u"TesselUAC.UAC.1"},
        {kClass, u"", u"UAC Class"},
        {kClass, u"AppID", u"{FD7329FE-6DC4-482E-B80F-D9F8AE4B156A}"},
        {kClass, u"LocalizedString", u"@" + path + u",-101"},
        {kClass + u"\\ProgID", u"", u"TesselUAC.UAC.1"},
        {kClass + u"\\VersionIndependentProgID", u"", u"TesselUAC.UAC"},
        {kClass + u"\\InprocServer32", u"", path},
        {kClass + u"\\InprocServer32", u"ThreadingModel", u"Apartment"},
        {kClass + u"\\ToolboxBitmap32", u"", path + u", 103"},
        {kClass + u"\\MiscStatus", u"", u"0"},
        {kClass + u"\\MiscStatus\\1", u"", u"131473"},
        {kClass + u"\\TypeLib", u"", u"{CCE92154-4F95-4144-AAB6-261E58D264DA}"},
        {kClass + u"\\Version", u"", u"1.0"},
        {kAppId, u"", u"TesselUAC"},
        {kAppId, u"DllSurrogate", u""},
        {u"AppID\\TesselUAC.DLL", u"AppID", u"{FD7329FE-6DC4-482E-B80F-D9F8AE4B156A}"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(text(r.key, r.name), r.value) << platform::text::toUtf8(r.key + u" " + r.name);
    EXPECT_EQ(registry::getDword(Root::ClassesRoot, kClass + u"\\Elevation", u"Enabled"),
              std::optional<std::uint32_t>(1));
    for (const auto* key : {u"\\Programmable", u"\\Control",
                            u"\\Implemented Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}",
                            u"\\Implemented Categories\\{7DD95802-9882-11CF-9FA9-00AA006C42C4}"})
        EXPECT_TRUE(registry::keyExists(Root::ClassesRoot, kClass + key));
    EXPECT_TRUE(registry::keyExists(Root::ClassesRoot,
                                    u"TypeLib\\{CCE92154-4F95-4144-AAB6-261E58D264DA}\\1.0"));

    auto unreg = runProgram(REGSVR, {"-u", TESSELUAC_LIBRARY});
    ASSERT_EQ(unreg.exitCode, 0) << unreg.err;
    for (const auto& key :
         {u"TesselUAC.UAC.1", u"TesselUAC.UAC", kAppId.c_str(), u"AppID\\TesselUAC.DLL",
          u"TypeLib\\{CCE92154-4F95-4144-AAB6-261E58D264DA}"})
        EXPECT_FALSE(registry::keyExists(Root::ClassesRoot, key)) << platform::text::toUtf8(key);
    for (const auto* sub : {u"\\Elevation", u"\\InprocServer32", u"\\MiscStatus", u"\\ProgID"})
        EXPECT_FALSE(registry::keyExists(Root::ClassesRoot, kClass + sub));
    EXPECT_TRUE(registry::keyExists(Root::ClassesRoot, u"AppID"));
}

TEST(TesselUACTools, ComcallElevatesThroughTheHostProcess) {
    platform::testing::TempMachine machine;
    ASSERT_EQ(runProgram(REGSVR, {KESTRUM_LIBRARY}).exitCode, 0);
    ASSERT_EQ(runProgram(REGSVR, {TESSELUAC_LIBRARY}).exitCode, 0);
    ScopedEnv elevate("TESSEL_UAC_ELEVATE", "1");
    {
        ScopedEnv provider("TESSEL_UAC_PROVIDER", "same-user");
        auto run = runProgram(COMCALL, {"TesselUAC.UAC", "InitializeCOM", "--", "Version", "--",
                                        "InitializeCOM", "--", "ReleaseCOM", "--", "Version"});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out, "1\n1.0.0.6\n1\n\n");
        EXPECT_NE(run.err.find("error 0x80004005"), std::string::npos) << run.err;
    }
    {
        ScopedEnv provider("TESSEL_UAC_PROVIDER", "declined");
        auto run = runProgram(COMCALL, {"TesselUAC.UAC", "InitializeCOM"});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, "-1\n");
    }
}

}  // namespace
