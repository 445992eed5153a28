#include "viewer/control/page_pictures.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <limits>
#include <new>
#include <optional>

#include "platform/text/text.h"

namespace vistrel {

namespace {

namespace text = platform::text;
namespace imaging = platform::imaging;

constexpr std::size_t kNever = std::numeric_limits<std::size_t>::max();
// The use of the reader's own page, before every other.
constexpr std::size_t kNow = kNever - 1;
constexpr unsigned kMostWorkers = 4;
// A worker waiting for room looks again this often: a picture let go in the reader's hands
// makes room without a word to the workers.
constexpr auto kRoomLook = std::chrono::milliseconds(20);

// A whole decimal number from the environment; nullopt when unset or not one.
std::optional<unsigned long> environmentNumber(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    char* end = nullptr;
    const unsigned long n = std::strtoul(value, &end, 10);
    if (*end != '\0') return std::nullopt;
    return n;
}

}  // namespace

std::size_t PagePictures::bytesOf(std::int32_t width, std::int32_t height) {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
}

// The bytes of every page picture alive in the process, whichever document it came from: a
// picture of an earlier document still on screen counts against the budget of the next.
std::atomic<std::size_t>& PagePictures::processAlive() {
    static std::atomic<std::size_t>* bytes = new std::atomic<std::size_t>(0);
    return *bytes;
}

// A shared picture that counts as alive until the last holder lets it go; its pixel storage then
// goes to the imaging store, for the next page decoded to take.
PicturePtr PagePictures::counting(imaging::Picture&& picture) {
    const std::size_t bytes = bytesOf(picture.width, picture.height);
    auto* owned = new imaging::Picture(std::move(picture));
    PicturePtr shared;
    try {
        shared = PicturePtr(owned, [alive = alive_, bytes](const imaging::Picture* p) {
            // Off the count before its storage joins the store, so nothing counts twice.
            processAlive() -= bytes;
            auto* mine = const_cast<imaging::Picture*>(p);  // made non-const above
            imaging::keepPixels(std::move(mine->pixels));
            delete mine;
            if (auto* changed = alive->changed.load()) changed->notify_all();
        });
    } catch (...) {
        delete owned;
        throw;
    }
    processAlive() += bytes;
    return shared;
}

std::size_t PagePictures::counted() const {
    return processAlive().load() + inFlight_ + leased_ + imaging::keptPixelBytes();
}

void PagePictures::notePeak() {
    peak_ = std::max(peak_, counted());
}

PageDecoding PageDecoding::defaults() {
    PageDecoding d;
    const unsigned cores = std::thread::hardware_concurrency();
    d.workers = cores > 1 ? std::min(cores - 1, kMostWorkers) : 0;
    if (auto n = environmentNumber("TESSEL_PAGE_WORKERS"))
        d.workers = static_cast<unsigned>(std::min<unsigned long>(*n, kMostWorkers * 4));
    if (auto mb = environmentNumber("TESSEL_PAGE_MEMORY_MB"); mb && *mb > 0 && *mb < (1ul << 20))
        d.budgetBytes = static_cast<std::size_t>(*mb) << 20;
    return d;
}

PagePictures::PagePictures(std::shared_ptr<const PageListText> list, PageDecoding decoding,
                           std::uint32_t fill)
    : list_(std::move(list)), decoding_(decoding), fill_(fill), alive_(std::make_shared<Alive>()) {
    alive_->changed = &changed_;
    // Split in place: each page is a place in the shared list.
    if (list_) {
        std::size_t start = 0;
        for (std::size_t comma = list_->find(u','); comma != std::u16string::npos;
             comma = list_->find(u',', start)) {
            pages_.push_back({start, comma - start});
            start = comma + 1;
        }
    }
    slots_.resize(pages_.size() + 1);
    const unsigned workers =
        static_cast<unsigned>(std::min<std::size_t>(decoding_.workers, pages_.size()));
    if (workers > 0) imaging::prepareDecoders();
    for (unsigned i = 0; i < workers; ++i) workers_.emplace_back([this] { work(); });
}

std::optional<text::ByteString> PagePictures::pageBytes(std::int32_t page, bool& empty) const {
    const Span span = pages_[static_cast<std::size_t>(page - 1)];
    empty = span.count == 0;
    if (empty) return std::nullopt;
    // A page kept as the bytes of its Base64 is read from them: they are what its text gives
    // (a text of hexadecimal digits alone would be read as hexadecimal, so it is read as text).
    using Run = platform::text::PackedText::Run;
    if (const Run* run = list_->packed().runOf(span.start, span.count);
        run && run->kind == Run::Kind::Base64 && !run->hexDigits)
        return text::ByteString(run->narrow.begin(), run->narrow.end());
    const std::u16string pageText = list_->text(span.start, span.count);
    auto bytes = text::fromHex(pageText);
    if (!bytes) bytes = text::fromBase64(pageText);
    return bytes;
}

PagePictures::~PagePictures() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (auto& worker : workers_) worker.join();
    // Pictures still in other hands count on in the count they share, and wake nobody.
    std::lock_guard<std::mutex> lock(mutex_);
    alive_->changed = nullptr;
}

