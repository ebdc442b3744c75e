#include "ui/main_form.h"

#include "model/version.h"
#include "naming/date_folders.h"
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

// Metadata group: the DateMode.
void MainForm::EXIFOption1Click() {
    exif.option1 = true;
    exif.option2 = false;
    exif.subEnabled = false;
    values.DateMode = DateMode::MetadataOnly;
}

void MainForm::EXIFOption2Click() {
    exif.option1 = false;
    exif.option2 = true;
    exif.subEnabled = true;
    if (exif.optionA) values.DateMode = DateMode::FileSystemWhenNoMetadata;
    if (exif.optionB) values.DateMode = DateMode::FileSystemOnly;
}

void MainForm::EXIFOption2AClick() {
    exif.optionA = true;
    exif.optionB = false;
    values.DateMode = DateMode::FileSystemWhenNoMetadata;
}

void MainForm::EXIFOption2BClick() {
    exif.optionA = false;
    exif.optionB = true;
    values.DateMode = DateMode::FileSystemOnly;
}

// DCF group: the DCFMode.
void MainForm::DCFOption1Click() {
    dcf.option1 = true;
    dcf.option2 = false;
    dcf.subEnabled = false;
    values.DCFMode = DCFMode::ValidOnly;
}

void MainForm::DCFOption2Click() {
    dcf.option1 = false;
    dcf.option2 = true;
    dcf.subEnabled = true;
    if (dcf.optionA) values.DCFMode = DCFMode::PreserveAsComment;
    if (dcf.optionB) values.DCFMode = DCFMode::ReplaceNonDcf;
    if (!WarningsWanted()) return;
    const bool confirmed = hooks_.confirm && hooks_.confirm(NonDCFWarning());
    if (confirmed) return;
    DCFOption1Click();
    if (hooks_.focusDCFOption1) hooks_.focusDCFOption1();
}

void MainForm::DCFOption2AClick() {
    dcf.optionA = true;
    dcf.optionB = false;
    values.DCFMode = DCFMode::PreserveAsComment;
}

void MainForm::DCFOption2BClick() {
    dcf.optionA = false;
    dcf.optionB = true;
    values.DCFMode = DCFMode::ReplaceNonDcf;
}

void MainForm::ExcludeSystemClick(bool ticked) {
    values.ExcludeSystem = ticked;
    if (ticked || !WarningsWanted()) return;
    const bool confirmed = hooks_.confirm && hooks_.confirm(SystemWarning());
    if (!confirmed) values.ExcludeSystem = true;
}

void MainForm::ExcludePatternClick(bool ticked) {
    values.ExcludePattern = ticked;
    excludePatternListEnabled = ticked;
}

void MainForm::IncludePatternClick(bool ticked) {
    values.IncludePattern = ticked;
    includePatternListEnabled = ticked;
}

void MainForm::DateFoldersClick(bool ticked) {
    values.DateFolders = ticked;
    dateFolderFormatEnabled = ticked;
}

void MainForm::DateFolderFormatChange(const std::string& text) {
    values.DateFolderFormat = text;
    const std::string problem = DateFolderFormatProblem(text);
    dateFolderExample =
        problem.empty() ? "Example: " + DateFolderSample(text, hooks_.now()) + "/" : "Problem: " + problem;
}

void MainForm::AddSerialChange(AddSerial value) {
    values.AddSerial = value;
    UpdateFilenameFormat();
}

void MainForm::AddBatchVolumeChange(AddBatchVolume value) {
    values.AddBatchVolume = value;
    UpdateFilenameFormat();
}

void MainForm::FilenameFormatChange(FilenameFormat value) {
    values.FilenameFormat = value;
    if (value == FilenameFormat::Custom && formEventsEnabled && hooks_.editCustomFormat) {
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
        case DateMode::FileSystemWhenNoMetadata: EXIFOption2AClick(); EXIFOption2Click(); break;
        case DateMode::FileSystemOnly: EXIFOption2BClick(); EXIFOption2Click(); break;
        default: EXIFOption2AClick(); EXIFOption1Click(); break;
    }
    values.DCFMode = stored.DCFMode;
    switch (stored.DCFMode) {
        case DCFMode::PreserveAsComment: DCFOption2AClick(); DCFOption2Click(); break;
        case DCFMode::ReplaceNonDcf: DCFOption2BClick(); DCFOption2Click(); break;
        default: DCFOption2AClick(); DCFOption1Click(); break;
    }

    values.ExcludeReadOnly = stored.ExcludeReadOnly;
    values.ExcludeHidden = stored.ExcludeHidden;
    ExcludeSystemClick(stored.ExcludeSystem);
    ExcludePatternClick(stored.ExcludePattern);
    values.ExcludePatternList = stored.ExcludePatternList;
    IncludePatternClick(stored.IncludePattern);
    values.IncludePatternList = stored.IncludePatternList;

    values.AutoDetect = stored.AutoDetect;
    values.DisplayWarning = stored.DisplayWarning;
    values.PreviewResults = stored.PreviewResults;
    values.RequestConfirmation = stored.RequestConfirmation;
    values.SummarizeResults = stored.SummarizeResults;
    values.ReportErrors = stored.ReportErrors;
    values.VerifyCopies = stored.VerifyCopies;
    values.DateModeTIFF = stored.DateModeTIFF;
    values.DateModeRIFF = stored.DateModeRIFF;
    values.DateModeFileSystem = stored.DateModeFileSystem;
    values.DCFVolumeDigits = stored.DCFVolumeDigits;
    values.DCFBatchCleanup = stored.DCFBatchCleanup;
    values.CreateLog = stored.CreateLog;
    values.KeepPairsTogether = stored.KeepPairsTogether;
    DateFoldersClick(stored.DateFolders);
    DateFolderFormatChange(stored.DateFolderFormat);
    values.SkipImported = stored.SkipImported;
    values.BackupPaths = stored.BackupPaths;
    values.EjectWhenDone = stored.EjectWhenDone;
    values.JobCode = stored.JobCode;
    values.SequenceScope = stored.SequenceScope;
    values.RecentJobCodes = stored.RecentJobCodes;
    // The clock corrections kept ([Time]); TimeShift lasts one run and is never stored.
    values.CameraOffsets = stored.CameraOffsets;
    values.MovieTimeZone = stored.MovieTimeZone;
    values.SetFileTime = stored.SetFileTime;

    values.CustomFormat = stored.CustomFormat;
    UpdateFilenameFormat();
}

void MainForm::Load(const RunOptions& stored) {
    formEventsEnabled = false;
    LoadSettings(stored);
    formEventsEnabled = true;
}

}  // namespace ravlen::ui
