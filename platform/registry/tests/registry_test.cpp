#include "platform/registry/registry.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "platform/system/storefile.h"
#include "platform/testing/children.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/text.h"

namespace fs = std::filesystem;
namespace text = platform::text;
namespace reg = platform::registry;
using reg::Root;
using reg::Status;

namespace {

std::string fileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// Runs body in a child process and returns its exit status (0 when body returned true).
int inChild(const std::function<bool()>& body) {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(body() ? 0 : 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

// The name of the i-th write of process p in the races between processes.
std::u16string raceName(int p, int i) {
    return u"p" + std::u16string(1, char16_t(u'0' + p)) + u"-" +
           std::u16string(1, char16_t(u'A' + i % 26)) + std::u16string(1, char16_t(u'a' + i / 26));
}

// Every test gets its own machine folder.
class RegistryTest : public ::testing::Test {
  protected:
    fs::path file() const { return machine_ / "registry.txt"; }

    platform::testing::TempMachine temp_;
    const fs::path machine_ = temp_.path();
};

// ---------------------------------------------------------------------------------------------

TEST_F(RegistryTest, KeysAndValuesBasics) {
    EXPECT_EQ(reg::setValue(Root::ClassesRoot, u"CLSID\\{X}\\InprocServer32", u"ThreadingModel",
                            reg::Value(u"Apartment")),
              reg::Ok);
    // Parents were made.
    EXPECT_TRUE(reg::keyExists(Root::ClassesRoot, u"CLSID"));
    EXPECT_TRUE(reg::keyExists(Root::ClassesRoot, u"CLSID\\{X}"));
    EXPECT_TRUE(reg::keyExists(Root::ClassesRoot, u""));  // the root itself
    EXPECT_EQ(reg::getString(Root::ClassesRoot, u"CLSID\\{X}\\InprocServer32", u"ThreadingModel"),
              u"Apartment");
    // A trailing separator names the same key.
    EXPECT_TRUE(reg::keyExists(Root::ClassesRoot, u"CLSID\\{X}\\"));
    // The roots are separate trees.
    EXPECT_FALSE(reg::keyExists(Root::LocalMachine, u"CLSID"));
    EXPECT_FALSE(reg::keyExists(Root::CurrentUser, u"CLSID"));
    // Creating an existing key is fine and keeps its values.
    EXPECT_EQ(reg::createKey(Root::ClassesRoot, u"CLSID\\{X}\\InprocServer32"), reg::Ok);
    EXPECT_EQ(reg::values(Root::ClassesRoot, u"CLSID\\{X}\\InprocServer32").size(), 1u);
}

TEST_F(RegistryTest, ErrorsTable) {
    ASSERT_EQ(reg::setValue(Root::LocalMachine, u"A\\B", u"v", reg::Value(1u)), reg::Ok);
    ASSERT_EQ(reg::createKey(Root::LocalMachine, u"Leaf"), reg::Ok);
    const std::u16string tooLong(256, u'k');

    struct Case {
        const char* what;
        std::function<Status()> call;
        Status expected;
    };
    const Case cases[] = {
        {"deleteValue, missing key",
         [] { return reg::deleteValue(Root::LocalMachine, u"Nope", u"v"); }, reg::FileNotFound},
        {"deleteValue, missing value",
         [] { return reg::deleteValue(Root::LocalMachine, u"A\\B", u"w"); }, reg::FileNotFound},
        {"deleteValue, missing default value",
         [] { return reg::deleteValue(Root::LocalMachine, u"A\\B", u""); }, reg::FileNotFound},
        {"deleteKey, missing", [] { return reg::deleteKey(Root::LocalMachine, u"A\\C"); },
         reg::FileNotFound},
        {"deleteKey, missing parent", [] { return reg::deleteKey(Root::LocalMachine, u"X\\Y"); },
         reg::FileNotFound},
        {"deleteTree, missing", [] { return reg::deleteTree(Root::LocalMachine, u"Nope"); },
         reg::FileNotFound},
        {"deleteKey with subkeys", [] { return reg::deleteKey(Root::LocalMachine, u"A"); },
         reg::KeyHasChildren},
        {"deleteKey of a root", [] { return reg::deleteKey(Root::LocalMachine, u""); },
         reg::InvalidParameter},
        {"deleteTree of a root", [] { return reg::deleteTree(Root::LocalMachine, u""); },
         reg::InvalidParameter},
        {"empty name inside", [] { return reg::createKey(Root::LocalMachine, u"A\\\\B"); },
         reg::InvalidParameter},
        {"leading separator", [] { return reg::createKey(Root::LocalMachine, u"\\A"); },
         reg::InvalidParameter},
        {"key name too long", [&] { return reg::createKey(Root::LocalMachine, tooLong); },
         reg::InvalidParameter},
        {"bad root", [] { return reg::createKey(static_cast<Root>(9), u"A"); },
         reg::InvalidParameter},
        {"setValue, bad path",
         [] { return reg::setValue(Root::LocalMachine, u"A\\\\", u"x", reg::Value(1u)); },
         reg::InvalidParameter},
    };
    const std::string before = fileText(file());
    for (const auto& c : cases) {
        EXPECT_EQ(c.call(), c.expected) << c.what;
        EXPECT_EQ(fileText(file()), before) << c.what << ": a failed call changed the file";
    }
    // Reads of missing things.
    EXPECT_FALSE(reg::getValue(Root::LocalMachine, u"Nope", u"v"));
    EXPECT_FALSE(reg::getValue(Root::LocalMachine, u"A\\B", u"w"));
    EXPECT_FALSE(reg::getValue(Root::LocalMachine, u"A\\\\B", u"v"));
    EXPECT_TRUE(reg::subkeys(Root::LocalMachine, u"Nope").empty());
    EXPECT_TRUE(reg::values(Root::LocalMachine, u"Nope").empty());
    EXPECT_FALSE(reg::keyExists(Root::LocalMachine, u"A\\\\B"));

    // And the successful deletes.
    EXPECT_EQ(reg::deleteKey(Root::LocalMachine, u"Leaf"), reg::Ok);
    EXPECT_FALSE(reg::keyExists(Root::LocalMachine, u"Leaf"));
    EXPECT_EQ(reg::deleteValue(Root::LocalMachine, u"A\\B", u"V"), reg::Ok);
    EXPECT_FALSE(reg::getValue(Root::LocalMachine, u"A\\B", u"v"));
    EXPECT_EQ(reg::deleteTree(Root::LocalMachine, u"a"), reg::Ok);
    EXPECT_FALSE(reg::keyExists(Root::LocalMachine, u"A\\B"));
    EXPECT_FALSE(reg::keyExists(Root::LocalMachine, u"A"));
}

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepTheirCase) {
    ASSERT_EQ(reg::createKey(Root::CurrentUser, u"Software\\MyApp"), reg::Ok);
    ASSERT_EQ(reg::createKey(Root::CurrentUser, u"SOFTWARE\\myapp\\Sub"), reg::Ok);
    EXPECT_EQ(reg::subkeys(Root::CurrentUser, u""), std::vector<std::u16string>{u"Software"});
    EXPECT_EQ(reg::subkeys(Root::CurrentUser, u"software"), std::vector<std::u16string>{u"MyApp"});
    EXPECT_TRUE(reg::keyExists(Root::CurrentUser, u"sOfTwArE\\MYAPP\\sub"));

    ASSERT_EQ(reg::setValue(Root::CurrentUser, u"Software\\MyApp", u"Name", reg::Value(u"1")),
              reg::Ok);
    ASSERT_EQ(reg::setValue(Root::CurrentUser, u"software\\myapp", u"NAME", reg::Value(u"2")),
              reg::Ok);
    auto vals = reg::values(Root::CurrentUser, u"Software\\MyApp");
    ASSERT_EQ(vals.size(), 1u);
    EXPECT_EQ(vals[0].name, u"Name");
    EXPECT_EQ(std::get<std::u16string>(vals[0].value), u"2");
    EXPECT_EQ(reg::getString(Root::CurrentUser, u"SOFTWARE\\MYAPP", u"name"), u"2");

    // Beyond ASCII: Latin-1, Cyrillic, full-width letters; Korean has no case.
    ASSERT_EQ(reg::createKey(Root::CurrentUser, u"Ключ\\ÉTÉ\\ＡＢＣ\\한글"), reg::Ok);
    EXPECT_TRUE(reg::keyExists(Root::CurrentUser, u"ключ\\été\\ａｂｃ\\한글"));
    EXPECT_EQ(reg::subkeys(Root::CurrentUser, u"КЛЮЧ"), std::vector<std::u16string>{u"ÉTÉ"});
    EXPECT_FALSE(reg::keyExists(Root::CurrentUser, u"Ключ\\ETE"));
}

// Key and value names match exactly when the text module's comparison without regard to case
// says they are equal, both ways, for letters where two foldings could disagree.
TEST_F(RegistryTest, NamesMatchExactlyWhenEqualsNoCaseSaysSo) {
    const std::u16string letters[] = {u"\u0386", u"\u03AC", u"\u0130", u"\u0131", u"I",
                                      u"i",      u"\u03AA", u"\u03CA", u"\u03A3", u"\u03C2",
                                      u"\u03C3", u"\u038C", u"\u03CC", u"\u017F", u"s"};
    for (const auto& a : letters) {
        const std::u16string key = u"Fold\\" + a;
        ASSERT_EQ(reg::createKey(Root::CurrentUser, key), reg::Ok);
        ASSERT_EQ(reg::setValue(Root::CurrentUser, u"Fold", a, reg::Value(a)), reg::Ok);
        for (const auto& b : letters) {
            SCOPED_TRACE(text::toUtf8(a) + " / " + text::toUtf8(b));
            const bool same = text::equalsNoCase(a, b);
            EXPECT_EQ(reg::keyExists(Root::CurrentUser, u"Fold\\" + b), same);
            EXPECT_EQ(reg::getValue(Root::CurrentUser, u"Fold", b).has_value(), same);
        }
        ASSERT_EQ(reg::deleteTree(Root::CurrentUser, u"Fold"), reg::Ok);
    }
    EXPECT_TRUE(text::equalsNoCase(u"\u0386", u"\u03AC"));
    EXPECT_TRUE(text::equalsNoCase(u"\u03AA", u"\u03CA"));
    EXPECT_FALSE(text::equalsNoCase(u"\u0130", u"\u0131"));
}

TEST_F(RegistryTest, DefaultValueAndTypes) {
    const auto path = u"Mavrin.Codec\\CLSID";
    ASSERT_EQ(reg::setValue(Root::ClassesRoot, path, u"", reg::Value(u"{ABC}")), reg::Ok);
    ASSERT_EQ(reg::setValue(Root::ClassesRoot, path, u"Count", reg::Value(42u)), reg::Ok);

    EXPECT_EQ(reg::getString(Root::ClassesRoot, path), u"{ABC}");  // name defaults to ""
    EXPECT_EQ(reg::getDword(Root::ClassesRoot, path, u"count"), 42u);
    // The getters answer only for their own type.
    EXPECT_FALSE(reg::getDword(Root::ClassesRoot, path));
    EXPECT_FALSE(reg::getString(Root::ClassesRoot, path, u"Count"));
    EXPECT_EQ(reg::getValue(Root::ClassesRoot, path, u"Count"), reg::Value(42u));

    // A value can change type.
    ASSERT_EQ(reg::setValue(Root::ClassesRoot, path, u"Count", reg::Value(u"many")), reg::Ok);
    EXPECT_FALSE(reg::getDword(Root::ClassesRoot, path, u"Count"));
    EXPECT_EQ(reg::getString(Root::ClassesRoot, path, u"Count"), u"many");

    ASSERT_EQ(reg::setValue(Root::ClassesRoot, path, u"Max", reg::Value(0xFFFFFFFFu)), reg::Ok);
    EXPECT_EQ(reg::getDword(Root::ClassesRoot, path, u"Max"), 0xFFFFFFFFu);

    auto vals = reg::values(Root::ClassesRoot, path);
    ASSERT_EQ(vals.size(), 3u);
    EXPECT_EQ(vals[0].name, u"");
    EXPECT_EQ(vals[1].name, u"Count");
    EXPECT_EQ(vals[2].name, u"Max");

    // An empty text is a value, not a missing one.
    ASSERT_EQ(reg::setValue(Root::ClassesRoot, u"AppID\\{1}", u"DllSurrogate", reg::Value(u"")),
              reg::Ok);
    EXPECT_EQ(reg::getString(Root::ClassesRoot, u"AppID\\{1}", u"DllSurrogate"), u"");
    EXPECT_FALSE(reg::getString(Root::ClassesRoot, u"AppID\\{1}"));
}

TEST_F(RegistryTest, SubkeysKeepCreationOrder) {
    for (auto name : {u"Zeta", u"alpha", u"Mid", u"1"})
        ASSERT_EQ(reg::createKey(Root::Users, std::u16string(u"Order\\") + name), reg::Ok);
    // Values in a parent must not disturb the order of its subkeys.
    ASSERT_EQ(reg::setValue(Root::Users, u"Order", u"x", reg::Value(1u)), reg::Ok);
    EXPECT_EQ(reg::subkeys(Root::Users, u"Order"),
              (std::vector<std::u16string>{u"Zeta", u"alpha", u"Mid", u"1"}));
    ASSERT_EQ(reg::deleteKey(Root::Users, u"Order\\alpha"), reg::Ok);
    ASSERT_EQ(reg::createKey(Root::Users, u"Order\\Alpha"), reg::Ok);
    EXPECT_EQ(reg::subkeys(Root::Users, u"Order"),
              (std::vector<std::u16string>{u"Zeta", u"Mid", u"1", u"Alpha"}));
}

TEST_F(RegistryTest, FileIsReadableText) {
    ASSERT_EQ(reg::Batch()
                  .setValue(Root::ClassesRoot, u"CLSID\\{1}\\InprocServer32", u"",
                            reg::Value(u"C:\\Windows\\Sealwyn.dll"))
                  .setValue(Root::ClassesRoot, u"CLSID\\{1}\\InprocServer32", u"ThreadingModel",
                            reg::Value(u"Apartment"))
                  .setValue(Root::LocalMachine, u"Software\\인증", u"Count", reg::Value(42u))
                  .setValue(Root::CurrentUser, u"", u"a\"b", reg::Value(u"50%\n"))
                  .createKey(Root::LocalMachine, u"Empty")
                  .commit(),
              reg::Ok);
    EXPECT_EQ(fileText(file()),
              "TESSEL REGISTRY 1\n"
              "[HKEY_CLASSES_ROOT\\CLSID]\n"
              "[HKEY_CLASSES_ROOT\\CLSID\\{1}]\n"
              "[HKEY_CLASSES_ROOT\\CLSID\\{1}\\InprocServer32]\n"
              "@=\"C:\\Windows\\Sealwyn.dll\"\n"
              "\"ThreadingModel\"=\"Apartment\"\n"
              "[HKEY_LOCAL_MACHINE\\Software]\n"
              "[HKEY_LOCAL_MACHINE\\Software\\인증]\n"
              "\"Count\"=dword:0000002a\n"
              "[HKEY_LOCAL_MACHINE\\Empty]\n"
              "[HKEY_CURRENT_USER]\n"
              "\"a%0022b\"=\"50%0025%000A\"\n"
              "END\n");
}

TEST_F(RegistryTest, ReadsAHandWrittenFile) {
    writeText(file(),
              "TESSEL REGISTRY 1\r\n"
              "\r\n"
              "[HKEY_LOCAL_MACHINE\\A\\B]\r\n"  // parent made implicitly
              "\"x\"=dword:DEADbeef\r\n"
              "[HKEY_LOCAL_MACHINE\\A]\r\n"
              "@=\"top\"\r\n"
              "END\r\n"
              "\r\n");
    EXPECT_EQ(reg::getDword(Root::LocalMachine, u"A\\B", u"x"), 0xDEADBEEFu);
    EXPECT_EQ(reg::getString(Root::LocalMachine, u"A"), u"top");
}

TEST_F(RegistryTest, DamagedFileIsNeverOverwritten) {
    const std::string valid =
        "TESSEL REGISTRY 1\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=dword:00000001\nEND\n";
    const std::string damaged[] = {
        "garbage\n",
        "TESSEL REGISTRY 2\nEND\n",                                       // unknown version
        valid.substr(0, valid.size() - 4),                                // cut at a line
        valid.substr(0, valid.size() - 2),                                // cut mid-line
        "TESSEL REGISTRY 1\n\"x\"=\"1\"\nEND\n",                          // value, no key
        "TESSEL REGISTRY 1\n[HKEY_NOWHERE\\A]\nEND\n",                    // unknown root
        "TESSEL REGISTRY 1\n[HKEY_USERS\\A]\n[HKEY_USERS\\a]\nEND\n",     // key twice
        "TESSEL REGISTRY 1\n[HKEY_USERS\\A]\n@=\"1\"\n@=\"2\"\nEND\n",    // value twice
        "TESSEL REGISTRY 1\n[HKEY_USERS\\A]\n@=dword:1\nEND\n",           // short dword
        "TESSEL REGISTRY 1\n[HKEY_USERS\\A]\n@=\"a\"b\"\nEND\n",          // stray quote
        "TESSEL REGISTRY 1\n[HKEY_USERS\\A]\n@=\"%00G1\"\nEND\n",         // bad escape
        "TESSEL REGISTRY 1\n[HKEY_USERS\\A]\n@=\"\xC3\x28\"\nEND\n",      // bad UTF-8
        "TESSEL REGISTRY 1\n[HKEY_USERS\\A]\n@=\"\xED\xA0\x80\"\nEND\n",  // UTF-8 surrogate
        "TESSEL REGISTRY 1\n[HKEY_USERS\\A\\\\B]\nEND\n",                 // empty key name
        "TESSEL REGISTRY 1\n[HKEY_USERS\\A]\n@=\"a\tb\"\nEND\n",          // raw control
        "TESSEL REGISTRY 1\nEND\n[HKEY_USERS\\A]\n",                      // after END
        std::string("TESSEL REGISTRY 1\n[HKEY_USERS\\A]\n@=\"a\0b\"\nEND\n", 41),  // raw NUL
    };
    for (const auto& text : damaged) {
        writeText(file(), text);
        EXPECT_FALSE(reg::keyExists(Root::LocalMachine, u"A")) << text;
        EXPECT_FALSE(reg::keyExists(Root::Users, u"A")) << text;
        EXPECT_EQ(reg::setValue(Root::LocalMachine, u"B", u"y", reg::Value(2u)), reg::AccessDenied)
            << text;
        EXPECT_EQ(reg::deleteTree(Root::LocalMachine, u"A"), reg::AccessDenied) << text;
        EXPECT_EQ(reg::Batch().createKey(Root::Users, u"C").commit(), reg::AccessDenied) << text;
        EXPECT_EQ(fileText(file()), text) << "the damaged file was changed";
    }
    // Repaired, it is read again.
    writeText(file(), valid);
    EXPECT_EQ(reg::getDword(Root::LocalMachine, u"A", u"x"), 1u);
    // An empty file is an empty registry, not a damaged one.
    writeText(file(), "");
    EXPECT_EQ(reg::createKey(Root::Users, u"C"), reg::Ok);
    EXPECT_TRUE(reg::keyExists(Root::Users, u"C"));
}

TEST_F(RegistryTest, BatchIsAllOrNothing) {
    ASSERT_EQ(reg::setValue(Root::ClassesRoot, u"Keep", u"v", reg::Value(u"old")), reg::Ok);
    const std::string before = fileText(file());

    struct Case {
        const char* what;
        std::function<void(reg::Batch&)> last;
        Status expected;
    };
    const Case cases[] = {
        {"bad value path",
         [](reg::Batch& b) { b.setValue(Root::ClassesRoot, u"A\\\\B", u"n", reg::Value(1u)); },
         reg::InvalidParameter},
        {"root tree", [](reg::Batch& b) { b.deleteTree(Root::ClassesRoot, u""); },
         reg::InvalidParameter},
        {"bad path", [](reg::Batch& b) { b.createKey(Root::ClassesRoot, u"A\\\\B"); },
         reg::InvalidParameter},
    };
    for (const auto& c : cases) {
        reg::Batch batch;
        batch.setValue(Root::ClassesRoot, u"Keep", u"v", reg::Value(u"new"))
            .createKey(Root::ClassesRoot, u"Fresh\\Key")
            .deleteTree(Root::ClassesRoot, u"Keep");
        c.last(batch);
        batch.createKey(Root::ClassesRoot, u"After");
        EXPECT_EQ(batch.commit(), c.expected) << c.what;
        EXPECT_EQ(fileText(file()), before) << c.what;
        EXPECT_EQ(reg::getString(Root::ClassesRoot, u"Keep", u"v"), u"old") << c.what;
        EXPECT_FALSE(reg::keyExists(Root::ClassesRoot, u"Fresh")) << c.what;
        EXPECT_FALSE(reg::keyExists(Root::ClassesRoot, u"After")) << c.what;
    }

    // Deleting what is missing is no failure in a batch: registration removes keys before
    // recreating them, on a first registration too.
    EXPECT_EQ(reg::Batch()
                  .deleteTree(Root::ClassesRoot, u"Nope")
                  .deleteValue(Root::ClassesRoot, u"Keep", u"nope")
                  .createKey(Root::ClassesRoot, u"Made")
                  .commit(),
              reg::Ok);
    EXPECT_TRUE(reg::keyExists(Root::ClassesRoot, u"Made"));
    ASSERT_EQ(reg::deleteTree(Root::ClassesRoot, u"Made"), reg::Ok);

    // Ops run in order and see each other's results.
    EXPECT_EQ(reg::Batch()
                  .deleteTree(Root::ClassesRoot, u"Keep")
                  .setValue(Root::ClassesRoot, u"Keep\\Sub", u"", reg::Value(u"again"))
                  .setValue(Root::ClassesRoot, u"Keep\\Sub", u"n", reg::Value(1u))
                  .deleteValue(Root::ClassesRoot, u"keep\\sub", u"N")
                  .commit(),
              reg::Ok);
    EXPECT_FALSE(reg::getValue(Root::ClassesRoot, u"Keep", u"v"));
    EXPECT_EQ(reg::values(Root::ClassesRoot, u"Keep\\Sub").size(), 1u);
    EXPECT_EQ(reg::getString(Root::ClassesRoot, u"Keep\\Sub"), u"again");
    EXPECT_EQ(reg::Batch().commit(), reg::Ok);
}

TEST_F(RegistryTest, LeavesNoTemporaryFilesAndSkipsNeedlessWrites) {
    for (std::uint32_t i = 0; i < 20; ++i)
        ASSERT_EQ(reg::setValue(Root::LocalMachine, u"K", u"n", reg::Value(i)), reg::Ok);
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(machine_))
        names.insert(entry.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"registry.txt"}));

    struct stat before {
    }, after{};
    ASSERT_EQ(::stat(file().c_str(), &before), 0);
    ASSERT_EQ(reg::createKey(Root::LocalMachine, u"k"), reg::Ok);
    ASSERT_EQ(reg::setValue(Root::LocalMachine, u"K", u"N", reg::Value(19u)), reg::Ok);
    ASSERT_EQ(::stat(file().c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino) << "a change that changed nothing rewrote the file";
}