void PagePictures::plan(std::vector<std::int32_t> order) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        plan_.clear();
        for (std::int32_t page : order)
            if (page >= 1 && page <= count()) plan_.push_back(page);
        position_ = 0;
        // What the new plan never wants is given up now.
        for (std::size_t page = 1; page < slots_.size(); ++page)
            if (slots_[page].state == State::Held &&
                nextUse(static_cast<std::int32_t>(page)) == kNever)
                release(slots_[page]);
    }
    changed_.notify_all();
}

void PagePictures::rest() {
    plan({});
    std::size_t keep = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // What is still alive (the picture on screen) leaves that much less room to keep.
        const std::size_t held = processAlive().load() + inFlight_ + leased_;
        const std::size_t room = held < decoding_.budgetBytes ? decoding_.budgetBytes - held : 0;
        keep = std::min(room, 2 * headroom_);
    }
    imaging::trimKeptPixels(keep);
}

std::size_t PagePictures::nextUse(std::int32_t page) const {
    for (std::size_t i = position_; i < plan_.size(); ++i)
        if (plan_[i] == page) return i;
    return kNever;
}

void PagePictures::release(Slot& slot) {
    if (slot.picture) slot.lingering = slot.picture;
    slot.bytes = 0;
    slot.picture.reset();
    slot.state = State::Waiting;
}

bool PagePictures::earlierWaits(std::size_t use) const {
    for (std::size_t i = position_; i < use && i < plan_.size(); ++i) {
        const Slot& slot = slots_[static_cast<std::size_t>(plan_[i])];
        if (slot.state == State::Decoding && !slot.roomMade) return true;
    }
    return false;
}

void PagePictures::trimKept(std::size_t bytes) {
    // Kept storage goes first: it is only there to spare fresh memory.
    const std::size_t others = processAlive().load() + inFlight_ + leased_ + bytes;
    if (counted() + bytes > decoding_.budgetBytes)
        imaging::trimKeptPixels(others < decoding_.budgetBytes ? decoding_.budgetBytes - others
                                                               : 0);
}

bool PagePictures::makeRoom(std::size_t bytes, std::size_t use) {
    const auto over = [&] { return counted() + bytes > decoding_.budgetBytes; };
    for (;;) {
        // A picture given up puts its storage in the store: that goes again at once.
        if (!over()) return true;
        trimKept(bytes);
        if (!over()) return true;
        // The held picture wanted last, if it is wanted later than this one.
        std::size_t victim = 0, victimUse = use;
        bool any = use == kNow;
        for (std::size_t page = 1; page < slots_.size(); ++page) {
            // The page the reader waits for is behind its place in the plan, yet wanted now.
            if (slots_[page].state != State::Held || static_cast<std::int32_t>(page) == wanted_)
                continue;
            const std::size_t next = nextUse(static_cast<std::int32_t>(page));
            if (next == kNever || next > victimUse || any) {
                any = false;
                victim = page;
                victimUse = next;
                if (next == kNever) break;
            }
        }
        if (victim == 0) return false;
        release(slots_[victim]);
    }
}

