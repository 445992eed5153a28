// The pictures of a run's pages. The page list is shared read-only and split in place; a few
// worker threads decode pages ahead of the reader in the order it will want them, and every
// picture held (decoded ahead, or kept for a later use) counts against one budget of bytes. When
// a page needs room, the picture wanted last (or never again) goes first, so a document of any
// length is printed holding a bounded number of pictures.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/imaging/imaging.h"

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
    PagePictures(std::shared_ptr<const std::u16string> list, PageDecoding decoding,
                 std::uint32_t fill);
    // Stops the workers; what they hold goes with them.
    ~PagePictures();
    PagePictures(const PagePictures&) = delete;
    PagePictures& operator=(const PagePictures&) = delete;

    const std::shared_ptr<const std::u16string>& list() const { return list_; }
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
    // The picture of `page`. When it is the next page of the plan the plan moves past it. Waits
    // for a worker decoding it, or decodes it on this thread. A picture the plan does not want
    // again is given up here (the caller's pointer keeps it while the caller needs it).
    Page take(std::int32_t page);
    // True when `page` was decoded once (it may have been given up since).
    bool decodedOnce(std::int32_t page) const;

    // Bytes of pictures held now, and the most held at once so far.
    std::size_t heldBytes() const;
    std::size_t peakBytes() const;

  private:
    enum class State { Waiting, Decoding, Held, Done };
    struct Slot {
        State state = State::Waiting;
        PicturePtr picture;
        std::size_t bytes = 0;
        Outcome outcome = Outcome::Empty;  // of the last decode, when Done
        bool decodedOnce = false;
    };

    void work();
    // Decodes `page` with the lock released around the work; the slot is Decoding on entry.
    void decode(std::unique_lock<std::mutex>& lock, std::int32_t page, bool forReader);
    // Where `page` is next wanted in the plan, from the reader's position; SIZE_MAX: never.
    std::size_t nextUse(std::int32_t page) const;
    // Makes room for `bytes` more for a page next wanted at `use`, giving up pictures wanted
    // later. False when they would not fit even so.
    bool makeRoom(std::size_t bytes, std::size_t use);
    void release(Slot& slot);

    const std::shared_ptr<const std::u16string> list_;
    std::vector<std::u16string_view> pages_;
    const PageDecoding decoding_;
    const std::uint32_t fill_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Slot> slots_;  // 1-based; slot 0 unused
    std::vector<std::int32_t> plan_;
    std::size_t position_ = 0;  // the reader's place in the plan
    std::int32_t wanted_ = 0;   // the page the reader waits for; 0: none
    std::size_t held_ = 0;      // bytes of Held pictures and of decodes under way
    std::size_t peak_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace vistrel
