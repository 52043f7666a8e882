#ifndef KITBINDER_PROJECT_PROJECT_FILE_PROBLEM_H_
#define KITBINDER_PROJECT_PROJECT_FILE_PROBLEM_H_

#include <optional>
#include <string>

namespace kb {

// Why the file at `path` cannot be read as a project file, or nullopt when it can. Loading
// never fails (a file it cannot read is an empty project), so a program checks here first: a
// folder, or UTF-16 text, would read as an empty project that a save then writes over the
// user's file, and a pipe would keep the reader waiting for a writer. The answer is a whole
// message that starts with `path`: "PATH is a folder; ...", "PATH is a pipe, socket or device,
// not a file", "PATH cannot be opened (REASON)" or "PATH is UTF-16 text; ...". The file is
// opened without waiting and only its start is read.
std::optional<std::string> ProjectFileProblem(const std::string& path);

}  // namespace kb

#endif  // KITBINDER_PROJECT_PROJECT_FILE_PROBLEM_H_
