#ifndef KITBINDER_TESTS_PROJECT_FILE_ENTRY_H_
#define KITBINDER_TESTS_PROJECT_FILE_ENTRY_H_

#include <string>

#include "project/project_file_entry.h"

namespace kb::test {

// A file entry with only its path set.
inline ProjectFileEntry FileEntry(std::string path) {
  ProjectFileEntry entry;
  entry.path = std::move(path);
  return entry;
}

}  // namespace kb::test

#endif  // KITBINDER_TESTS_PROJECT_FILE_ENTRY_H_
