#include "viewer/control/page_pictures.h"

#include <algorithm>
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

// A whole decimal number from the environment; nullopt when unset or not one.
std::optional<unsigned long> environmentNumber(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    char* end = nullptr;
    const unsigned long n = std::strtoul(value, &end, 10);
    if (*end != '\0') return std::nullopt;
    return n;
}

std::size_t bytesOf(std::int32_t width, std::int32_t height) {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
}

// A shared picture whose pixel storage goes to the imaging store when the last holder lets it
// go, for the next page decoded to take.
PicturePtr keptWhenGone(imaging::Picture&& picture) {
    return PicturePtr(new imaging::Picture(std::move(picture)), [](const imaging::Picture* p) {
        auto* owned = const_cast<imaging::Picture*>(p);  // made non-const just above
        imaging::keepPixels(std::move(owned->pixels));
        delete owned;
    });
}

}  // namespace

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

PagePictures::PagePictures(std::shared_ptr<const std::u16string> list, PageDecoding decoding,
                           std::uint32_t fill)
    : list_(std::move(list)), decoding_(decoding), fill_(fill) {
    // Split in place: each page is a view of the shared list.
    if (list_) {
        const std::u16string_view all = *list_;
        std::size_t start = 0;
        for (std::size_t comma = all.find(u','); comma != std::u16string_view::npos;
             comma = all.find(u',', start)) {
            pages_.push_back(all.substr(start, comma - start));
            start = comma + 1;
        }
    }
    slots_.resize(pages_.size() + 1);
    const unsigned workers =
        static_cast<unsigned>(std::min<std::size_t>(decoding_.workers, pages_.size()));
    for (unsigned i = 0; i < workers; ++i) workers_.emplace_back([this] { work(); });
}

PagePictures::~PagePictures() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (auto& worker : workers_) worker.join();
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

std::size_t PagePictures::nextUse(std::int32_t page) const {
    for (std::size_t i = position_; i < plan_.size(); ++i)
        if (plan_[i] == page) return i;
    return kNever;
}

void PagePictures::release(Slot& slot) {
    held_ -= slot.bytes;
    slot.bytes = 0;
    slot.picture.reset();
    slot.state = State::Waiting;
}

bool PagePictures::makeRoom(std::size_t bytes, std::size_t use) {
    while (held_ + bytes > decoding_.budgetBytes) {
        // The held picture wanted last, if it is wanted later than this one.
        std::size_t victim = 0, victimUse = use;
        bool any = use == kNow;
        for (std::size_t page = 1; page < slots_.size(); ++page) {
            if (slots_[page].state != State::Held) continue;
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
    return true;
}

void PagePictures::decode(std::unique_lock<std::mutex>& lock, std::int32_t page, bool forReader) {
    Slot& slot = slots_[static_cast<std::size_t>(page)];
    const std::u16string_view pageText = pages_[static_cast<std::size_t>(page - 1)];
    const auto finish = [&](Outcome outcome, PicturePtr picture, std::size_t bytes) {
        slot.outcome = outcome;
        slot.picture = std::move(picture);
        slot.bytes = bytes;
        slot.state = slot.picture ? State::Held : State::Done;
        if (slot.picture) slot.decodedOnce = true;
        changed_.notify_all();
    };
    if (pageText.empty()) return finish(Outcome::Empty, nullptr, 0);

    lock.unlock();
    std::optional<text::ByteString> bytes;
    std::optional<imaging::PictureSize> size;
    bool outOfMemory = false;
    try {
        bytes = text::fromHex(pageText);
        if (!bytes) bytes = text::fromBase64(pageText);
        if (bytes) size = imaging::pictureSize(*bytes);
    } catch (const std::bad_alloc&) {
        outOfMemory = true;
    }
    lock.lock();
    if (outOfMemory) return finish(Outcome::TooLarge, nullptr, 0);
    if (!bytes) return finish(Outcome::Undecodable, nullptr, 0);

    // Room for the picture before it is decoded: a worker waits while pictures wanted sooner
    // fill the budget; the reader, whose page is wanted now, waits only for decodes under way.
    const std::size_t need = size ? bytesOf(size->width, size->height) : 0;
    if (need > decoding_.budgetBytes) return finish(Outcome::TooLarge, nullptr, 0);
    for (;;) {
        const std::size_t use = forReader || page == wanted_ ? kNow : nextUse(page);
        if (!forReader && (stopping_ || use == kNever)) {
            // Nobody wants it any more: back to waiting, with nothing held.
            slot.state = State::Waiting;
            changed_.notify_all();
            return;
        }
        if (makeRoom(need, use)) break;
        changed_.wait(lock);
    }
    held_ += need;
    peak_ = std::max(peak_, held_);
    lock.unlock();

    std::optional<imaging::Picture> picture;
    try {
        picture = imaging::loadPicture(*bytes, fill_);
        bytes.reset();
    } catch (const std::bad_alloc&) {
        outOfMemory = true;
    }
    PicturePtr shared;
    if (picture) {
        try {
            shared = keptWhenGone(std::move(*picture));
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
        }
    }
    lock.lock();
    held_ -= need;
    if (!shared) return finish(outOfMemory ? Outcome::TooLarge : Outcome::Undecodable, nullptr, 0);
    // A header may give no size, or another one than the picture has: count what it holds.
    const std::size_t actual = bytesOf(shared->width, shared->height);
    if (actual > decoding_.budgetBytes) return finish(Outcome::TooLarge, nullptr, 0);
    held_ += actual;
    peak_ = std::max(peak_, held_);
    finish(Outcome::Ok, std::move(shared), actual);
}

void PagePictures::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        // The first page along the plan that nobody has decoded or is decoding.
        std::int32_t page = 0;
        for (std::size_t i = position_; i < plan_.size() && page == 0; ++i)
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

std::size_t PagePictures::heldBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return held_;
}

std::size_t PagePictures::peakBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return peak_;
}

}  // namespace vistrel
