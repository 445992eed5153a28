// The viewer control through its automation surface, in process: the members by their
// dispatch identifiers, navigation, the property bag, events to a host's sink through the
// connection point, downloads and the scroll layout.
#include "viewer/control/viewer.h"

#include <set>

#include "platform/com/events.h"
#include "platform/system/storefile.h"
#include "viewer/state/viewer_state.h"
#include "viewer_fixture.h"

using namespace vistrel;
using namespace vistrel::testing;
using namespace platform::com;

namespace {

// Records the width in pixels of every picture shown (0 for an empty page) and the status.
struct RecordingPages : PageDisplay {
    std::vector<std::int32_t> shown;
    std::u16string status;
    void showPicture(const platform::imaging::Picture* picture,
                     const std::u16string& text) override {
        shown.push_back(picture ? picture->width : 0);
        status = text;
    }
};

class ViewerControl : public ViewerTest {
  protected:
    void SetUp() override {
        ViewerTest::SetUp();
        pages = std::make_shared<RecordingPages>();
        ViewerParts parts;
        parts.pages = pages;
        viewer = std::make_shared<Viewer>(std::move(parts));
    }
    Variant get(DispId id) { return invoke(*viewer, id, DISPATCH_PROPERTYGET); }
    void put(DispId id, Variant v) { invoke(*viewer, id, DISPATCH_PROPERTYPUT, {std::move(v)}); }
    Variant call(DispId id, std::vector<Variant> args = {}) {
        return invoke(*viewer, id, DISPATCH_METHOD, std::move(args));
    }

    std::shared_ptr<RecordingPages> pages;
    std::shared_ptr<Viewer> viewer;
};

}  // namespace

TEST_F(ViewerControl, SurfaceHasEveryMemberAtItsIdentifier) {
    const TypeInfo* info = viewer->GetTypeInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->iid, IID__Viewer);
    // Every member in slot order: its name, DISPID and kinds (a property's get before its put).
    constexpr unsigned M = DISPATCH_METHOD, G = DISPATCH_PROPERTYGET, P = DISPATCH_PROPERTYPUT;
    const struct {
        const char16_t* name;
        DispId id;
        std::vector<unsigned> kinds;
    } table[] = {
        {u"PicFile", 0x40030041, {G, P}},
        {u"ServerCA", 0x68030011, {P}},
        {u"IssuerID", 0x68030010, {P}},
        {u"param", 0x6803000F, {P}},
        {u"Initialize", 0x60030032, {M}},
        {u"OpenImage", 0x60030033, {M}},
        {u"OpenArrImage", 0x60030035, {M}},
        {u"isMP", 0x6803000E, {P}},
        {u"charset", 0x6803000D, {P}},
        {u"xml", 0x6803000C, {P}},
        {u"page", 0x6803000B, {G, P}},
        {u"LinkPage", 0x6803000A, {G}},
        {u"Border", 0x68030009, {G, P}},
        {u"BackgroundColor", 0x68030008, {G, P}},
        {u"AvailablePrinter", 0x60030037, {M}},
        {u"RunViewer", 0x60030038, {M}},
        {u"FirstPage", 0x60030039, {M}},
        {u"PreviousPage", 0x6003003A, {M}},
        {u"NextPage", 0x6003003B, {M}},
        {u"LastPage", 0x6003003C, {M}},
        {u"hwnd", 0x68030007, {G}},
        {u"PageTotal", 0x68030006, {G}},
        {u"Zoom", 0x68030005, {G, P}},
        {u"ToolbarVisible", 0x68030004, {G, P}},
        {u"Version", 0x68030003, {G}},
        {u"FitWidth", 0x68030002, {G, P}},
        {u"FitHeight", 0x68030001, {G, P}},
        {u"FindText", 0x6003003E, {M}},
        {u"FindTextAndHighlight", 0x6003003F, {M}},
        {u"BeginDownload", 0x60030040, {M}},
        {u"Clear", 0x60030041, {M}},
        {u"PrintPDF", 0x60030042, {M}},
        {u"IsAlphaNumeric", 0x60030047, {M}},
    };
    std::size_t slot = 0;
    for (const auto& t : table) {
        DispId found = 0;
        EXPECT_EQ(viewer->GetIDsOfNames(t.name, found), S_OK);
        EXPECT_EQ(found, t.id) << text::toUtf8(t.name);
        for (unsigned kind : t.kinds) {
            ASSERT_LT(slot, info->members.size());
            const MemberInfo& m = info->members[slot++];
            EXPECT_EQ(m.name, t.name);  // letter case exactly
            EXPECT_EQ(m.id, t.id) << text::toUtf8(t.name);
            EXPECT_EQ(m.kind, kind) << text::toUtf8(t.name);
        }
    }
    EXPECT_EQ(slot, info->members.size());
    // The optional arguments, and the result kinds a caller reads.
    const MemberInfo* open = info->find(dispid::OpenImage, M);
    ASSERT_NE(open, nullptr);
    ASSERT_EQ(open->params.size(), 5u);
    for (const auto& p : open->params) EXPECT_TRUE(p.optional());
    EXPECT_EQ(open->result, VT_BSTR);
    const MemberInfo* print = info->find(dispid::PrintPDF, M);
    ASSERT_NE(print, nullptr);
    EXPECT_EQ(print->params.size(), 6u);
    EXPECT_EQ(print->result, VT_BOOL);
    const MemberInfo* find = info->find(dispid::FindText, M);
    ASSERT_NE(find, nullptr);
    ASSERT_EQ(find->params.size(), 3u);
    EXPECT_FALSE(find->params[0].optional());
    EXPECT_TRUE(find->params[1].optional() && find->params[2].optional());
    const TypeInfo& events = viewerEvents();
    EXPECT_EQ(events.iid, DIID___Viewer);
    ASSERT_EQ(events.members.size(), 18u);
    const char16_t* eventNames[] = {
        u"LoadCompleted",   u"change",           u"Click",         u"DoubleClick",
        u"KeyDown",         u"KeyPress",         u"KeyUp",         u"MouseDown",
        u"MouseMove",       u"MouseUp",          u"Paint",         u"Resize",
        u"DownloadStarted", u"DownloadProgress", u"DownloadError", u"DownloadComplete",
        u"ErrorMsg",        u"PrintResult"};
    for (std::size_t i = 0; i < 18; ++i) {
        EXPECT_EQ(events.members[i].id, DispId(i + 1));
        EXPECT_EQ(events.members[i].name, eventNames[i]);
    }
    EXPECT_EQ(events.idOf(u"ErrorMsg"), event::ErrorMsg);
    EXPECT_EQ(events.idOf(u"PrintResult"), 18);
    EXPECT_EQ(events.members[7].params.size(), 4u);  // MouseDown: Button, Shift, x, Y

    // PicFile and Clear differ only in their high bits.
    put(dispid::PicFile, Variant(u"a.png"));
    EXPECT_EQ(get(dispid::PicFile).text(), u"a.png");
}

