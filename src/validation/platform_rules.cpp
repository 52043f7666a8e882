#include <string>

#include "validation/directory_tree.h"
#include "validation/rules.h"

namespace kb::validation {
namespace {

constexpr int kSchemaFor64Bit = 200;

bool Is64BitPlatform(std::string_view platform) {
  return platform == "x64" || platform == "Intel64" || platform == "Arm64";
}

}  // namespace

// ICE80: a 64-bit package says so with a schema that knows 64-bit components; its 64-bit
// components go to the 64-bit folders and its 32-bit ones to the 32-bit folders; a 32-bit
// package has neither 64-bit components nor 64-bit folders.
void CheckPlatform(PackageTables& tables, Findings& findings) {
  const SummaryFacts& summary = tables.summary();
  const bool package64 = Is64BitPlatform(summary.platform);
  if (package64 && summary.schema.value_or(0) < kSchemaFor64Bit) {
    findings.push_back({Severity::kError, "ICE80", "", "",
                        "the package is for " + summary.platform +
                            " but its schema (Page Count) "
                            "is below " +
                            std::to_string(kSchemaFor64Bit)});
  }
  const Table& components = tables.Get("Component");
  const DirectoryTree tree(tables.Get("Directory"));
  for (std::size_t row = 0; row < components.size(); ++row) {
    const bool component64 =
        (components.Number(row, "Attributes").value_or(0) & kComponent64Bit) != 0;
    const FolderKind kind = tree.KindOf(components.Text(row, "Directory_"));
    std::string fault;
    if (component64 && !package64) {
      fault = "it is a 64-bit component in a 32-bit package";
    } else if (kind == FolderKind::kFolder64 && !component64) {
      fault = "it is a 32-bit component in a 64-bit folder";
    } else if (kind == FolderKind::kFolder32 && component64) {
      fault = "it is a 64-bit component in a 32-bit folder";
    }
    if (!fault.empty()) {
      findings.push_back({Severity::kError, "ICE80", "Component", components.Key(row), fault});
    }
  }
}

}  // namespace kb::validation