void PagePictures::decode(std::unique_lock<std::mutex>& lock, std::int32_t page, bool forReader) {
    Slot& slot = slots_[static_cast<std::size_t>(page)];
    const auto finish = [&](Outcome outcome, PicturePtr picture, std::size_t bytes) {
        slot.outcome = outcome;
        slot.picture = std::move(picture);
        slot.bytes = bytes;
        slot.state = slot.picture ? State::Held : State::Done;
        slot.roomMade = false;
        if (slot.picture) slot.decodedOnce = true;
        changed_.notify_all();
    };
    if (pages_[static_cast<std::size_t>(page - 1)].count == 0)
        return finish(Outcome::Empty, nullptr, 0);
    // Given up here while another holder kept it: the same picture, with no decode.
    if (PicturePtr again = slot.lingering.lock()) {
        const std::size_t bytes = bytesOf(again->width, again->height);
        return finish(Outcome::Ok, std::move(again), bytes);
    }

    lock.unlock();
    std::optional<text::ByteString> bytes;
    std::optional<imaging::PictureSize> size;
    bool outOfMemory = false;
    try {
        bool empty = false;
        bytes = pageBytes(page, empty);
        if (bytes) size = imaging::pictureSize(*bytes);
    } catch (const std::bad_alloc&) {
        outOfMemory = true;
    }
    lock.lock();
    if (outOfMemory) return finish(Outcome::TooLarge, nullptr, 0);
    if (!bytes) return finish(Outcome::Undecodable, nullptr, 0);

    // Room for the picture before it is decoded. A worker waits while pictures wanted sooner
    // fill the budget, and leaves room for the reader's work on one picture besides; the reader,
    // whose page is wanted now, waits only for decodes under way, and with none under way goes
    // over the budget rather than wait for pictures in its own hands.
    // The picture and what the decoder holds besides it while it decodes.
    const std::size_t need = size ? bytesOf(size->width, size->height) + size->workingBytes : 0;
    if (need > decoding_.budgetBytes) return finish(Outcome::TooLarge, nullptr, 0);
    for (;;) {
        const bool now = forReader || page == wanted_;
        const std::size_t use = now ? kNow : nextUse(page);
        if (!now && (stopping_ || use == kNever)) {
            // Nobody wants it any more: back to waiting, with nothing held.
            slot.state = State::Waiting;
            changed_.notify_all();
            return;
        }
        // Room goes in the plan's order: a page wanted later never takes the room of one that
        // waits for it and would then give it up again.
        if ((now || !earlierWaits(use)) &&
            makeRoom(need + (now ? 0 : std::max(headroom_, need)), use))
            break;
        if (now && inFlight_ == 0) break;
        changed_.wait_for(lock, kRoomLook);
    }
    inFlight_ += need;
    slot.roomMade = true;
    notePeak();
    lock.unlock();

    std::optional<imaging::Picture> picture;
    try {
        picture = imaging::loadPicture(*bytes, fill_);
        bytes.reset();
    } catch (const std::bad_alloc&) {
        outOfMemory = true;
    }
    lock.lock();
    // The picture counts from here instead of its decode, at one stroke.
    PicturePtr shared;
    try {
        if (picture) shared = counting(std::move(*picture));
    } catch (const std::bad_alloc&) {
        outOfMemory = true;
    }
    picture.reset();
    inFlight_ -= need;
    if (!shared) return finish(outOfMemory ? Outcome::TooLarge : Outcome::Undecodable, nullptr, 0);
    // A header may give no size, or another one than the picture has: count what it holds.
    const std::size_t actual = bytesOf(shared->width, shared->height);
    if (actual > decoding_.budgetBytes) return finish(Outcome::TooLarge, nullptr, 0);
    headroom_ = std::max(headroom_, std::max(actual, need));
    notePeak();
    finish(Outcome::Ok, std::move(shared), actual);
}

