// The pictures of a run's pages. The page list is shared read-only and split in place; a few
// worker threads decode pages a few places ahead of the reader in the order it will want them.
// Everything the pictures take counts against one budget of bytes: every picture alive (decoded
// ahead, kept for a later use, in the reader's hands or on screen), the decodes under way, what
// the reader leases for work on a picture (a printer's copy of it) and the pixel storage kept for
// reuse. When a page needs room, kept storage goes first, then the picture wanted last (or never
// again), so a document of any length is printed holding a bounded number of pictures.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "platform/imaging/imaging.h"
#include "platform/text/coding.h"
#include "viewer/state/page_list.h"

namespace vistrel {

using PicturePtr = std::shared_ptr<const platform::imaging::Picture>;

// How pages are decoded: by how many threads ahead of the reader, within how many bytes of
// pictures held at once (four bytes a pixel).
struct PageDecoding {
    unsigned workers = 0;  // 0: every page is decoded when it is wanted, on the reader's thread
    std::size_t budgetBytes = 256u << 20;

    // One worker per core beside the reader's, at most four; the environment's
    // TESSEL_PAGE_WORKERS and TESSEL_PAGE_MEMORY_MB (the budget in MiB) override them.
    static PageDecoding defaults();
};

class PagePictures {
  public:
    // `list` holds the page texts, each followed by ","; text after the last comma is no page.
    PagePictures(std::shared_ptr<const PageListText> list, PageDecoding decoding,
                 std::uint32_t fill);
    PagePictures(const std::shared_ptr<const std::u16string>& list, PageDecoding decoding,
                 std::uint32_t fill)
        : PagePictures(std::make_shared<const PageListText>(list ? *list : std::u16string()),
                       decoding, fill) {}
    // Stops the workers; what they hold goes with them.
    ~PagePictures();
    PagePictures(const PagePictures&) = delete;
    PagePictures& operator=(const PagePictures&) = delete;

    const std::shared_ptr<const PageListText>& list() const { return list_; }
    std::int32_t count() const { return static_cast<std::int32_t>(pages_.size()); }

    enum class Outcome {
        Ok,
        Empty,        // the page text is empty
        Undecodable,  // neither hexadecimal nor Base64, or no image this system reads
        TooLarge,     // its picture alone passes the budget, or memory for it ran out
    };
    struct Page {
        PicturePtr picture;  // null unless Ok
        Outcome outcome = Outcome::Empty;
    };

    // The pages wanted from now on, in order (1-based): the workers decode along it.
    void plan(std::vector<std::int32_t> order);
    // Nothing is wanted any more: every picture is given up, and of their storage the store
    // keeps what the first pages of the next document take again (two pictures' worth).
    void rest();
    // The picture of `page`. When it is the next page of the plan the plan moves past it. Waits
    // for a worker decoding it, or decodes it on this thread. A picture the plan does not want
    // again is given up here (the caller's pointer keeps it, and it counts, while the caller
    // needs it).
    Page take(std::int32_t page);

    // What `page` is without decoding its pixels: its size from the image's header, or from its
    // picture when one is held. An image whose header gives no size is decoded (and kept when the
    // plan wants it again), so its outcome is the decode's.
    struct Header {
        Outcome outcome = Outcome::Empty;
        std::int32_t width = 0;
        std::int32_t height = 0;
    };
    Header peek(std::int32_t page);

    // Bytes the reader counts as held while the lease lives (work on a picture that copies it),
    // made room for as for the reader's own page.
    class Lease {
      public:
        Lease() = default;
        Lease(Lease&& other) noexcept
            : owner_(std::exchange(other.owner_, nullptr)), bytes_(other.bytes_) {}
        Lease& operator=(Lease&&) = delete;
        ~Lease();

      private:
        friend class PagePictures;
        Lease(PagePictures* owner, std::size_t bytes) : owner_(owner), bytes_(bytes) {}
        PagePictures* owner_ = nullptr;
        std::size_t bytes_ = 0;
    };
    Lease lease(std::size_t bytes);
    // True when `page` was decoded once (it may have been given up since).
    bool decodedOnce(std::int32_t page) const;

    // Bytes of page pictures alive in the process (of this document and of any other still
    // held, such as an earlier one's page on screen), decodes under way (each picture with what
    // its decoder holds besides it) and leases now; those and the kept pixel storage, all that
    // counts against the budget; and the most counted at once so far.
    std::size_t heldBytes() const;
    std::size_t countedBytes() const;
    std::size_t peakBytes() const;

    // The bytes of a picture of that size.
    static std::size_t bytesOf(std::int32_t width, std::int32_t height);

  private:
    enum class State { Waiting, Decoding, Held, Done };
    // Whom a picture let go wakes: each picture's deleter takes its bytes off the process's
    // count and wakes these pictures' workers while they live.
    struct Alive {
        std::atomic<std::condition_variable*> changed{nullptr};
    };
    static std::atomic<std::size_t>& processAlive();
    struct Slot {
        State state = State::Waiting;
        PicturePtr picture;
        std::size_t bytes = 0;
        Outcome outcome = Outcome::Empty;  // of the last decode, when Done
        bool decodedOnce = false;
        bool roomMade = false;  // Decoding, with its bytes counted
        // The picture given up last, while someone else still holds it (the page on screen): it
        // is taken again instead of decoded anew, as it counts all the same.
        std::weak_ptr<const platform::imaging::Picture> lingering;
    };

    void work();
    // Decodes `page` with the lock released around the work; the slot is Decoding on entry.
    void decode(std::unique_lock<std::mutex>& lock, std::int32_t page, bool forReader);
    // Where `page` is next wanted in the plan, from the reader's position; SIZE_MAX: never.
    std::size_t nextUse(std::int32_t page) const;
    // Makes room for `bytes` more for a page next wanted at `use`, freeing kept storage and
    // giving up pictures wanted later. False when they would not fit even so.
    bool makeRoom(std::size_t bytes, std::size_t use);
    // True when a page wanted before plan place `use` waits for room to decode.
    bool earlierWaits(std::size_t use) const;
    // Frees kept storage until `bytes` more fit, as far as it goes.
    void trimKept(std::size_t bytes);
    void release(Slot& slot);
    // Everything counted against the budget; the caller holds the lock.
    std::size_t counted() const;
    void notePeak();
    PicturePtr counting(platform::imaging::Picture&& picture);

    // The bytes page `page` (1-based) stands for, in hexadecimal or else Base64; nullopt when it
    // is neither. Its text is empty when `empty` comes back true.
    std::optional<platform::text::ByteString> pageBytes(std::int32_t page, bool& empty) const;

    const std::shared_ptr<const PageListText> list_;
    struct Span {
        std::size_t start = 0, count = 0;
    };
    std::vector<Span> pages_;
    const PageDecoding decoding_;
    const std::uint32_t fill_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Slot> slots_;  // 1-based; slot 0 unused
    std::vector<std::int32_t> plan_;
    std::size_t position_ = 0;  // the reader's place in the plan
    std::int32_t wanted_ = 0;   // the page the reader waits for; 0: none
    std::size_t inFlight_ = 0;  // bytes of decodes under way
    std::size_t leased_ = 0;    // bytes of the reader's leases
    std::size_t headroom_ = 0;  // the largest picture so far: what a worker leaves free
    std::size_t peak_ = 0;
    std::shared_ptr<Alive> alive_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace vistrel
