// Subclassing on the window tree: the registry in the window's properties, the dispatch rules of
// the first and last handlers, the errors, and handlers or windows that go away first.
#include "viewer/subclass/subclass.h"

#include <gtest/gtest.h>

#include <any>

using namespace vistrel;
namespace win = platform::window;
using platform::window::Hwnd;

namespace {

// A client's handler: records its calls into a shared log and answers as told.
class Handler : public com::Implements<com::Dispatch> {
  public:
    Handler(std::string name, std::int32_t response, std::int32_t answer,
            std::vector<std::string>& log)
        : name_(std::move(name)), response_(response), answer_(answer), log_(log) {}

    com::HRESULT GetIDsOfNames(std::u16string_view, com::DispId&) override {
        return com::DISP_E_UNKNOWNNAME;
    }
    com::HRESULT Invoke(com::DispId id, unsigned, std::vector<com::Variant>& args,
                        com::Variant* result, com::ExcepInfo* excep) override {
        if (id == DISPID_MsgResponse) {
            if (result) *result = response_;
            return com::S_OK;
        }
        if (id != DISPID_WindowProc) return com::DISP_E_MEMBERNOTFOUND;
        if (fail_) {
            if (excep) *excep = {com::E_FAIL, u"client", u"handler failed"};
            return com::DISP_E_EXCEPTION;
        }
        log_.push_back(name_ + "(" + std::to_string(args.at(1).toI4()) + ")");
        seenCurrent = subclass::CurrentMessage();
        if (callOld)
            log_.push_back("via old=" +
                           std::to_string(subclass::CallOldWindowProc(
                               static_cast<Hwnd>(args.at(0).toI4()), args.at(1).toI4(), 0, 0)));
        if (result) *result = answer_;
        return com::S_OK;
    }

    std::int32_t seenCurrent = -1;
    bool callOld = false;
    bool fail_ = false;

  private:
    std::string name_;
    std::int32_t response_, answer_;
    std::vector<std::string>& log_;
};

constexpr std::int32_t kMsg = 15;

class Subclassing : public ::testing::Test {
  protected:
    void SetUp() override {
        win::resetForTests();
        hwnd = win::createWindow(0, {0, 0, 50, 50});
        win::setWindowProc(hwnd, [this](Hwnd, win::Message m, std::int32_t, std::int32_t) {
            log.push_back("old(" + std::to_string(m) + ")");
            return 100;
        });
        original = win::windowProc(hwnd);
    }
    void TearDown() override { win::resetForTests(); }

    std::shared_ptr<Handler> handler(std::string name, std::int32_t response, std::int32_t answer) {
        return std::make_shared<Handler>(std::move(name), response, answer, log);
    }
    std::string key(const std::string& tail) const { return std::to_string(hwnd) + tail; }
    std::int32_t count(const std::string& k) const {
        const std::any v = win::getProp(hwnd, k);
        return v.has_value() ? std::any_cast<std::int32_t>(v) : -1;
    }
    std::shared_ptr<com::Dispatch> slot(int i) const {
        const std::any v = win::getProp(hwnd, key("#15#" + std::to_string(i)));
        return v.has_value() ? std::any_cast<std::weak_ptr<com::Dispatch>>(v).lock() : nullptr;
    }

    Hwnd hwnd = 0;
    win::WindowProc original;
    std::vector<std::string> log;
};

com::ExcepInfo attachError(const std::shared_ptr<com::Dispatch>& h, Hwnd hwnd) {
    try {
        subclass::AttachMessage(h, hwnd, kMsg);
    } catch (const com::ComError& e) {
        return e.info();
    }
    return {};
}

}  // namespace

