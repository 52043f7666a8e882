#ifndef KITBINDER_PROJECT_NUMBERING_GAP_H_
#define KITBINDER_PROJECT_NUMBERING_GAP_H_

#include <optional>
#include <string>

namespace kb {

// The numbered keys of files and icons run from 0, and a reader stops at the first number
// whose path is missing or empty: a file with file0path and file2path yields one file and never
// reads file2path. Load does so without a word; this tells the user which keys of the project
// file at `path` are ignored so. Returns nullopt when none are, else one warning naming `path`,
// the key where each list stops, and the keys after it (the first ten of them, then how many
// more): "PATH stops at file1path, so these keys are ignored: file2path, file2id".
std::optional<std::string> NumberingGapWarning(const std::string& path);

}  // namespace kb

#endif  // KITBINDER_PROJECT_NUMBERING_GAP_H_
