#pragma once
#include <string>

#include "model/filename_format.h"

namespace ravlen {

// Every option a run reads, one field per settings key. Lists hold the 0-based
// position of the chosen item, check boxes 0 or 1, DateMode and DCFMode 1 to 3.
// Defaults are those of a first start with an empty settings store.
struct RunOptions {
    // Main
    std::string SourcePath;
    std::string OutputPath;
    int ProcessSubfolders = 1;  // 0 Ignore, 1 Flatten into top-level output folder, 2 Preserve as output subfolders
    int MoveOrCopy = 0;         // 0 Move, 1 Copy, 2 Copy when unable to move
    int AddSerial = 2;          // 0 Never, 1 Duplicates only, 2 Always
    int AddBatchVolume = 3;     // 0 Neither, 1 Batch only, 2 Volume only, 3 Both
    int FilenameFormat = 2;     // 0 DCF Style, 1 Vantor 1.x, 2 Vantor 2.x short, 3 Vantor 2.x long, 4 Custom...
    // Filter
    int DateMode = 1;  // 1 metadata dates only, 2 file-system dates when metadata unavailable, 3 file-system dates only
    int DCFMode = 1;   // 1 valid DCF names only, 2 preserve non-DCF names as comments, 3 replace non-DCF names
    int ExcludeReadOnly = 1;
    int ExcludeHidden = 1;
    int ExcludeSystem = 1;
    int ExcludePattern = 1;
    std::string ExcludePatternList = "*.ctg;*.ind;*.log";
    int IncludePattern = 0;
    std::string IncludePatternList = "*.jpg;*.avi;*.mpg;*.mov";
    // Feedback
    int AutoDetect = 1;
    int DisplayWarning = 1;
    int PreviewResults = 0;
    int RequestConfirmation = 1;
    int ReportErrors = 0;
    int SummarizeResults = 1;
    // Advanced
    int DateModeTIFF = 3;        // 0 DateTimeOriginal, 1 DateTimeDigitized, 2 DateTime, 3 best available
    int DateModeRIFF = 4;        // 0 ICRD/etim, 1 IDIT, 2 strd, 3 cmnt, 4 best available
    int DateModeFileSystem = 2;  // 0 Created, 1 Modified, 2 whichever is earliest
    int DCFVolumeDigits = 4;     // 0 standard 4 .. 3 up to 7, 4 all available digits
    int DCFBatchCleanup = 1;     // 0 Do nothing, 1 Remove final underscore
    int CreateLog = 0;           // 0 No, 1 Text, 2 CSV, 3 Both
    // Format: the custom filename format (section "Format", keys named as its fields)
    FilenameFormatDefinition CustomFormat{
        "%d%s%b%v%o%e",
        "{DT=", "yyyy-mm-dd @hh-nn-ss", "}",
        "{SN=", "000", "}",
        "{BA=", "&", "}",
        "{VO=", "&", "}",
        "{CO=", "&", "}",
        ".", "<&", ""};

    // The pattern texts handed to the filters: the list when its box is ticked, else "".
    std::string ExcludePatterns() const { return ExcludePattern ? ExcludePatternList : std::string(); }
    std::string IncludePatterns() const { return IncludePattern ? IncludePatternList : std::string(); }

    bool operator==(const RunOptions&) const = default;
};

}  // namespace ravlen