TEST_F(Subclassing, FirstHandlerDecidesPreprocessingLastDecidesPostprocessing) {
    const struct {
        std::vector<std::int32_t> responses;
        std::vector<std::string> calls;
        std::int32_t result;
    } cases[] = {
        {{emrPreprocess}, {"old(15)", "h1(15)"}, 1},
        {{emrPostProcess}, {"h1(15)", "old(15)"}, 100},
        {{emrConsume}, {"h1(15)"}, 1},
        {{emrPostProcess, emrConsume}, {"h1(15)", "h2(15)"}, 2},
        {{emrConsume, emrPostProcess}, {"h1(15)", "h2(15)", "old(15)"}, 100},
        {{emrPreprocess, emrPostProcess}, {"old(15)", "h1(15)", "h2(15)"}, 2},
        {{emrPreprocess, emrConsume, emrPreprocess}, {"old(15)", "h1(15)", "h2(15)", "h3(15)"}, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.calls.size());
        std::vector<std::shared_ptr<Handler>> handlers;
        for (std::size_t i = 0; i < c.responses.size(); ++i) {
            handlers.push_back(handler("h" + std::to_string(i + 1), c.responses[i],
                                       static_cast<std::int32_t>(i + 1)));
            subclass::AttachMessage(handlers.back(), hwnd, kMsg);
        }
        log.clear();
        EXPECT_EQ(win::sendMessage(hwnd, kMsg, 0, 0), c.result);
        EXPECT_EQ(log, c.calls);
        // A message without handlers on the subclassed window goes straight to the old one.
        log.clear();
        EXPECT_EQ(win::sendMessage(hwnd, 16, 0, 0), 100);
        EXPECT_EQ(log, std::vector<std::string>{"old(16)"});
        for (const auto& h : handlers) subclass::DetachMessage(h, hwnd, kMsg);
        EXPECT_FALSE(win::getProp(hwnd, key("")).has_value());
    }
}

TEST_F(Subclassing, HandlersSeeTheCurrentMessageAndReachTheOldProcedure) {
    auto h = handler("h1", emrConsume, 5);
    h->callOld = true;
    subclass::AttachMessage(h, hwnd, kMsg);
    EXPECT_EQ(win::sendMessage(hwnd, kMsg, 0, 0), 5);
    EXPECT_EQ(h->seenCurrent, kMsg);
    EXPECT_EQ(subclass::CurrentMessage(), kMsg);  // never cleared
    EXPECT_EQ(log, (std::vector<std::string>{"h1(15)", "old(15)", "via old=100"}));
}

TEST_F(Subclassing, RegistryInTheWindowsProperties) {
    auto a = handler("a", emrConsume, 0), b = handler("b", emrConsume, 0),
         c = handler("c", emrConsume, 0);
    subclass::AttachMessage(a, hwnd, kMsg);
    EXPECT_NE(win::windowProc(hwnd).target_type(), original.target_type());
    subclass::AttachMessage(a, hwnd, 16);  // the same object on a second message
    EXPECT_EQ(count("C" + key("")), 2);
    subclass::AttachMessage(b, hwnd, kMsg);
    subclass::AttachMessage(c, hwnd, kMsg);
    EXPECT_EQ(count(key("#15C")), 3);
    EXPECT_EQ(count("C" + key("")), 4);

    // The same object twice on one message: 13082, nothing changed.
    const auto e = attachError(b, hwnd);
    EXPECT_EQ(static_cast<std::uint32_t>(e.scode), 0x80040000u | 13082);
    EXPECT_EQ(e.description, u"Message already handled by another class");
    EXPECT_EQ(e.source, u"Vistrel.WindowProc");
    EXPECT_EQ(count(key("#15C")), 3);
    EXPECT_EQ(count("C" + key("")), 4);

    // Detaching the middle handler moves the third down.
    subclass::DetachMessage(b, hwnd, kMsg);
    EXPECT_EQ(count(key("#15C")), 2);
    EXPECT_EQ(slot(1), a);
    EXPECT_EQ(slot(2), c);
    EXPECT_FALSE(win::getProp(hwnd, key("#15#3")).has_value());
    // An object not registered for the message changes nothing.
    subclass::DetachMessage(b, hwnd, kMsg);
    subclass::DetachMessage(c, hwnd, 16);
    EXPECT_EQ(count("C" + key("")), 3);

    subclass::DetachMessage(a, hwnd, kMsg);
    subclass::DetachMessage(a, hwnd, 16);
    subclass::DetachMessage(c, hwnd, kMsg);
    // The last registration gone: the old procedure back, the window keys gone.
    EXPECT_EQ(win::windowProc(hwnd).target_type(), original.target_type());
    EXPECT_FALSE(win::getProp(hwnd, key("")).has_value());
    EXPECT_FALSE(win::getProp(hwnd, "C" + key("")).has_value());
    log.clear();
    EXPECT_EQ(win::sendMessage(hwnd, kMsg, 0, 0), 100);
    EXPECT_EQ(log, std::vector<std::string>{"old(15)"});
}