void PagePictures::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        // The first page along the plan, a few places ahead of the reader at most, that nobody
        // has decoded or is decoding: pictures decoded further ahead would only wait.
        std::int32_t page = 0;
        const std::size_t reach =
            std::min(plan_.size(), position_ + std::max<std::size_t>(1, workers_.size()) + 1);
        for (std::size_t i = position_; i < reach && page == 0; ++i)
            if (slots_[static_cast<std::size_t>(plan_[i])].state == State::Waiting) page = plan_[i];
        if (page == 0) {
            changed_.wait(lock);
            continue;
        }
        slots_[static_cast<std::size_t>(page)].state = State::Decoding;
        decode(lock, page, false);
    }
}

PagePictures::Page PagePictures::take(std::int32_t page) {
    if (page < 1 || page > count()) return {};
    std::unique_lock<std::mutex> lock(mutex_);
    Slot& slot = slots_[static_cast<std::size_t>(page)];
    if (position_ < plan_.size() && plan_[position_] == page) ++position_;
    changed_.notify_all();  // the workers look ahead from the new place
    // A worker decoding this page gets room as the reader would.
    wanted_ = page;
    while (slot.state == State::Decoding || slot.state == State::Waiting) {
        if (slot.state == State::Decoding) {
            changed_.wait(lock);
        } else {
            slot.state = State::Decoding;
            decode(lock, page, true);
        }
    }
    wanted_ = 0;
    trimKept(0);  // storage kept meanwhile gives way to the pictures
    Page result{slot.picture, slot.outcome};
    // Given up when the plan does not want it again; the caller's pointer keeps it.
    if (nextUse(page) == kNever) {
        if (slot.state == State::Held) release(slot);
        slot.state = State::Waiting;
    }
    changed_.notify_all();
    return result;
}

bool PagePictures::decodedOnce(std::int32_t page) const {
    if (page < 1 || page > count()) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    return slots_[static_cast<std::size_t>(page)].decodedOnce;
}

PagePictures::Header PagePictures::peek(std::int32_t page) {
    if (page < 1 || page > count()) return {};
    std::unique_lock<std::mutex> lock(mutex_);
    Slot& slot = slots_[static_cast<std::size_t>(page)];
    if (slot.state == State::Held && slot.picture)
        return {Outcome::Ok, slot.picture->width, slot.picture->height};
    if (pages_[static_cast<std::size_t>(page - 1)].count == 0) return {};
    lock.unlock();
    std::optional<imaging::PictureSize> size;
    try {
        bool empty = false;
        const auto bytes = pageBytes(page, empty);
        if (!bytes) return {Outcome::Undecodable};
        size = imaging::pictureSize(*bytes);
    } catch (const std::bad_alloc&) {
        return {Outcome::TooLarge};
    }
    if (!size) {
        const Page taken = take(page);
        if (!taken.picture) return {taken.outcome};
        return {Outcome::Ok, taken.picture->width, taken.picture->height};
    }
    if (bytesOf(size->width, size->height) + size->workingBytes > decoding_.budgetBytes)
        return {Outcome::TooLarge};
    return {Outcome::Ok, size->width, size->height};
}

PagePictures::Lease PagePictures::lease(std::size_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    // The workers leave room for it; pictures decoded ahead stay.
    trimKept(bytes);
    leased_ += bytes;
    notePeak();
    return Lease(this, bytes);
}

PagePictures::Lease::~Lease() {
    if (!owner_) return;
    {
        std::lock_guard<std::mutex> lock(owner_->mutex_);
        owner_->leased_ -= bytes_;
    }
    owner_->changed_.notify_all();
}

std::size_t PagePictures::heldBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return processAlive().load() + inFlight_ + leased_;
}

std::size_t PagePictures::countedBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return counted();
}

std::size_t PagePictures::peakBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return peak_;
}

}  // namespace vistrel