TEST_F(ViewerControl, EdgeCasesOfTheSmallMembers) {
    EXPECT_EQ(get(dispid::page).toI4(), -1);
    EXPECT_EQ(get(dispid::PageTotal).toI4(), 0);
    EXPECT_EQ(get(dispid::LinkPage).toI4(), 0);
    EXPECT_EQ(get(dispid::hwnd).toI4(), 0);  // no face in a process without widgets

    const std::pair<const char16_t*, bool> chars[] = {{u"a", true},   {u"Z", true},  {u"7", true},
                                                      {u"ab", false}, {u"-", false}, {u"", false},
                                                      {u"가", false}, {u"é", false}};
    for (auto [s, expected] : chars)
        EXPECT_EQ(call(dispid::IsAlphaNumeric, {Variant(s)}).toBool(), expected) << text::toUtf8(s);

    put(dispid::ToolbarVisible, Variant(true));
    EXPECT_FALSE(get(dispid::ToolbarVisible).toBool());

    EXPECT_EQ(get(dispid::Version).text(), libraryVersion());
    EXPECT_EQ(text::Split(libraryVersion(), u".").size(), 4u);
    EXPECT_EQ(text::Split(libraryVersion(), u".")[2], u"0");

    for (std::size_t n : {0u, 2u, 10u}) {
        viewerState().charset = u"x";
        call(dispid::Initialize, std::vector<Variant>(n, Variant(std::int32_t(1))));
        EXPECT_EQ(viewerState().charset, u"Euc-kr") << n;
    }

    EXPECT_EQ(get(dispid::Zoom).toI4(), 200);
    put(dispid::Zoom, Variant(std::int32_t{150}));
    EXPECT_EQ(get(dispid::Zoom).toI4(), 150);
    call(dispid::Clear);
    EXPECT_EQ(get(dispid::Zoom).toI4(), 200);

    put(dispid::ServerCA, Variant(u"CA"));
    put(dispid::isMP, Variant(true));
    put(dispid::charset, Variant(u"utf-8"));
    put(dispid::xml, Variant(u"89504E47,"));
    EXPECT_EQ(viewerState().ServerCA, u"CA");
    EXPECT_TRUE(viewerState().topmost);
    EXPECT_EQ(viewerState().charset, u"utf-8");
    EXPECT_EQ(viewerState().PageImageList->text(), u"89504E47,");
    EXPECT_TRUE(logged("    Property Xml(9): 89504E47,"));
    EXPECT_TRUE(logged("      ServerCA.......[Start]"));

    EXPECT_EQ(call(dispid::FindText, {Variant(u"x")}).text(), u"");
    EXPECT_EQ(call(dispid::FindTextAndHighlight, {Variant(u"o.pdf"), Variant(u"x")}).text(), u"");
}