TEST_F(Subclassing, ErrorsForWindowsThatCannotBeSubclassed) {
    auto h = handler("h", emrConsume, 0);
    const struct {
        Hwnd hwnd;
        std::uint32_t code;
        std::u16string text;
    } cases[] = {
        {0x7FFF, 13083, u"Invalid window"},
        {win::createWindow(0, {0, 0, 5, 5}), 13084, u"Can't modify external window"},
    };
    win::setWindowProcessForTests(cases[1].hwnd, win::currentProcessId() + 1);
    for (const auto& c : cases) {
        const auto e = attachError(h, c.hwnd);
        EXPECT_EQ(static_cast<std::uint32_t>(e.scode), 0x80040000u | c.code);
        EXPECT_EQ(e.description, c.text);
        EXPECT_EQ(e.source, u"Vistrel.WindowProc");
        EXPECT_TRUE(win::propNames(c.hwnd).empty());
    }
}

TEST_F(Subclassing, AHandlerReleasedBeforeDetachingIsAnEmptySlot) {
    auto first = handler("h1", emrPreprocess, 1);
    auto gone = handler("h2", emrConsume, 2);
    subclass::AttachMessage(first, hwnd, kMsg);
    subclass::AttachMessage(gone, hwnd, kMsg);
    std::weak_ptr<Handler> watch = gone;
    gone.reset();
    EXPECT_TRUE(watch.expired());  // the registry holds no reference
    log.clear();
    // The dead last slot answers through the old procedure, as an empty slot does.
    EXPECT_EQ(win::sendMessage(hwnd, kMsg, 0, 0), 100);
    EXPECT_EQ(log, (std::vector<std::string>{"old(15)", "h1(15)", "old(15)"}));
    // A new handler may take the message; the dead slot does not count as a duplicate.
    auto again = handler("h3", emrConsume, 3);
    subclass::AttachMessage(again, hwnd, kMsg);
    EXPECT_EQ(count(key("#15C")), 3);

    // A failing handler is answered for by the old procedure; the error stays readable.
    again->fail_ = true;
    log.clear();
    com::takeErrorInfo();
    EXPECT_EQ(win::sendMessage(hwnd, kMsg, 0, 0), 100);
    const auto info = com::takeErrorInfo();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->description, u"handler failed");
}

TEST_F(Subclassing, ADestroyedWindowDropsItsRegistrations) {
    auto h = handler("h", emrPostProcess, 7);
    subclass::AttachMessage(h, hwnd, kMsg);
    subclass::AttachMessage(h, hwnd, static_cast<std::int32_t>(win::kNcDestroy));
    // The old procedure sees the last message after the handler, then the window is back on
    // it with no registry left.
    win::setProp(hwnd, "client", 1);
    log.clear();
    win::destroyWindow(hwnd);
    EXPECT_EQ(log, (std::vector<std::string>{"h(130)", "old(130)"}));
    EXPECT_FALSE(win::isWindow(hwnd));

    // On a window that lives on, the clean-up restores the procedure and keeps foreign keys.
    const Hwnd other = win::createWindow(0, {0, 0, 5, 5});
    win::setProp(other, "client", 1);
    subclass::AttachMessage(h, other, kMsg);
    subclass::SubclassProc(other, static_cast<std::int32_t>(win::kNcDestroy), 0, 0);
    EXPECT_EQ(win::propNames(other), std::vector<std::string>{"client"});
    EXPECT_FALSE(win::windowProc(other));

    // A handler that detaches itself on the last message leaves the old procedure in place.
    class SelfDetaching : public Handler {
      public:
        using Handler::Handler;
        com::HRESULT Invoke(com::DispId id, unsigned kinds, std::vector<com::Variant>& args,
                            com::Variant* result, com::ExcepInfo* excep) override {
            if (id == DISPID_WindowProc)
                subclass::DetachMessage(self.lock(), static_cast<Hwnd>(args.at(0).toI4()),
                                        args.at(1).toI4());
            return Handler::Invoke(id, kinds, args, result, excep);
        }
        std::weak_ptr<com::Dispatch> self;
    };
    const Hwnd third = win::createWindow(0, {0, 0, 5, 5});
    win::setWindowProc(third, original);
    auto detaching = std::make_shared<SelfDetaching>("d", emrConsume, 0, log);
    detaching->self = detaching;
    subclass::AttachMessage(detaching, third, static_cast<std::int32_t>(win::kNcDestroy));
    subclass::SubclassProc(third, static_cast<std::int32_t>(win::kNcDestroy), 0, 0);
    EXPECT_EQ(win::windowProc(third).target_type(), original.target_type());
    // What stays is the message's count at zero, as after any last detach.
    EXPECT_EQ(win::propNames(third), std::vector<std::string>{std::to_string(third) + "#130C"});
}

