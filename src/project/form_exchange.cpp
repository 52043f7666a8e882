#include "project/form_exchange.h"

#include <utility>
#include <vector>

namespace kb {

void KeepWhatTheFormKeeps(CProjectSettings& project) {
  std::vector<ProjectFileEntry> files = std::move(project.files);
  project.Clear();
  for (ProjectFileEntry& file : files) {
    file.id.clear();
    file.componentid.clear();
    project.AddIcon(file.shortcuticon);
    project.AddFileEntry(file);
  }
}

void TakeGeneratedIdentifiers(CProjectSettings& project, const CProjectSettings& built) {
  project.productcode = built.productcode;
  project.productcodeversion = built.productcodeversion;
  project.packagecode = built.packagecode;
  project.upgradecode = built.upgradecode;
  for (std::size_t i = 0; i < project.files.size() && i < built.files.size(); ++i) {
    project.files[i].componentguid = built.files[i].componentguid;
  }
}

}  // namespace kb
