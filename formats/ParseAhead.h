// Reads a long text in line-aligned blocks: helper threads and the calling thread turn blocks
// into records ahead of time while the caller consumes the records strictly in text order, on
// its own thread. Parsing must be pure (no log, no shared state); everything with an effect
// belongs in consume, which therefore sees exactly what a single-threaded walk would.
// Internal to formats/.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

namespace parse_ahead {

template <typename Record>
using RecordList = std::vector<Record>;

constexpr size_t kBlockBytes = size_t{1} << 21;
// Blocks parsed but not yet consumed, at most: bounds the records held at once.
constexpr size_t kMaxAhead = 8;
constexpr unsigned kMaxHelpers = 3;

// The text cut after the first line end at or past every blockBytes; never an empty block.
inline std::vector<std::string_view> splitAtLines(std::string_view text, size_t blockBytes) {
  std::vector<std::string_view> blocks;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = std::min(text.size(), start + blockBytes);
    if (end < text.size()) {
      const void* newline = std::memchr(text.data() + end, '\n', text.size() - end);
      end = newline ? size_t(static_cast<const char*>(newline) - text.data()) + 1 : text.size();
    }
    blocks.push_back(text.substr(start, end - start));
    start = end;
  }
  return blocks;
}

// One walk over blocks with helper threads; see parseAheadInOrder.
template <typename Record, typename Parse>
class Walk {
 public:
  Walk(std::vector<std::string_view> textBlocks, const Parse& parseBlock)
      : blocks(std::move(textBlocks)), parse(parseBlock), slots(new Slot[blocks.size()]) {}

  template <typename Consume>
  void run(unsigned helpers, Consume& consume) {
    std::vector<std::jthread> threads;
    const Stopper stopper{*this, threads};
    for (unsigned i = 0; i < helpers; ++i) threads.emplace_back([this] { help(); });
    for (size_t k = 0; k < blocks.size(); ++k) {
      Slot& slot = slots[k];
      // While its block is being parsed elsewhere, the caller parses the ones after it, as far
      // ahead as the helpers may.
      while (slot.state.load(std::memory_order_acquire) == kWaiting) {
        if (next.load() >= k + kMaxAhead || !parseNext()) {
          slot.state.wait(kWaiting, std::memory_order_acquire);
        }
      }
      if (slot.state.load(std::memory_order_acquire) == kFailed) {
        std::rethrow_exception(slot.error);
      }
      for (const Record& record : slot.records) consume(record);
      giveBack(slot.records);
      consumed.store(k + 1);
      consumed.notify_all();
    }
  }

 private:
  enum : int { kWaiting, kParsed, kFailed };
  struct Slot {
    RecordList<Record> records;
    std::atomic<int> state{kWaiting};
    std::exception_ptr error;
  };
  // Stops and joins the helpers however the walk ends.
  struct Stopper {
    Walk& walk;
    std::vector<std::jthread>& threads;
    ~Stopper() {
      walk.stop.store(true);
      walk.consumed.fetch_add(1);  // wakes helpers waiting for room
      walk.consumed.notify_all();
      threads.clear();
    }
  };

  void help() {
    while (!stop.load()) {
      const size_t done = consumed.load();
      // The stopper raises stop before it moves consumed: a helper that read the moved value
      // must not wait on it.
      if (stop.load()) return;
      if (next.load() >= done + kMaxAhead) {
        consumed.wait(done);
      } else if (!parseNext()) {
        return;
      }
    }
  }

  // Parses the next unclaimed block; false when none is left.
  bool parseNext() {
    const size_t k = next.fetch_add(1);
    if (k >= blocks.size()) return false;
    Slot& slot = slots[k];
    try {
      // Filled off the shared slots: their neighbours change on other threads.
      RecordList<Record> records = takeSpare();
      parse(blocks[k], records);
      slot.records = std::move(records);
      slot.state.store(kParsed, std::memory_order_release);
    } catch (...) {
      slot.error = std::current_exception();
      slot.state.store(kFailed, std::memory_order_release);
    }
    slot.state.notify_all();
    return true;
  }

  // Record lists keep their capacity from block to block: a fresh list per block would fault
  // in and clear its memory every time.
  RecordList<Record> takeSpare() {
    const std::lock_guard<std::mutex> lock(spareLock);
    RecordList<Record> list;
    if (!spare.empty()) {
      list.swap(spare.back());
      spare.pop_back();
    }
    return list;
  }

  void giveBack(RecordList<Record>& list) {
    list.clear();
    const std::lock_guard<std::mutex> lock(spareLock);
    spare.push_back(std::move(list));
  }

  const std::vector<std::string_view> blocks;
  const Parse& parse;
  const std::unique_ptr<Slot[]> slots;
  std::atomic<size_t> next{0};      // the next block nobody has claimed
  std::atomic<size_t> consumed{0};  // blocks the caller is done with
  std::atomic<bool> stop{false};
  std::mutex spareLock;
  std::vector<RecordList<Record>> spare;
};

// Helper threads worth starting here: one per hardware thread beside the caller's, at most
// kMaxHelpers.
inline unsigned helpersForThisMachine() {
  return std::min(kMaxHelpers, std::max(1u, std::thread::hardware_concurrency()) - 1);
}

// parse(std::string_view block, RecordList<Record>& out) appends a block's records;
// consume(const Record&) takes them in order. An exception from either reaches the caller
// after the helpers have stopped. With no helpers, or a text of one block, the text is walked
// on the caller's thread alone.
template <typename Record, typename Parse, typename Consume>
void parseAheadInOrder(std::string_view text, const Parse& parse, Consume&& consume,
                       unsigned helpers, size_t blockBytes = kBlockBytes) {
  std::vector<std::string_view> blocks = splitAtLines(text, blockBytes);
  if (helpers == 0 || blocks.size() < 2) {
    RecordList<Record> records;
    for (std::string_view block : blocks) {
      records.clear();
      parse(block, records);
      for (const Record& record : records) consume(record);
    }
    return;
  }
  Walk<Record, Parse>(std::move(blocks), parse).run(helpers, consume);
}

}  // namespace parse_ahead