// Random names and values full of the characters the file format has to escape.
TEST_F(RegistryTest, OddNamesAndValuesRoundTrip) {
    const std::u16string alphabet =
        u"aZ09 _-.{}@=[]\\\"'%;#\t\r\n\x7F\u00E9\u00C9\uD55C\uAE00\uFF21\u3000\uFEFF\u2028";
    const char16_t extra[] = {0x0000, 0x0001, 0x001F, 0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xFFFF};
    std::mt19937 rng(12345);
    auto randomText = [&](std::size_t maxLen, bool keyName) {
        std::u16string s;
        std::size_t len = rng() % (maxLen + 1);
        if (keyName && len == 0) len = 1;
        while (s.size() < len) {
            unsigned pick = rng() % 10;
            if (pick == 0) {
                s += extra[rng() % std::size(extra)];
            } else if (pick == 1) {
                s += u"\U0001F600";  // a surrogate pair
            } else {
                s += alphabet[rng() % alphabet.size()];
            }
        }
        if (keyName) std::erase(s, u'\\');
        if (keyName && s.empty()) s = u"k";
        return s;
    };

    // Expected contents: key path (as created) -> values in order.
    std::vector<std::pair<std::u16string, std::vector<reg::NamedValue>>> expected;
    reg::Batch batch;
    for (int k = 0; k < 60; ++k) {
        std::u16string path = u"Fuzz\\K" + std::u16string(1, char16_t(u'A' + k % 26)) +
                              char16_t(u'a' + k / 26) + u"\\" + randomText(12, true);
        std::vector<reg::NamedValue> vals;
        for (int v = 0; v < 4; ++v) {
            std::u16string name = v == 0 ? u"" : randomText(10, false) + char16_t(u'0' + v);
            reg::Value value = (rng() % 3 == 0) ? reg::Value(std::uint32_t(rng()))
                                                : reg::Value(randomText(40, false));
            vals.push_back({name, value});
            batch.setValue(Root::LocalMachine, path, name, value);
        }
        expected.emplace_back(path, std::move(vals));
    }
    ASSERT_EQ(batch.commit(), reg::Ok);

    auto check = [&] {
        bool ok = true;
        for (const auto& [path, vals] : expected) {
            auto got = reg::values(Root::LocalMachine, path);
            if (got.size() != vals.size()) {
                ADD_FAILURE() << "wrong number of values";
                ok = false;
                continue;
            }
            for (std::size_t i = 0; i < vals.size(); ++i) {
                if (got[i].name != vals[i].name || got[i].value != vals[i].value) {
                    ADD_FAILURE() << "value " << i << " differs";
                    ok = false;
                }
            }
        }
        return ok;
    };
    EXPECT_TRUE(check());
    // A process that has never seen the registry parses it from scratch.
    EXPECT_EQ(inChild(check), 0);
    // One record a line, every odd character escaped: header, "Fuzz", 60 + 60 keys, 240 values,
    // END.
    const std::string text = fileText(file());
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 1 + 120 + 240 + 1);
    for (unsigned char c : text) {
        if (c != '\n') {
            ASSERT_GE(c, 0x20) << "raw control character in the file";
        }
    }
}

