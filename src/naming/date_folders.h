#pragma once
// Date folders: the folders below the output folder that a file's timestamp
// names, written like yyyy/yyyy-mm-dd. "/" separates the folders; each is a
// date format of its own with the custom format's date codes, literal text
// between double quotes, and the symbols %c %n %l %a %j %q of the template
// outside quotes (each value written with its format, no prefix or suffix).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/date_time.h"
#include "model/filename_format.h"
#include "naming/filename_builder.h"

namespace ravlen {

class DateFolderPattern {
public:
    // The pattern of a format, or nothing with what is wrong in `problem`:
    // no empty folder, ".", ".." or leading "/", every quote closed, and each
    // folder name within the custom format's length and character rules.
    static std::optional<DateFolderPattern> Parse(std::string_view format, std::string* problem = nullptr);

    // The folder names for a timestamp, outermost first ({"2024", "2024-07-14"}).
    std::vector<std::string> Folders(const DateTime& when) const;
    // The same with the symbols' values, each written with its format from
    // `formats`; a folder whose name comes out empty (its only symbol's value
    // absent) is left out, so its files go into the folder above.
    std::vector<std::string> Folders(const DateTime& when, const FilenameValues& values,
                                     const FilenameFormatDefinition& formats) const;

private:
    std::vector<std::string> parts_;  // each folder's date format
};

// What is wrong with a format, "" when it can be used.
std::string DateFolderFormatProblem(std::string_view format);
// The message that refuses a format, in the window and the console runner.
std::string DateFolderFormatMessage(std::string_view format, const std::string& problem);
// The folders of a format for a timestamp, joined by "/"; "" when the format
// cannot be used. The window's example.
std::string DateFolderSample(std::string_view format, const DateTime& when);

}  // namespace ravlen
