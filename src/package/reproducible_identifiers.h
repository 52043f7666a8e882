#ifndef KITBINDER_PACKAGE_REPRODUCIBLE_IDENTIFIERS_H_
#define KITBINDER_PACKAGE_REPRODUCIBLE_IDENTIFIERS_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kb {

// While an object of this class lives, the identifiers the thread that made it asks for
// (NewGuidText and the functions made on it) are drawn from SHA-1 digests of a seed and a
// counter instead of the random source: the same seed gives the same identifiers in the same
// order, on any machine. For reproducible builds. Objects nest; the innermost counts.
class ReproducibleIdentifiers {
 public:
  explicit ReproducibleIdentifiers(std::string seed);
  ~ReproducibleIdentifiers();
  ReproducibleIdentifiers(const ReproducibleIdentifiers&) = delete;
  ReproducibleIdentifiers& operator=(const ReproducibleIdentifiers&) = delete;

  // Folds `more` into the seed: the identifiers drawn after it depend on it too.
  void Mix(std::string_view more);
  // The next 16 bytes of the stream.
  std::array<std::byte, 16> Next();

  // The object of the calling thread, or nullptr when it has none.
  static ReproducibleIdentifiers* Active();

 private:
  std::string seed_;
  std::uint64_t counter_ = 0;
  ReproducibleIdentifiers* previous_;
};

}  // namespace kb

#endif  // KITBINDER_PACKAGE_REPRODUCIBLE_IDENTIFIERS_H_
