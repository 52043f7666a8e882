#ifndef KITBINDER_MSI_STORAGE_DIRECTORY_TREE_H_
#define KITBINDER_MSI_STORAGE_DIRECTORY_TREE_H_

#include <cstdint>
#include <vector>

#include "msi/storage/layout.h"

namespace kb::msi {

// The entries directly below storage `parent`, in no particular order.
// REQUIRES: the layout's tree has no cycle (checked by LoadLayout, kept by commits).
std::vector<std::uint32_t> ChildrenOf(const Layout& layout, std::uint32_t parent);

// Makes `children` the entries below `parent`: a red-black tree, as balanced as it can be,
// ordered by cfb::CompareNames. Only the sibling links and colours of `children` and the
// child link of `parent` change.
// REQUIRES: the children's names are distinct under cfb::CompareNames.
void LinkChildren(Layout& layout, std::uint32_t parent, std::vector<std::uint32_t> children);

}  // namespace kb::msi

#endif  // KITBINDER_MSI_STORAGE_DIRECTORY_TREE_H_
