#pragma once
// The main window's behaviour without its widgets: the value of every
// control, the two option-button groups, the enabled states, the warnings,
// the sample filename and the order in which stored settings are applied.

#include <functional>
#include <optional>
#include <string>

#include "model/date_time.h"
#include "model/filename_format.h"
#include "model/run_options.h"

namespace ravlen::ui {

// One group of option buttons: the first button, "Timestamp all files", and
// the sub-group of two buttons under the latter.
struct OptionGroup {
    bool option1 = false;
    bool option2 = false;
    bool optionA = false;
    bool optionB = false;
    bool subEnabled = true;
};

class MainForm {
public:
    struct Hooks {
        // A risky-setting warning (Yes/No, exclamation); true when confirmed.
        std::function<bool(const std::string& text)> confirm;
        // The custom format dialog, shown modally; the new definition on OK.
        std::function<std::optional<FilenameFormatDefinition>(const FilenameFormatDefinition&)> editCustomFormat;
        // Moves the keyboard focus to DCFOption1.
        std::function<void()> focusDCFOption1;
        std::function<DateTime()> now;
    };

    explicit MainForm(Hooks hooks);

    // Every control's value: lists, check boxes, texts, DateMode, DCFMode and
    // the custom format's 19 texts.
    RunOptions values;
    OptionGroup exif;  // EXIFOption1, EXIFOption2, EXIFOption2A, EXIFOption2B
    OptionGroup dcf;   // DCFOption1, DCFOption2, DCFOption2A, DCFOption2B
    bool excludePatternListEnabled = true;
    bool includePatternListEnabled = false;
    bool dateFolderFormatEnabled = false;
    // Below the date folder format: an example of the folders for now, or
    // what is wrong with the format.
    std::string dateFolderExample;
    bool formEventsEnabled = true;
    std::string sampleFilename;

    // Click handlers of the option buttons.
    void EXIFOption1Click();
    void EXIFOption2Click();
    void EXIFOption2AClick();
    void EXIFOption2BClick();
    void DCFOption1Click();
    void DCFOption2Click();
    void DCFOption2AClick();
    void DCFOption2BClick();
    // Check boxes with behaviour of their own (the new state is given).
    void ExcludeSystemClick(bool ticked);
    void ExcludePatternClick(bool ticked);
    void IncludePatternClick(bool ticked);
    void DateFoldersClick(bool ticked);
    void DateFolderFormatChange(const std::string& text);
    // Lists with behaviour of their own.
    void AddSerialChange(AddSerial value);
    void AddBatchVolumeChange(AddBatchVolume value);
    void FilenameFormatChange(FilenameFormat value);
    void UpdateFilenameFormat();

    // Applies stored options to the controls in the order that lets each
    // control's behaviour see the ones before it. Warnings and the custom
    // format dialog depend on formEventsEnabled as always.
    void LoadSettings(const RunOptions& stored);
    // The window's load: LoadSettings with formEventsEnabled false, then true.
    void Load(const RunOptions& stored);

    // The options of a run, as the controls hold them.
    const RunOptions& Options() const { return values; }

    static std::string NonDCFWarning();
    static std::string SystemWarning();

private:
    bool WarningsWanted() const { return formEventsEnabled && values.DisplayWarning; }

    Hooks hooks_;
};

}  // namespace ravlen::ui
