#pragma once
// The per-user settings store: an INI file of sections and keys, all values
// text, at $XDG_CONFIG_HOME/Ravlen/Ravlen 2.8.ini.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/run_options.h"

namespace ravlen {

class SettingsStore {
public:
    // The user's store (under $XDG_CONFIG_HOME, default ~/.config).
    static std::string DefaultPath();
    explicit SettingsStore(std::string iniPath);
    ~SettingsStore();

    const std::string& Path() const { return path_; }
    // The stored text, or nothing when the key is missing.
    std::optional<std::string> Read(const std::string& section, const std::string& key) const;
    void Write(const std::string& section, const std::string& key, const std::string& value);
    // Writes pending changes to disk (atomically: never a truncated store).
    bool Sync();

private:
    std::string path_;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Every saved option from the store, the default for each missing key; a value
// that is not a whole number, lies outside its range or lacks its form takes
// the default.
// SourcePath and OutputPath come back as stored (possibly empty).
RunOptions LoadOptions(const SettingsStore& store);
// Every saved key of every section, then Sync; false when the store could not be written.
bool SaveSettings(SettingsStore& store, const RunOptions& options);

// What a settings key holds; it decides the key's values and how the window
// and the console runner show it.
enum class KeyKind {
    Text,        // any text
    List,        // a list's item position, 0 up
    CheckBox,    // 0 or 1
    Mode,        // a group of option buttons, 1 up
    FormatText,  // one of the custom format's texts (section "Format")
};

// One row of the settings table: where the key lives, what it holds, the
// labels of its values and how to reach its field. The table drives the
// store, the console runner's Key=Value and --help, and the window's lists.
struct SettingsKey {
    const char* section = "";
    const char* key = "";
    KeyKind kind = KeyKind::Text;
    // List and Mode: the label of each value, in order from `minimum`, as the
    // window shows it.
    std::vector<const char*> items;
    const char* note = "";  // what else --help says about the key
    std::string RunOptions::*text = nullptr;
    std::string FilenameFormatDefinition::*format = nullptr;
    // List, check box and mode keys: the field as its stored integer.
    int (*get)(const RunOptions&) = nullptr;
    void (*set)(RunOptions&, int) = nullptr;
    int minimum = 0;
    int maximum = 0;
    // False for an option that lasts one run: neither loaded nor saved.
    bool saved = true;
    // Text keys whose values have a form: the test, and the form as the
    // refusal names it.
    bool (*accepts)(const std::string&) = nullptr;
    const char* form = "";

    bool IsNumber() const { return get != nullptr; }
    // The value as the store keeps it: the number, or the text.
    std::string ValueText(const RunOptions& options) const;
};
const std::vector<SettingsKey>& AllSettingsKeys();
// The refusal of a value the key does not accept; empty when it accepts it.
std::string RefusalOf(const SettingsKey& key, const std::string& value);
// The row of a key, letter case ignored; null when there is none.
const SettingsKey* FindSettingsKey(std::string_view key);
// Sets one option from its text; false (options unchanged) when the key is
// unknown or the value is not a whole number within range, or lacks its form.
bool SetOptionFromText(RunOptions& options, const std::string& key, const std::string& value, std::string& error);

// First-start completion of the two folders: an empty SourcePath runs camera
// detection without asking; an empty OutputPath becomes the Pictures folder
// (created when missing), else Documents, else the home folder.
struct SpecialFolders {
    virtual ~SpecialFolders() = default;
    virtual std::string Pictures(bool create) = 0;
    virtual std::string Documents() = 0;
    virtual std::string Home() = 0;
};
// A folder from Pictures or Documents is taken only when it is non-empty and
// exists; Home is the last resort and is not tested. A run that must leave
// the disk as it is (a list of what would happen) names a missing Pictures
// folder without making it: the real run would make it.
enum class MissingPictures { Create, NameOnly };
void CompleteFirstStart(RunOptions& options, SpecialFolders& folders,
                        const std::function<void(RunOptions&)>& detectWithoutAsking,
                        MissingPictures missing = MissingPictures::Create);

}  // namespace ravlen
