#pragma once
// The attribute and wildcard filters shared by the walk and the file count.

#include <string>
#include <string_view>

#include "model/file_system.h"

namespace ravlen {

// Whether the whole of name matches pattern. Pattern elements: ? any one
// character, * any run of characters (also none), # one decimal digit,
// [list] one character of the list (ranges as A-F), [!list] one character not
// in it; any other character matches itself. ASCII letters compare without
// regard to case. A valid UTF-8 sequence counts as one character; a byte that
// is not part of one counts as a character of its own. A "[" without a
// closing "]" is an ordinary character; "[]" matches nothing and consumes
// nothing, "[!]" any one character.
bool WildcardMatch(std::string_view name, std::string_view pattern);

// Whether name matches any item of a ";"-separated pattern list. Items are
// taken exactly as written (blanks included); empty items are ignored.
bool MatchesPatternList(std::string_view name, std::string_view patterns);

// The one filter of files and folders: include patterns, then exclude
// patterns (exclusion wins), then the attribute switches. Only the item's own
// name is tested, never its path.
bool PassesFilter(const FsItem& Item, bool ExcludeReadOnly, bool ExcludeHidden, bool ExcludeSystem,
                  const std::string& ExcludePatterns, const std::string& IncludePatterns);

}  // namespace ravlen
