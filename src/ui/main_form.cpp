#include "ui/main_form.h"

#include "model/version.h"
#include "naming/sample.h"

namespace ravlen::ui {

MainForm::MainForm(Hooks hooks) : hooks_(std::move(hooks)) {
    if (!hooks_.now) hooks_.now = &DateTime::Now;
}

std::string MainForm::NonDCFWarning() {
    return "WARNING: if you allow " + Version().Title +
           " to process files which do not have DCF filenames, you may end up processing files which do not come "
           "from digital cameras, and you may end up re-processing files which have already been processed, either "
           "of which could produce undesirable results.\r\n\r\nAre you sure you want to process files with non-DCF "
           "filenames?";
}

std::string MainForm::SystemWarning() {
    return "WARNING: files flagged with the System attribute may be essential to your computer or camera. If you "
           "allow " +
           Version().Title +
           " to process these files, your computer or camera may no longer function properly.\r\n\r\nAre you sure "
           "you want to process files flagged with the System attribute?";
}

// Metadata group: DateMode 1, 2 or 3.
void MainForm::EXIFOption1Click() {
    exif.option1 = true;
    exif.option2 = false;
    exif.subEnabled = false;
    values.DateMode = 1;
}

void MainForm::EXIFOption2Click() {
    exif.option1 = false;
    exif.option2 = true;
    exif.subEnabled = true;
    if (exif.optionA) values.DateMode = 2;
    if (exif.optionB) values.DateMode = 3;
}

void MainForm::EXIFOption2AClick() {
    exif.optionA = true;
    exif.optionB = false;
    values.DateMode = 2;
}

void MainForm::EXIFOption2BClick() {
    exif.optionA = false;
    exif.optionB = true;
    values.DateMode = 3;
}

// DCF group: DCFMode 1, 2 or 3.
void MainForm::DCFOption1Click() {
    dcf.option1 = true;
    dcf.option2 = false;
    dcf.subEnabled = false;
    values.DCFMode = 1;
}

void MainForm::DCFOption2Click() {
    dcf.option1 = false;
    dcf.option2 = true;
    dcf.subEnabled = true;
    if (dcf.optionA) values.DCFMode = 2;
    if (dcf.optionB) values.DCFMode = 3;
    if (!WarningsWanted()) return;
    const bool confirmed = hooks_.confirm && hooks_.confirm(NonDCFWarning());
    if (confirmed) return;
    DCFOption1Click();
    if (hooks_.focusDCFOption1) hooks_.focusDCFOption1();
}

void MainForm::DCFOption2AClick() {
    dcf.optionA = true;
    dcf.optionB = false;
    values.DCFMode = 2;
}

void MainForm::DCFOption2BClick() {
    dcf.optionA = false;
    dcf.optionB = true;
    values.DCFMode = 3;
}

void MainForm::ExcludeSystemClick(bool ticked) {
    values.ExcludeSystem = ticked ? 1 : 0;
    if (ticked || !WarningsWanted()) return;
    const bool confirmed = hooks_.confirm && hooks_.confirm(SystemWarning());
    if (!confirmed) values.ExcludeSystem = 1;
}

void MainForm::ExcludePatternClick(bool ticked) {
    values.ExcludePattern = ticked ? 1 : 0;
    excludePatternListEnabled = ticked;
}

void MainForm::IncludePatternClick(bool ticked) {
    values.IncludePattern = ticked ? 1 : 0;
    includePatternListEnabled = ticked;
}

void MainForm::AddSerialChange(int index) {
    values.AddSerial = index;
    UpdateFilenameFormat();
}

void MainForm::AddBatchVolumeChange(int index) {
    values.AddBatchVolume = index;
    UpdateFilenameFormat();
}

void MainForm::FilenameFormatChange(int index) {
    values.FilenameFormat = index;
    if (index == 4 && formEventsEnabled && hooks_.editCustomFormat) {
        // Cancel keeps "Custom..." with the definition it had.
        if (auto edited = hooks_.editCustomFormat(values.CustomFormat)) values.CustomFormat = *edited;
    }
    UpdateFilenameFormat();
}

void MainForm::UpdateFilenameFormat() {
    sampleFilename = FilenameSample(values.FilenameFormat, values.AddSerial, values.AddBatchVolume,
                                    values.CustomFormat, hooks_.now());
}

void MainForm::LoadSettings(const RunOptions& stored) {
    values.SourcePath = stored.SourcePath;
    values.OutputPath = stored.OutputPath;

    values.ProcessSubfolders = stored.ProcessSubfolders;
    values.MoveOrCopy = stored.MoveOrCopy;
    AddSerialChange(stored.AddSerial);
    AddBatchVolumeChange(stored.AddBatchVolume);
    FilenameFormatChange(stored.FilenameFormat);

    // Selecting a sub-button first, then the group's button, leaves the
    // stored mode and the enabled states as a user's clicks would.
    values.DateMode = stored.DateMode;
    switch (stored.DateMode) {
        case 2: EXIFOption2AClick(); EXIFOption2Click(); break;
        case 3: EXIFOption2BClick(); EXIFOption2Click(); break;
        default: EXIFOption2AClick(); EXIFOption1Click(); break;
    }
    values.DCFMode = stored.DCFMode;
    switch (stored.DCFMode) {
        case 2: DCFOption2AClick(); DCFOption2Click(); break;
        case 3: DCFOption2BClick(); DCFOption2Click(); break;
        default: DCFOption2AClick(); DCFOption1Click(); break;
    }

    values.ExcludeReadOnly = stored.ExcludeReadOnly;
    values.ExcludeHidden = stored.ExcludeHidden;
    ExcludeSystemClick(stored.ExcludeSystem != 0);
    ExcludePatternClick(stored.ExcludePattern != 0);
    values.ExcludePatternList = stored.ExcludePatternList;
    IncludePatternClick(stored.IncludePattern != 0);
    values.IncludePatternList = stored.IncludePatternList;

    values.AutoDetect = stored.AutoDetect;
    values.DisplayWarning = stored.DisplayWarning;
    values.PreviewResults = stored.PreviewResults;
    values.RequestConfirmation = stored.RequestConfirmation;
    values.SummarizeResults = stored.SummarizeResults;
    values.ReportErrors = stored.ReportErrors;
    values.DateModeTIFF = stored.DateModeTIFF;
    values.DateModeRIFF = stored.DateModeRIFF;
    values.DateModeFileSystem = stored.DateModeFileSystem;
    values.DCFVolumeDigits = stored.DCFVolumeDigits;
    values.DCFBatchCleanup = stored.DCFBatchCleanup;
    values.CreateLog = stored.CreateLog;

    values.CustomFormat = stored.CustomFormat;
    UpdateFilenameFormat();
}

void MainForm::Load(const RunOptions& stored) {
    formEventsEnabled = false;
    LoadSettings(stored);
    formEventsEnabled = true;
}

}  // namespace ravlen::ui
