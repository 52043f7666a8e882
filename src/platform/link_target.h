#ifndef KITBINDER_PLATFORM_LINK_TARGET_H_
#define KITBINDER_PLATFORM_LINK_TARGET_H_

#include <optional>
#include <string>

namespace kb::platform {

// The file that the symbolic link at `path` leads to, following a chain of links to its end;
// `path` itself when it is no link (or names nothing yet). A relative link is taken from the
// link's own folder, as the system takes it. The end need not exist: a link to a file not yet
// made leads to where that file is to be. Writing there, rather than replacing `path`, keeps
// the link a link. Returns nullopt, with errno set, when a link cannot be read or the chain is
// longer than the system follows (ELOOP), as a loop is.
std::optional<std::string> LinkTarget(const std::string& path);

}  // namespace kb::platform

#endif  // KITBINDER_PLATFORM_LINK_TARGET_H_
