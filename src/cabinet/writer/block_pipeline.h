#ifndef KITBINDER_CABINET_WRITER_BLOCK_PIPELINE_H_
#define KITBINDER_CABINET_WRITER_BLOCK_PIPELINE_H_

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <stop_token>
#include <thread>
#include <vector>

#include "cabinet/deflate/mszip_compressor.h"
#include "cabinet/writer/block_compressor.h"
#include "cabinet/writer/client_services.h"

namespace kb::cabinet {

// The blocks of a folder on their way from the reading side to the staging. The calling thread
// reads each block into a slot and submits it; worker threads compress the submitted blocks as
// they come, each with the block before it as history, so any block can be compressed as soon
// as it is read; the calling thread takes them back in the order it submitted them. A block's
// coded bytes depend only on its input and its history, so they are the same whichever thread
// codes them and whatever the number of threads.
//
// Only compression runs on the workers; no lock is held while a block is compressed. Every
// other call is the calling thread's. Memory is fixed by Start: at most max_in_flight blocks
// are submitted and not yet taken, so the reading side never runs further ahead.
//
// With one worker (or stored blocks) there are no threads: a block is coded on the calling
// thread when it is submitted, by one compressor that carries the history from block to block.
class BlockPipeline {
 public:
  // Blocks that may be in flight per worker thread: enough that a block that codes slowly does
  // not leave the other workers idle.
  static constexpr std::size_t kBlocksAheadPerWorker = 4;

  struct Finished {
    std::span<const std::byte> input;  // the block as it was read
    std::span<const std::byte> coded;  // the MSZIP block, or the input itself when stored
    MszipResult result = MszipResult::kOk;
  };

  // REQUIRES: *services outlives the pipeline; its allocate callback provides the slots.
  explicit BlockPipeline(ClientServices* services) : services_(services) {}
  ~BlockPipeline() = default;  // the workers are stopped and joined first (last member)
  BlockPipeline(const BlockPipeline&) = delete;
  BlockPipeline& operator=(const BlockPipeline&) = delete;

  // Prepares for blocks that are MSZIP-compressed at `level` or stored as they are (nullopt), and
  // for MSZIP with `workers` > 1 starts that many threads (as many as the system grants; with none,
  // blocks are coded on the calling thread). Fails after reporting kCompressorFail when a
  // compressor cannot be made, kAllocFail when a slot cannot; throws std::bad_alloc when its own
  // lists cannot grow, before any thread has started. REQUIRES: called once, before anything else.
  // LZX blocks are always coded on the calling thread: each needs the whole folder before it.
  [[nodiscard]] bool Start(BlockCoding coding, MszipLevel level, std::size_t workers);

  // Where the next block is read: kBlockSize bytes.
  std::span<std::byte> next_input() const;

  // Submits the first `size` bytes of next_input() as the next block. Its history is the block
  // before it, unless that one was short or EndHistory came between.
  // REQUIRES: !full(); 0 < size <= kBlockSize.
  void Submit(std::size_t size);

  // Takes the oldest block submitted and not yet taken, once it is coded. When it is still
  // being coded, waits for it if `wait` is set, else returns nullopt; nullopt too when every
  // submitted block has been taken. The spans stay valid until the next Submit.
  [[nodiscard]] std::optional<Finished> TakeOldest(bool wait);

  // The next block starts a new stream, without history.
  void EndHistory() { previous_full_ = false; }

  // Drops every block not yet taken (after a failure), waiting for those being coded, and
  // ends the history.
  void Discard();

  // Blocks submitted and not yet taken.
  std::size_t in_flight() const { return static_cast<std::size_t>(submitted_ - taken_); }
  std::uint64_t submitted() const { return submitted_; }
  std::uint64_t taken() const { return taken_; }
  // True when the oldest block must be taken before the next one can be read.
  bool full() const { return in_flight() >= max_in_flight_; }
  // The largest coded block.
  std::size_t max_coded_size() const;

 private:
  struct Slot {
    ClientBuffer input;
    ClientBuffer output;  // only when compressing
    std::size_t size = 0;
    bool has_history = false;
    MszipResult result = MszipResult::kOk;
    std::uint16_t coded_size = 0;
    bool done = false;  // guarded by mutex_
  };

  Slot& slot(std::uint64_t sequence) { return slots_[sequence % slots_.size()]; }
  const Slot& slot(std::uint64_t sequence) const { return slots_[sequence % slots_.size()]; }
  [[nodiscard]] bool MakeSlots(std::size_t count);
  void StartWorkers();
  // A worker's body. Allocates nothing (Start made the slots and compressors), so no
  // std::bad_alloc can leave the thread.
  void Work(std::stop_token stop, BlockCompressor& compressor);
  void Code(std::uint64_t sequence, BlockCompressor* compressor);

  ClientServices* services_;
  bool compress_ = false;
  BlockCoding block_coding_ = BlockCoding::kStored;
  std::size_t max_in_flight_ = 1;
  std::vector<Slot> slots_;  // block n lives in slot n % size, its history in the slot before
  // One per worker; without workers the first codes on the calling thread.
  std::vector<BlockCompressor> compressors_;
  std::uint64_t submitted_ = 0;  // written by the calling thread under mutex_
  std::uint64_t taken_ = 0;
  bool previous_full_ = false;  // whether the last block submitted is history for the next

  std::mutex mutex_;
  std::uint64_t next_to_code_ = 0;  // the oldest submitted block no worker has claimed
  std::size_t coding_ = 0;          // workers coding a block
  std::condition_variable_any work_ready_;
  std::condition_variable block_done_;
  std::vector<std::jthread> workers_;  // last: stopped and joined before the rest goes
};

}  // namespace kb::cabinet

#endif  // KITBINDER_CABINET_WRITER_BLOCK_PIPELINE_H_