TEST_F(ViewerControl, SettingsOutliveTheViewerThatSetThem) {
    call(dispid::Initialize);
    put(dispid::param,
        Variant(u"1Velmora/DES|" + cipherOf(u"usedefaultprinter==1|wintitle==제목|")));
    EXPECT_TRUE(printSettings().UseDefaultPrinter);
    viewer.reset();
    auto next = std::make_shared<Viewer>();
    invoke(*next, dispid::Clear, DISPATCH_METHOD);
    EXPECT_TRUE(printSettings().UseDefaultPrinter);
    EXPECT_EQ(viewerState().settings.wintitle, u"제목");
}

// The put cuts the prefix off the caller's by-reference text: what is left is the cipher text,
// which holds no "|", so putting it again reads nothing. A text that was not read past its
// first "|" is cut all the same; one without "|" is left as it was.
TEST_F(ViewerControl, ParamCutsThePrefixOffItsByReferenceArgument) {
    call(dispid::Initialize);
    const std::u16string cipher = cipherOf(u"wintitle==참조로 받은 제목|");
    std::vector<Variant> args{Variant(u"1Velmora/DES|" + cipher)};
    invokeByRef(*viewer, dispid::param, DISPATCH_PROPERTYPUT, args);
    EXPECT_EQ(args[0].text(), cipher);
    EXPECT_EQ(viewerState().settings.wintitle, u"참조로 받은 제목");

    put(dispid::param, Variant(u"1Velmora/DES|" + cipherOf(u"wintitle==다른 제목|")));
    invokeByRef(*viewer, dispid::param, DISPATCH_PROPERTYPUT, args);
    EXPECT_EQ(args[0].text(), cipher);
    EXPECT_EQ(viewerState().settings.wintitle, u"다른 제목");  // nothing parsed

    const struct {
        std::u16string sent, left;
    } cases[] = {
        {u"7Velmora/DES|abc", u"abc"},        {u"Velmora/DES|a|b", u"a|b"},
        {u"VelmoraDES|abc", u"abc"},          {u"|abc", u"abc"},
        {u"no bar at all", u"no bar at all"},
    };
    for (const auto& c : cases) {
        std::vector<Variant> one{Variant(c.sent)};
        invokeByRef(*viewer, dispid::param, DISPATCH_PROPERTYPUT, one);
        EXPECT_EQ(one[0].text(), c.left) << text::toUtf8(c.sent);
    }
}

// Every page text is followed by a comma: what follows the last comma is not a page.
TEST_F(ViewerControl, PageListCountsItsCommas) {
    const std::u16string a = text::toHex(bmpOf(1, 4)), b = text::toBase64(bmpOf(2, 4));
    struct Case {
        std::u16string list;
        std::int32_t pages;
        std::int32_t firstWidth;  // 0: an empty first page, which decodes to nothing
    };
    const Case cases[] = {
        {a + u"," + b + u",", 2, 1},
        {a + u"," + b, 1, 1},
        {b + u",", 1, 2},
        {u",", 1, 0},
    };
    for (const Case& c : cases) {
        pages->shown.clear();
        put(dispid::xml, Variant(c.list));
        call(dispid::RunViewer, {Variant(false)});
        EXPECT_EQ(get(dispid::PageTotal).toI4(), c.pages) << text::toUtf8(c.list);
        EXPECT_EQ(get(dispid::page).toI4(), 1) << text::toUtf8(c.list);
        EXPECT_EQ(pages->shown, std::vector<std::int32_t>{c.firstWidth}) << text::toUtf8(c.list);
    }
}