TEST_F(RegistryTest, ChangesAreSeenAcrossProcesses) {
    ASSERT_EQ(reg::setValue(Root::LocalMachine, u"Shared", u"parent", reg::Value(1u)), reg::Ok);
    // Prime this process's read of the file, then let another process change it.
    ASSERT_EQ(reg::getDword(Root::LocalMachine, u"Shared", u"parent"), 1u);
    int rc = inChild([] {
        return reg::getDword(Root::LocalMachine, u"Shared", u"parent") == 1u &&
               reg::setValue(Root::LocalMachine, u"Shared", u"child", reg::Value(u"한글")) ==
                   reg::Ok &&
               reg::setValue(Root::LocalMachine, u"Shared", u"parent", reg::Value(2u)) == reg::Ok;
    });
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(reg::getString(Root::LocalMachine, u"Shared", u"child"), u"한글");
    EXPECT_EQ(reg::getDword(Root::LocalMachine, u"Shared", u"parent"), 2u);
}

TEST_F(RegistryTest, ConcurrentWritersLoseNothing) {
    constexpr int kProcesses = 6;
    constexpr int kWrites = 50;
    // Half the writes go to a shared key, half to a key of the process's own.
    auto pathOf = [](const std::u16string& name, int i) {
        return (i % 2) ? std::u16string(u"Race") : u"Race\\" + name.substr(0, 2);
    };
    EXPECT_EQ(platform::testing::inChildren(
                  kProcesses,
                  [&](int p) {
                      bool ok = true;
                      for (int i = 0; i < kWrites; ++i) {
                          auto name = raceName(p, i);
                          auto value = std::uint32_t(p * 1000 + i);
                          auto path = pathOf(name, i);
                          ok = ok && reg::setValue(Root::LocalMachine, path, name,
                                                   reg::Value(value)) == reg::Ok;
                          ok = ok && reg::getDword(Root::LocalMachine, path, name) == value;
                      }
                      return ok;
                  }),
              0);
    for (int p = 0; p < kProcesses; ++p)
        for (int i = 0; i < kWrites; ++i)
            EXPECT_EQ(reg::getDword(Root::LocalMachine, pathOf(raceName(p, i), i), raceName(p, i)),
                      std::uint32_t(p * 1000 + i));
    EXPECT_EQ(reg::values(Root::LocalMachine, u"Race").size(),
              std::size_t(kProcesses * kWrites / 2));
}

