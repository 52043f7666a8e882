#include "package/reproducible_identifiers.h"

#include <utility>

#include "platform/sha1.h"

namespace kb {
namespace {

thread_local ReproducibleIdentifiers* active = nullptr;

}  // namespace

ReproducibleIdentifiers::ReproducibleIdentifiers(std::string seed)
    : seed_(std::move(seed)), previous_(active) {
  active = this;
}

ReproducibleIdentifiers::~ReproducibleIdentifiers() {
  active = previous_;
}

void ReproducibleIdentifiers::Mix(std::string_view more) {
  seed_ += '\0';
  seed_ += more;
}

std::array<std::byte, 16> ReproducibleIdentifiers::Next() {
  const auto digest = platform::Sha1(seed_ + '\0' + std::to_string(counter_++));
  std::array<std::byte, 16> bytes;
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = std::byte{digest[i]};
  return bytes;
}

ReproducibleIdentifiers* ReproducibleIdentifiers::Active() {
  return active;
}

}  // namespace kb
