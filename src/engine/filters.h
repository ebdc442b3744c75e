#pragma once
// The attribute and wildcard filters shared by the walk and the file count.

#include <string>
#include <string_view>

#include "model/file_system.h"
#include "model/run_options.h"
#include "model/run_tally.h"

namespace ravlen {

// Whether the whole of name matches pattern. Pattern elements: ? any one
// character, * any run of characters (also none), # one decimal digit,
// [list] one character of the list (ranges as A-F), [!list] one character not
// in it; any other character matches itself. ASCII letters compare without
// regard to case. Characters are those of the shared UTF-8 reading
// (model/utf8.h): an ill-formed piece is a character that matches only itself. A "[" without a
// closing "]" is an ordinary character; "[]" matches nothing and consumes
// nothing, "[!]" any one character.
bool WildcardMatch(std::string_view name, std::string_view pattern);

// Whether name matches any item of a ";"-separated pattern list. Items are
// taken exactly as written (blanks included); empty items are ignored.
bool MatchesPatternList(std::string_view name, std::string_view patterns);

// "read-only", "hidden", "system", "exclude patterns" or "include patterns";
// empty for None.
const char* ExclusionWord(Exclusion exclusion);

// The one filter of files and folders, shared by the walk and the count.
// Only an item's own name is tested, never its path.
struct FileFilter {
    bool IncludeSubfolders = false;
    bool ExcludeReadOnly = false;
    bool ExcludeHidden = false;
    bool ExcludeSystem = false;
    std::string ExcludePatterns;  // a pattern list, "" for none
    std::string IncludePatterns;

    // The filter a run's options set.
    static FileFilter Of(const RunOptions& options);
    // Include patterns, then exclude patterns (exclusion wins), then the
    // attribute switches.
    bool PassesFile(const FsItem& file) const { return ExclusionOf(file) == Exclusion::None; }
    // Why the file is passed over, in the order PassesFile tests.
    Exclusion ExclusionOf(const FsItem& file) const;
    // As a file, but include patterns never stop the descent.
    bool PassesFolder(const FsItem& folder) const { return Excludes(folder, true) == Exclusion::None; }

private:
    Exclusion Excludes(const FsItem& item, bool included) const;
};

}  // namespace ravlen