TEST_F(RegistryTest, ConcurrentThreadsLoseNothing) {
    constexpr int kThreads = 4;
    constexpr int kWrites = 25;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < kWrites; ++i) {
                std::u16string name = u"t" + std::u16string(1, char16_t(u'0' + t)) +
                                      std::u16string(1, char16_t(u'A' + i));
                if (reg::setValue(Root::CurrentUser, u"Threads", name, reg::Value(u"x")) != reg::Ok)
                    ++failures;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(reg::values(Root::CurrentUser, u"Threads").size(), std::size_t(kThreads * kWrites));
}

TEST_F(RegistryTest, EachMachineFolderHasItsOwnRegistry) {
    ASSERT_EQ(reg::createKey(Root::LocalMachine, u"Here"), reg::Ok);
    fs::path other = machine_ / "other";
    ::setenv("TESSEL_MACHINE", other.c_str(), 1);
    EXPECT_FALSE(reg::keyExists(Root::LocalMachine, u"Here"));
    ASSERT_EQ(reg::createKey(Root::LocalMachine, u"There"), reg::Ok);
    EXPECT_TRUE(fs::exists(other / "registry.txt"));
    ::setenv("TESSEL_MACHINE", machine_.c_str(), 1);
    EXPECT_TRUE(reg::keyExists(Root::LocalMachine, u"Here"));
    EXPECT_FALSE(reg::keyExists(Root::LocalMachine, u"There"));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The store under attack: lock files removed or redirected, stopped writers, files that are not
// what they seem, failing disks.

namespace {

// Runs `body` in a child that must finish within `seconds` (a hang shows as a failure).
int inChildWithin(unsigned seconds, const std::function<bool()>& body) {
    return inChild([&] {
        ::alarm(seconds);
        return body();
    });
}

}  // namespace

TEST_F(RegistryTest, RemovingOrRedirectingLockFilesLosesNoWrite) {
    constexpr int kProcesses = 4;
    constexpr int kWrites = 60;
    // Meanwhile the lock file a writer would use keeps disappearing.
    const std::string lock = (machine_ / "registry.lock").string();
    std::optional<platform::testing::RepeatingChild> remover(std::in_place,
                                                             [&lock] { ::unlink(lock.c_str()); });
    EXPECT_EQ(platform::testing::inChildren(
                  kProcesses,
                  [&](int p) {
                      bool ok = true;
                      for (int i = 0; i < kWrites; ++i)
                          ok = ok && reg::setValue(Root::LocalMachine, u"Race", raceName(p, i),
                                                   reg::Value(1u)) == reg::Ok;
                      return ok;
                  }),
              0);
    remover.reset();
    const std::size_t written = reg::values(Root::LocalMachine, u"Race").size();
    EXPECT_EQ(kProcesses * kWrites - int(written), 0) << "writes reported done but lost";
    // A link where a lock file used to be must not make the writer create its target.
    const fs::path victim = machine_ / "victim";
    fs::create_symlink(victim, machine_ / "registry.lock");
    EXPECT_EQ(reg::setValue(Root::LocalMachine, u"K", u"v", reg::Value(1u)), reg::Ok);
    EXPECT_FALSE(fs::exists(fs::symlink_status(victim))) << "a lock link's target was created";
}

TEST_F(RegistryTest, AStoppedWriterHoldsNoReaderAndWritersGiveUpClearly) {
    ASSERT_EQ(reg::setValue(Root::LocalMachine, u"K", u"v", reg::Value(u"before")), reg::Ok);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        // Holds every lock a writer of the registry may take, then stops as Ctrl-Z would.
        int folder = ::open(machine_.c_str(), O_RDONLY | O_DIRECTORY);
        int file = ::open((machine_ / "registry.lock").c_str(), O_RDWR | O_CREAT, 0644);
        bool ok = ::flock(folder, LOCK_EX) == 0 && ::flock(file, LOCK_EX) == 0;
        (void)!::write(ready[1], ok ? "y" : "n", 1);
        ::raise(SIGSTOP);
        ::_exit(0);
    }
    char got = 0;
    ASSERT_EQ(::read(ready[0], &got, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    ASSERT_EQ(got, 'y');
    EXPECT_EQ(inChildWithin(
                  5, [] { return reg::getString(Root::LocalMachine, u"K", u"v") == u"before"; }),
              0)
        << "a reader waited for the stopped writer";
    EXPECT_EQ(inChildWithin(5,
                            [] {
                                platform::system::setStoreLockWait(std::chrono::milliseconds(100));
                                auto status = reg::setValue(Root::LocalMachine, u"K", u"v",
                                                            reg::Value(u"after"));
                                return status == reg::Timeout &&
                                       reg::lastError().find("is it stopped?") != std::string::npos;
                            }),
              0)
        << "a writer waited without bound or failed without saying why";
    ::kill(writer, SIGKILL);
    ::waitpid(writer, nullptr, 0);
    EXPECT_EQ(reg::getString(Root::LocalMachine, u"K", u"v"), u"before");
}

TEST_F(RegistryTest, OnlyBoundedRegularFilesAreRead) {
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> make;
        const char* said;
    };
    const Case cases[] = {
        {"named pipe", [](const fs::path& f) { ASSERT_EQ(::mkfifo(f.c_str(), 0644), 0); },
         "named pipe"},
        {"endless device", [](const fs::path& f) { fs::create_symlink("/dev/zero", f); },
         "character device"},
        {"folder", [](const fs::path& f) { fs::create_directory(f); }, "a folder"},
        {"huge file",
         [](const fs::path& f) {
             writeText(f, "TESSEL REGISTRY 1\n");
             fs::resize_file(f, 40u << 20);  // sparse: no disk used
         },
         "larger than"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.make(file());
        EXPECT_EQ(inChildWithin(5,
                                [&] {
                                    return reg::subkeys(Root::LocalMachine, u"").empty() &&
                                           reg::setValue(Root::LocalMachine, u"K", u"v",
                                                         reg::Value(1u)) != reg::Ok &&
                                           reg::lastError().find(c.said) != std::string::npos;
                                }),
                  0);
        fs::remove(file());
    }
}

TEST_F(RegistryTest, KeysNestAtMost512Deep) {
    std::u16string path = u"a";
    for (int i = 1; i < 512; ++i) path += u"\\a";
    EXPECT_EQ(reg::setValue(Root::LocalMachine, path, u"v", reg::Value(1u)), reg::Ok);
    EXPECT_EQ(reg::getDword(Root::LocalMachine, path, u"v"), 1u);
    EXPECT_EQ(reg::setValue(Root::LocalMachine, path + u"\\a", u"v", reg::Value(1u)),
              reg::InvalidParameter);
    // A file declaring a key 200,000 names deep is damaged; reading it must neither crash nor
    // take the memory of its square.
    std::string deep = "TESSEL REGISTRY 1\n[HKEY_CLASSES_ROOT";
    for (int i = 0; i < 200000; ++i) deep += "\\a";
    deep += "]\nEND\n";
    writeText(file(), deep);
    EXPECT_EQ(inChildWithin(20,
                            [] {
                                return reg::subkeys(Root::ClassesRoot, u"").empty() &&
                                       reg::createKey(Root::ClassesRoot, u"x") == reg::AccessDenied;
                            }),
              0);
    EXPECT_EQ(fileText(file()), deep) << "the damaged file was changed";
}

TEST_F(RegistryTest, ALinkedFileIsWrittenThroughAndALinkToNothingRefused) {
    const fs::path elsewhere = machine_ / "elsewhere";
    fs::create_directory(elsewhere);
    const fs::path target = elsewhere / "registry.txt";
    ASSERT_EQ(reg::setValue(Root::LocalMachine, u"K", u"old", reg::Value(1u)), reg::Ok);
    fs::rename(file(), target);
    fs::create_symlink(target, file());
    EXPECT_EQ(reg::getDword(Root::LocalMachine, u"K", u"old"), 1u);
    ASSERT_EQ(reg::setValue(Root::LocalMachine, u"K", u"new", reg::Value(2u)), reg::Ok);
    EXPECT_TRUE(fs::is_symlink(file())) << "the link was replaced by a file";
    EXPECT_NE(fileText(target).find("\"new\"=dword:00000002"), std::string::npos);
    EXPECT_EQ(reg::getDword(Root::LocalMachine, u"K", u"old"), 1u);

    fs::remove(target);  // now the link names nothing
    testing::internal::CaptureStderr();
    EXPECT_FALSE(reg::getDword(Root::LocalMachine, u"K", u"old"));
    EXPECT_NE(reg::setValue(Root::LocalMachine, u"K", u"lone", reg::Value(3u)), reg::Ok);
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("which does not exist"), std::string::npos) << said;
    EXPECT_FALSE(fs::exists(target)) << "a second registry was started at the link's target";
    EXPECT_TRUE(fs::is_symlink(file()));
}

TEST_F(RegistryTest, WriteFailuresSayWhatFailed) {
    struct Case {
        int error;
        reg::Status status;
        const char* said;
    };
    const Case cases[] = {{ENOSPC, reg::DiskFull, "the disk is full"},
                          {EROFS, reg::WriteProtect, "read-only"},
                          {EACCES, reg::AccessDenied, "permission denied"},
                          {EIO, reg::AccessDenied, "Input/output error"}};
    ASSERT_EQ(reg::setValue(Root::LocalMachine, u"K", u"v", reg::Value(1u)), reg::Ok);
    for (const auto& c : cases) {
        platform::system::setStoreWriteFault([&](const fs::path&) { return c.error; });
        testing::internal::CaptureStderr();
        EXPECT_EQ(reg::setValue(Root::LocalMachine, u"K", u"v", reg::Value(2u)), c.status);
        std::string said = testing::internal::GetCapturedStderr();
        platform::system::setStoreWriteFault(nullptr);
        EXPECT_NE(reg::lastError().find(c.said), std::string::npos) << reg::lastError();
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        EXPECT_NE(said.find("registry.txt"), std::string::npos) << said;
    }
    EXPECT_EQ(reg::getDword(Root::LocalMachine, u"K", u"v"), 1u);
    // A registry that cannot be read is reported, not read as empty without a word.
    fs::remove(file());
    fs::create_directory(file());
    testing::internal::CaptureStderr();
    EXPECT_FALSE(reg::getDword(Root::LocalMachine, u"K", u"v"));
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("not a regular file"), std::string::npos) << said;
}

TEST_F(RegistryTest, TheNextWriterRemovesTemporaryFilesOfKilledWriters) {
    writeText(machine_ / "registry.txt.tmp.Ab12Cd", "half a regist");
    writeText(machine_ / "registry.txt.keep", "not ours");
    ASSERT_EQ(reg::setValue(Root::LocalMachine, u"K", u"v", reg::Value(1u)), reg::Ok);
    EXPECT_FALSE(fs::exists(machine_ / "registry.txt.tmp.Ab12Cd"));
    EXPECT_TRUE(fs::exists(machine_ / "registry.txt.keep"));
}