TEST_F(ViewerControl, NavigationOfAShownDocument) {
    // Nothing shown: the navigation members do nothing.
    call(dispid::NextPage);
    put(dispid::page, Variant(std::int32_t{2}));
    EXPECT_TRUE(pages->shown.empty());

    // Three pages, told apart by their widths; the last one in Base64.
    put(dispid::xml, Variant(text::toHex(bmpOf(1, 4)) + u"," + text::toHex(bmpOf(2, 4)) + u"," +
                             text::toBase64(bmpOf(3, 4)) + u","));
    call(dispid::RunViewer, {Variant(false)});
    EXPECT_EQ(get(dispid::PageTotal).toI4(), 3);
    EXPECT_EQ(pages->shown, std::vector<std::int32_t>{1});
    EXPECT_EQ(pages->status, u"Width:15    Height:60   Zoom 1:0");
    call(dispid::PreviousPage);  // on page 1
    call(dispid::FirstPage);
    call(dispid::NextPage);
    call(dispid::LastPage);
    call(dispid::NextPage);  // on the last page
    EXPECT_EQ(pages->shown, (std::vector<std::int32_t>{1, 2, 3}));
    call(dispid::PreviousPage);
    call(dispid::FirstPage);
    EXPECT_EQ(pages->shown, (std::vector<std::int32_t>{1, 2, 3, 2, 1}));

    // page put and the fit puts show the pictures of a run, never a file nobody opened.
    put(dispid::page, Variant(std::int32_t{3}));
    put(dispid::page, Variant(std::int32_t{3}));  // the current page: nothing
    put(dispid::page, Variant(std::int32_t{4}));  // out of range: nothing
    put(dispid::page, Variant(std::int32_t{0}));
    put(dispid::FitWidth, Variant(true));
    put(dispid::FitHeight, Variant(false));
    EXPECT_EQ(get(dispid::page).toI4(), 3);
    EXPECT_EQ(pages->shown, (std::vector<std::int32_t>{1, 2, 3, 2, 1, 3, 3}));
    EXPECT_TRUE(get(dispid::FitWidth).toBool());
    EXPECT_FALSE(get(dispid::FitHeight).toBool());
}

TEST_F(ViewerControl, HostPlacesTheControlOnItsSite) {
    struct Site : Implements<ControlSite> {
        std::u16string controlName() override { return u"Viewer1"; }
    };
    auto view = query<ControlView>(viewer);
    ASSERT_TRUE(view);
    auto site = std::make_shared<Site>();
    EXPECT_EQ(view->SetSite(site), S_OK);
    ASSERT_EQ(view->GetSite(), site);
    EXPECT_EQ(view->GetSite()->controlName(), u"Viewer1");
    // Without a user interface there is no widget to hand over.
    void* widget = reinterpret_cast<void*>(1);
    EXPECT_EQ(view->GetWidget(widget), E_FAIL);
    EXPECT_EQ(widget, nullptr);
    EXPECT_EQ(view->SetSite(nullptr), S_OK);
    EXPECT_EQ(view->GetSite(), nullptr);
}