TEST(GSubclassObject, MembersReachTheRoutinesThroughDispatch) {
    win::resetForTests();
    const Hwnd hwnd = win::createWindow(0, {0, 0, 5, 5});
    auto global = std::make_shared<GSubclass>();
    auto own = std::make_shared<ISubclass>();
    com::put(*own, u"MsgResponse", std::int32_t{emrPostProcess});
    EXPECT_EQ(com::get(*own, u"MsgResponse").toI4(), emrPostProcess);
    com::call(*global, u"AttachMessage",
              {com::Variant(std::static_pointer_cast<com::Dispatch>(own)),
               static_cast<std::int32_t>(hwnd), std::int32_t{3}});
    EXPECT_EQ(win::sendMessage(hwnd, 3, 0, 0), 0);
    EXPECT_EQ(com::get(*global, u"CurrentMessage").toI4(), 3);
    try {
        com::call(*global, u"AttachMessage",
                  {com::Variant(std::static_pointer_cast<com::Dispatch>(own)),
                   static_cast<std::int32_t>(hwnd), std::int32_t{3}});
        ADD_FAILURE() << "attached twice";
    } catch (const com::ComError& e) {
        EXPECT_EQ(static_cast<std::uint32_t>(e.hr()), 0x80040000u | 13082);
        EXPECT_EQ(e.source(), u"Vistrel.WindowProc");
    }
    com::call(*global, u"DetachMessage",
              {com::Variant(std::static_pointer_cast<com::Dispatch>(own)),
               static_cast<std::int32_t>(hwnd), std::int32_t{3}});
    EXPECT_FALSE(win::windowProc(hwnd));
    EXPECT_EQ(global->GetTypeInfo()->find(0x60030003, com::DISPATCH_METHOD)->name,
              u"CallOldWindowProc");
    win::resetForTests();
}

// Both interfaces as a client reaches them: members in order with their DISPIDs, kinds and
// help texts.
TEST(SubclassSurface, MembersInOrderWithTheirHelpTexts) {
    namespace com = platform::com;
    constexpr unsigned M = com::DISPATCH_METHOD, G = com::DISPATCH_PROPERTYGET,
                       P = com::DISPATCH_PROPERTYPUT;
    const std::u16string response =
        u"Get/set how you will respond to a message.  Raised whenever a message is encountered.  "
        u"Call the CurrentMessage property to determine what message you are currently "
        u"responding to.";
    struct Member {
        const char16_t* name;
        com::DispId id;
        unsigned kind;
        std::u16string help;
    };
    const struct {
        std::shared_ptr<com::Dispatch> object;
        com::Guid iid;
        std::vector<Member> members;
    } interfaces[] = {
        {std::make_shared<ISubclass>(),
         IID__ISubclass,
         {{u"MsgResponse", 0x40030000, G, response},
          {u"MsgResponse", 0x40030000, P, response},
          {u"WindowProc", 0x60030000, M,
           u"Raised whenever a message you have subclassed is sent."}}},
        {std::make_shared<GSubclass>(),
         IID__GSubclass,
         {{u"AttachMessage", 0x60030001, M, u"Start subclassing for a particular message."},
          {u"DetachMessage", 0x60030002, M, u"Stop subclassing for a particular message."},
          {u"CurrentMessage", 0x68030000, G,
           u"Returns the message currently being worked on.  Only valid in the MsgResponse and "
           u"WindowProc items of your implemented interface."},
          {u"CallOldWindowProc", 0x60030003, M,
           u"Calls the window procedure for this handle which was installed before you added the "
           u"subclass."}}},
    };
    for (const auto& in : interfaces) {
        const com::TypeInfo* info = in.object->GetTypeInfo();
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->iid, in.iid);
        ASSERT_EQ(info->members.size(), in.members.size());
        for (std::size_t i = 0; i < in.members.size(); ++i) {
            EXPECT_EQ(info->members[i].name, in.members[i].name) << i;
            EXPECT_EQ(info->members[i].id, in.members[i].id) << i;
            EXPECT_EQ(info->members[i].kind, in.members[i].kind) << i;
            EXPECT_EQ(info->members[i].help, in.members[i].help) << i;
        }
    }
}
