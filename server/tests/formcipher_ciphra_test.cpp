// The window's message cipher encoder against the real message cipher library: what it makes
// is read back by the library's own Des class, loaded through the COM layer.
#include <gtest/gtest.h>

#include "platform/com/runtime.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/text.h"
#include "server/formcipher.h"

using namespace tessel;
using namespace tessel::server;
namespace com = platform::com;
namespace text = platform::text;

TEST(FormCipherWithCiphra, LibraryDecodesWhatTheWindowEncodes) {
    platform::testing::TempMachine machine;
    auto reg = platform::testing::runProgram(REGSVR, {CIPHRA_LIBRARY});
    ASSERT_EQ(reg.exitCode, 0) << reg.err;
    auto des = com::createObject(u"Ciphra.Des");
    for (const char16_t* plain : {u"x", u"Key==Value|WinTitle==주민등록표 등본 발급|",
                                  u"a longer text, with 漢字 and ㄱㄴ"}) {
        std::u16string cipher = EncodeDes(plain, CreateKey());
        ASSERT_FALSE(cipher.empty());
        EXPECT_EQ(text::toUtf8(com::call(*des, u"decode", {com::Variant(cipher)}).toText()),
                  text::toUtf8(plain));
    }
}
