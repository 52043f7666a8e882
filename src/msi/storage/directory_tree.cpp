#include "msi/storage/directory_tree.h"

#include <algorithm>
#include <bit>
#include <span>

namespace kb::msi {
namespace {

// Links sorted[...] below a subtree root and returns that root. Nodes on the one level that
// is not full are red, all others black, so every path has the same number of black nodes.
std::uint32_t LinkBalanced(Layout& layout, std::span<const std::uint32_t> sorted, int depth,
                           int red_depth) {
  if (sorted.empty()) return cfb::kNoStream;
  const std::size_t middle = sorted.size() / 2;
  cfb::DirectoryEntry entry = layout.Entry(sorted[middle]);
  entry.left = LinkBalanced(layout, sorted.first(middle), depth + 1, red_depth);
  entry.right = LinkBalanced(layout, sorted.subspan(middle + 1), depth + 1, red_depth);
  entry.color = depth == red_depth ? cfb::Color::kRed : cfb::Color::kBlack;
  layout.SetEntry(sorted[middle], entry);
  return sorted[middle];
}

}  // namespace

std::vector<std::uint32_t> ChildrenOf(const Layout& layout, std::uint32_t parent) {
  std::vector<std::uint32_t> children;
  std::vector<std::uint32_t> pending = {layout.Entry(parent).child};
  while (!pending.empty()) {
    const std::uint32_t id = pending.back();
    pending.pop_back();
    if (id == cfb::kNoStream) continue;
    children.push_back(id);
    const cfb::DirectoryEntry entry = layout.Entry(id);
    pending.push_back(entry.left);
    pending.push_back(entry.right);
  }
  return children;
}

void LinkChildren(Layout& layout, std::uint32_t parent, std::vector<std::uint32_t> children) {
  std::vector<std::pair<std::u16string, std::uint32_t>> named;
  named.reserve(children.size());
  for (std::uint32_t id : children) named.emplace_back(layout.Entry(id).name, id);
  std::sort(named.begin(), named.end(),
            [](const auto& a, const auto& b) { return cfb::CompareNames(a.first, b.first) < 0; });
  for (std::size_t i = 0; i < named.size(); ++i) children[i] = named[i].second;
  // The levels 0 .. full-1 are complete; the nodes below them form the last, partial level.
  const int full_levels = std::bit_width(children.size() + 1) - 1;
  cfb::DirectoryEntry entry = layout.Entry(parent);
  entry.child = LinkBalanced(layout, children, 0, full_levels);
  layout.SetEntry(parent, entry);
}

}  // namespace kb::msi