TEST_F(ViewerControl, PropertyBagDefaultsAndRoundTrip) {
    ASSERT_EQ(viewer->InitNew(), S_OK);
    EXPECT_EQ(static_cast<std::uint32_t>(get(dispid::BackgroundColor).toI4()), kButtonFace);
    EXPECT_EQ(get(dispid::Border).toI4(), 0);

    MemoryPropertyBag fresh;
    ASSERT_EQ(viewer->Save(fresh), S_OK);
    ASSERT_EQ(fresh.values().size(), 2u);
    EXPECT_EQ(fresh.values()[0].first, u"FitHeight");
    EXPECT_EQ(fresh.values()[1].first, u"FitWidth");
    EXPECT_FALSE(fresh.values()[0].second.toBool());

    put(dispid::BackgroundColor, Variant(std::int32_t{0x00FF8000}));
    put(dispid::Border, Variant(std::int32_t{1}));
    put(dispid::FitWidth, Variant(true));
    MemoryPropertyBag changed;
    ASSERT_EQ(viewer->Save(changed), S_OK);
    ASSERT_EQ(changed.values().size(), 4u);
    EXPECT_EQ(changed.values()[0].first, u"BackColor");
    EXPECT_EQ(changed.values()[1].first, u"BorderStyle");

    auto other = std::make_shared<Viewer>();
    ASSERT_EQ(other->Load(changed), S_OK);
    EXPECT_EQ(invoke(*other, dispid::BackgroundColor, DISPATCH_PROPERTYGET).toI4(), 0x00FF8000);
    EXPECT_EQ(invoke(*other, dispid::Border, DISPATCH_PROPERTYGET).toI4(), 1);
    EXPECT_TRUE(invoke(*other, dispid::FitWidth, DISPATCH_PROPERTYGET).toBool());
    // An empty bag gives the defaults.
    MemoryPropertyBag empty;
    ASSERT_EQ(other->Load(empty), S_OK);
    EXPECT_EQ(static_cast<std::uint32_t>(
                  invoke(*other, dispid::BackgroundColor, DISPATCH_PROPERTYGET).toI4()),
              kButtonFace);
    EXPECT_FALSE(invoke(*other, dispid::FitWidth, DISPATCH_PROPERTYGET).toBool());
}

