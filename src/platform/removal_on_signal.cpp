#include "platform/removal_on_signal.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace kb::platform {
namespace {

// A signal handler may only read what is lock-free: a fixed table of absolute paths, each with
// a state that tells the handler when its path is whole. The handler takes a marked slot for
// itself (kRemoving) before it reads the path, so that no thread frees the slot and writes
// another path into it while the handler reads.
enum SlotState : int { kFree, kFilling, kMarked, kRemoving };

struct Slot {
  std::atomic<int> state{kFree};
  std::array<char, PATH_MAX> path{};
};

constexpr std::size_t kSlotCount = 64;
std::array<Slot, kSlotCount> slots;
static_assert(std::atomic<int>::is_always_lock_free);

constexpr std::array kSignals = {SIGINT, SIGTERM, SIGHUP};

void RemoveMarkedFiles(int signal_number) {
  for (Slot& slot : slots) {
    int expected = kMarked;
    if (slot.state.compare_exchange_strong(expected, kRemoving, std::memory_order_acquire)) {
      ::unlink(slot.path.data());
    }
  }
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

}  // namespace

RemovalOnSignal::RemovalOnSignal(const std::string& path) {
  // Absolute, since the handler may run after the current folder changed.
  std::error_code error;
  const std::string absolute = std::filesystem::absolute(path, error).string();
  if (error || absolute.size() >= PATH_MAX) return;
  for (std::size_t i = 0; i < slots.size(); ++i) {
    int expected = kFree;
    if (!slots[i].state.compare_exchange_strong(expected, kFilling)) continue;
    std::memcpy(slots[i].path.data(), absolute.c_str(), absolute.size() + 1);
    slots[i].state.store(kMarked, std::memory_order_release);
    slot_ = static_cast<int>(i);
    return;
  }
}

RemovalOnSignal::~RemovalOnSignal() {
  if (slot_ < 0) return;
  // A slot the handler has taken stays its own: the process is ending.
  int expected = kMarked;
  (void)slots[static_cast<std::size_t>(slot_)].state.compare_exchange_strong(expected, kFree);
}

void RemoveMarkedFilesOnSignals() {
  struct sigaction action {};
  action.sa_handler = RemoveMarkedFiles;
  sigemptyset(&action.sa_mask);
  for (const int signal_number : kSignals) sigaddset(&action.sa_mask, signal_number);
  for (const int signal_number : kSignals) ::sigaction(signal_number, &action, nullptr);
}

}  // namespace kb::platform
