#pragma once
// The job codes the window offers when a run needs one: the last ten used,
// kept in one settings text, most recent first.

#include <string>
#include <vector>

namespace ravlen {

inline constexpr std::size_t kRecentJobCodes = 10;

// The codes of a stored text: separated by "|", a "\" taking the next
// character as it stands.
std::vector<std::string> RecentJobCodes(const std::string& stored);
// The stored text with `code` first, once, and at most ten codes; an empty
// code changes nothing.
std::string RememberJobCode(const std::string& stored, const std::string& code);

}  // namespace ravlen