TEST_F(ViewerControl, DownloadsRaiseTheirEventsAndJudgeByTheBytesReceived) {
    auto container = query<ConnectionPointContainer>(std::shared_ptr<Unknown>(viewer));
    ASSERT_TRUE(container);
    std::vector<std::string> events;
    auto sink = std::make_shared<SinkDispatch>();
    sink->on(event::DownloadStarted,
             [&](auto& a) { events.push_back("started " + text::toUtf8(a[0].toText())); })
        .on(event::DownloadError,
            [&](auto& a) { events.push_back("error " + text::toUtf8(a[0].toText())); })
        .on(event::DownloadComplete, [&](auto& a) {
            events.push_back("complete " + text::toUtf8(a[0].toText()) + " " +
                             text::toUtf8(a[1].toText()));
        });
    std::uint32_t cookie = 0;
    ASSERT_EQ(container->Advise(DIID___Viewer, sink, cookie), S_OK);

    // No downloader (no event loop): the read cannot start.
    EXPECT_FALSE(call(dispid::BeginDownload, {Variant(u"http://x/"), Variant(u"f")}).toBool());

    const auto target = machine_.path() / "got.bin";
    std::ofstream(target) << "an older and longer file";
    const std::u16string file = text::fromUtf8(target.string());
    viewer->downloadFinished(file, true, {'n', 'e', 'w'});
    std::ifstream in(target);
    std::string content((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(content, "new");
    viewer->downloadFinished(file, true, {});
    viewer->downloadFinished(file, false, {'x'});
    const std::string f = target.string();
    EXPECT_EQ(events,
              (std::vector<std::string>{"started f", "complete 3 " + f, "error " + f,
                                        "complete 0 " + f, "error " + f, "complete 1 " + f}));
    ASSERT_EQ(container->Unadvise(cookie), S_OK);
    viewer->downloadFinished(file, true, {'y'});
    EXPECT_EQ(events.size(), 6u);
}

// A download that cannot be written whole (the disk is full) raises DownloadError and leaves
// the file that was there as it was.
TEST_F(ViewerControl, AFailedDownloadWriteLeavesTheOldFileWhole) {
    auto container = query<ConnectionPointContainer>(std::shared_ptr<Unknown>(viewer));
    ASSERT_TRUE(container);
    std::vector<std::string> events;
    auto sink = std::make_shared<SinkDispatch>();
    sink->on(event::DownloadError, [&](auto&) { events.push_back("error"); })
        .on(event::DownloadComplete, [&](auto&) { events.push_back("complete"); });
    std::uint32_t cookie = 0;
    ASSERT_EQ(container->Advise(DIID___Viewer, sink, cookie), S_OK);
    const auto folder = machine_.path() / "downloads";
    std::filesystem::create_directory(folder);
    const auto target = folder / "got.bin";
    std::ofstream(target) << "the file before";
    platform::system::setStoreWriteFault([](const std::filesystem::path&) { return ENOSPC; });
    viewer->downloadFinished(text::fromUtf8(target.string()), true, {'n', 'e', 'w'});
    platform::system::setStoreWriteFault(nullptr);
    std::ifstream in(target);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "the file before");
    EXPECT_EQ(events, (std::vector<std::string>{"error", "complete"}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
    ASSERT_EQ(container->Unadvise(cookie), S_OK);
}

TEST_F(ViewerControl, ScrollLayoutInPixelsHoldsLargeScans) {
    // An A4 page scanned at 200 dpi is 1654 x 2339 pixels: more than 16-bit twips can hold.
    const ScrollLayout a4 = layoutScrollBars(1654, 2339, 800, 600);
    EXPECT_EQ(a4.horizontalMax, 854);
    EXPECT_TRUE(a4.horizontalEnabled);
    EXPECT_EQ(a4.verticalMax, 1739);
    EXPECT_TRUE(a4.verticalEnabled);
    const ScrollLayout fits = layoutScrollBars(800, 601, 800, 600);
    EXPECT_EQ(fits.horizontalMax, 0);
    EXPECT_FALSE(fits.horizontalEnabled);
    EXPECT_EQ(fits.verticalMax, 1);
    EXPECT_TRUE(fits.verticalEnabled);
}

TEST_F(ViewerControl, WorkFolderAndFreeNames) {
    EXPECT_TRUE(std::filesystem::is_directory(viewer->workFolder()));
    EXPECT_EQ(viewer->workFolder().parent_path(), machine_.path() / "AppData");
    viewer->setWorkFolder(text::fromUtf8((machine_.path() / "work").string()) + u"  ");
    EXPECT_TRUE(std::filesystem::is_directory(machine_.path() / "work"));
    const std::u16string name = Viewer::randomFreeName();
    const long n = text::CLng(name);
    EXPECT_GE(n, 1);
    EXPECT_LE(n, 99999999);
}

namespace {

TEST_F(ViewerControl, OpenImageTakesExistingFilesWholeAndAnswersEmptyOnErrors) {
    const auto folder = machine_.path() / "scans with blanks";
    std::filesystem::create_directories(folder);
    const auto write = [&](const char* name, const std::vector<std::uint8_t>& bytes) {
        std::ofstream(folder / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    };
    write("page one.bmp", bmpOf(4, 2));
    write("a.bmp", bmpOf(5, 2));
    write("b.bmp", bmpOf(6, 2));
    write("broken.bmp", {'B', 'M', 1, 2, 3});
    const std::u16string dir = text::fromUtf8(folder.string()) + u"/";
    const auto open = [&](std::u16string file, std::u16string path, std::int32_t page,
                          std::int32_t zoom) {
        return call(dispid::OpenImage, {Variant(file), Variant(path), Variant(page), Variant(zoom)})
            .toText();
    };
    // A path with blanks that names a file is that file.
    EXPECT_EQ(open(u"page one.bmp", dir, 1, 0), u"OK");
    EXPECT_EQ(pages->shown.back(), 4);
    EXPECT_EQ(get(dispid::PageTotal).toI4(), 1);
    // A folder prefix and page files split on blanks; a page out of range shows page 1.
    // (a folder prefix with blanks of its own cannot be split off)
    EXPECT_EQ(open(dir + u" a.bmp b.bmp", u"", 2, 100), u"");
    const std::u16string plain = text::fromUtf8((machine_.path() / "plain").string()) + u"/";
    std::filesystem::create_directories(machine_.path() / "plain");
    std::filesystem::copy_file(folder / "a.bmp", machine_.path() / "plain" / "a.bmp");
    std::filesystem::copy_file(folder / "b.bmp", machine_.path() / "plain" / "b.bmp");
    EXPECT_EQ(open(plain + u" a.bmp b.bmp", u"", 2, 100), u"OK");
    EXPECT_EQ(pages->shown.back(), 6);
    EXPECT_EQ(get(dispid::PageTotal).toI4(), 2);
    EXPECT_EQ(open(plain + u" a.bmp b.bmp", u"", 7, 100), u"OK");
    EXPECT_EQ(pages->shown.back(), 5);
    // Missing and undecodable files, and pictures out of range, answer an empty text.
    const auto shownBefore = pages->shown.size();
    EXPECT_EQ(open(u"missing.bmp", dir, 1, 0), u"");
    EXPECT_EQ(open(u"broken.bmp", dir, 1, 0), u"");
    EXPECT_EQ(
        call(dispid::OpenArrImage, {Variant(std::int32_t{9}), Variant(std::int32_t{100})}).toText(),
        u"");
    EXPECT_EQ(pages->shown.size(), shownBefore);
}

}  // namespace
