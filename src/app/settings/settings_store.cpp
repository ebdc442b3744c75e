#include "app/settings/settings_store.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryFile>
#include <QVariant>

#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <map>
#include <system_error>
#include <type_traits>

#include "app/run/movie_zone.h"
#include "model/camera_clock.h"
#include "model/time_shift.h"
#include "model/version.h"

namespace ravlen {

namespace {

QString FileName(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

// Text that is valid UTF-8 is stored as a string (readable in the file);
// anything else, such as a folder name in a legacy encoding, as bytes, so that
// it comes back exactly as it went in.
QVariant ToStored(const std::string& value) {
    const QByteArray bytes = QByteArray::fromStdString(value);
    const QString text = QString::fromUtf8(bytes);
    if (text.toUtf8() == bytes) return text;
    return bytes;
}

std::optional<std::string> FromStored(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString().toStdString();
    case QMetaType::QByteArray:
        return value.toByteArray().toStdString();
    case QMetaType::QStringList:
        // Only a hand-edited file gives a list (an unquoted "a, b").
        return value.toStringList().join(QStringLiteral(", ")).toStdString();
    default:
        if (value.isValid() && value.canConvert<QString>()) return value.toString().toStdString();
        return std::nullopt;
    }
}

QString KeyOf(const std::string& section, const std::string& key) {
    return QString::fromStdString(section) + QLatin1Char('/') + QString::fromStdString(key);
}

using ValueMap = std::map<QString, QVariant>;

// Everything a settings file holds; a damaged file gives what parsed.
ValueMap ReadAll(const QString& path, QSettings::Status& status) {
    QSettings settings(path, QSettings::IniFormat);
    ValueMap values;
    for (const QString& key : settings.allKeys()) values[key] = settings.value(key);
    status = settings.status();
    return values;
}

bool SyncToDisk(const QByteArray& path, int flags) {
    const int fd = ::open(path.constData(), flags | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Writes the whole store next to its place, reads it back, and only when the
// file on disk gives back exactly these values renames it over the store.
// QSettings' own save can report success for a file cut short by a full
// disk, so its word is not taken for it.
bool ReplaceVerified(const QString& path, const ValueMap& values) {
    QTemporaryFile written(path + QStringLiteral(".XXXXXX"));
    QTemporaryFile checked(path + QStringLiteral(".XXXXXX"));
    if (!written.open() || !checked.open()) return false;
    written.close();
    checked.close();
    {
        QSettings out(written.fileName(), QSettings::IniFormat);
        for (const auto& [key, value] : values) out.setValue(key, value);
        out.sync();
        if (out.status() != QSettings::NoError) return false;
    }
    // Under a name QSettings has not cached, so that the bytes are parsed afresh.
    const QByteArray checkedName = QFile::encodeName(checked.fileName());
    if (std::rename(QFile::encodeName(written.fileName()).constData(), checkedName.constData()) != 0) return false;
    QSettings::Status status = QSettings::NoError;
    if (ReadAll(checked.fileName(), status) != values || status != QSettings::NoError) return false;
    if (!SyncToDisk(checkedName, O_RDONLY)) return false;
    if (std::rename(checkedName.constData(), QFile::encodeName(path).constData()) != 0) return false;
    written.setAutoRemove(false);
    checked.setAutoRemove(false);
    SyncToDisk(QFile::encodeName(QFileInfo(path).absolutePath()), O_RDONLY | O_DIRECTORY);
    return true;
}

}  // namespace

struct SettingsStore::Impl {
    ValueMap values;   // the store as loaded, with our writes
    ValueMap pending;  // written since the last Sync
    bool whole = true;  // false when the file did not parse: the next save writes it anew
};

std::string SettingsStore::DefaultPath() {
    std::string base = QFile::encodeName(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
                           .toStdString();
    if (base.empty()) base = ".";
    return base + "/" + Version().Title + "/" + AppName() + ".ini";
}

SettingsStore::SettingsStore(std::string iniPath) : path_(std::move(iniPath)), impl_(std::make_unique<Impl>()) {
    QSettings::Status status = QSettings::NoError;
    impl_->values = ReadAll(FileName(path_), status);
    impl_->whole = status == QSettings::NoError;
}

SettingsStore::~SettingsStore() = default;

std::optional<std::string> SettingsStore::Read(const std::string& section, const std::string& key) const {
    const auto it = impl_->values.find(KeyOf(section, key));
    if (it == impl_->values.end()) return std::nullopt;
    return FromStored(it->second);
}

void SettingsStore::Write(const std::string& section, const std::string& key, const std::string& value) {
    const QString name = KeyOf(section, key);
    QVariant stored = ToStored(value);
    // A value the store already holds needs no save: a run that changes no
    // setting leaves the file (and its lock and flushes) alone.
    if (const auto held = impl_->values.find(name);
        impl_->whole && held != impl_->values.end() && held->second == stored)
        return;
    impl_->values[name] = stored;
    impl_->pending[name] = std::move(stored);
}

bool SettingsStore::Sync() {
    if (impl_->pending.empty()) return true;
    QString path = FileName(path_);
    // A store kept elsewhere behind a link is replaced there; the link stays.
    if (const QFileInfo info(path); info.isSymLink() && !info.canonicalFilePath().isEmpty())
        path = info.canonicalFilePath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
    QLockFile lock(path + QStringLiteral(".lock"));
    if (!lock.tryLock(5000)) return false;
    // Keys another instance saved in the meantime are kept; ours win.
    QSettings::Status status = QSettings::NoError;
    ValueMap merged = ReadAll(path, status);
    if (status == QSettings::AccessError) return false;  // never replace what could not be read
    for (const auto& [key, value] : impl_->pending) merged[key] = value;
    if (!ReplaceVerified(path, merged)) return false;
    impl_->pending.clear();
    impl_->whole = true;
    return true;
}

// ---------------------------------------------------------------------------

namespace {

SettingsKey TextKey(const char* section, const char* key, std::string RunOptions::*field, const char* note) {
    SettingsKey k;
    k.section = section;
    k.key = key;
    k.text = field;
    k.note = note;
    return k;
}

SettingsKey FormatKey(const char* key, std::string FilenameFormatDefinition::*field, const char* note = "") {
    SettingsKey k;
    k.section = "Format";
    k.key = key;
    k.kind = KeyKind::FormatText;
    k.format = field;
    k.note = note;
    return k;
}

// A list, check box or mode field, reached through its stored integer; its
// range follows from its kind and labels.
template <auto Field>
SettingsKey NumberKey(const char* section, const char* key, KeyKind kind, std::vector<const char*> items,
                      const char* note) {
    using Value = std::remove_cvref_t<decltype(RunOptions{}.*Field)>;
    SettingsKey k;
    k.section = section;
    k.key = key;
    k.kind = kind;
    k.note = note;
    k.get = [](const RunOptions& options) { return StoredValue(options.*Field); };
    k.set = [](RunOptions& options, int value) { options.*Field = static_cast<Value>(value); };
    k.minimum = kind == KeyKind::Mode ? 1 : 0;
    k.maximum = kind == KeyKind::CheckBox ? 1 : k.minimum + static_cast<int>(items.size()) - 1;
    k.items = std::move(items);
    return k;
}

template <auto Field>
SettingsKey ListKey(const char* section, const char* key, std::vector<const char*> items, const char* note = "") {
    return NumberKey<Field>(section, key, KeyKind::List, std::move(items), note);
}

template <auto Field>
SettingsKey ModeKey(const char* section, const char* key, std::vector<const char*> items) {
    return NumberKey<Field>(section, key, KeyKind::Mode, std::move(items), "");
}

template <auto Field>
SettingsKey CheckKey(const char* section, const char* key, const char* note) {
    return NumberKey<Field>(section, key, KeyKind::CheckBox, {}, note);
}

SettingsKey FormedKey(SettingsKey k, bool (*accepts)(const std::string&), const char* form) {
    k.accepts = accepts;
    k.form = form;
    return k;
}

SettingsKey OneRunKey(SettingsKey k, bool (*accepts)(const std::string&), const char* form) {
    k.saved = false;
    return FormedKey(std::move(k), accepts, form);
}

std::vector<SettingsKey> MakeKeys() {
    using O = RunOptions;
    using F = FilenameFormatDefinition;
    return {
        TextKey("Main", "SourcePath", &O::SourcePath, "the folder to process"),
        TextKey("Main", "OutputPath", &O::OutputPath, "the folder that receives the renamed files"),
        ListKey<&O::ProcessSubfolders>("Main", "ProcessSubfolders",
                                       {"Ignore", "Flatten into top-level output folder",
                                        "Preserve as output subfolders"}),
        ListKey<&O::MoveOrCopy>("Main", "MoveOrCopy", {"Move", "Copy", "Copy when unable to move"}),
        ListKey<&O::AddSerial>("Main", "AddSerial", {"Never", "Duplicates only", "Always"}),
        ListKey<&O::AddBatchVolume>("Main", "AddBatchVolume", {"Neither", "Batch only", "Volume only", "Both"}),
        ListKey<&O::FilenameFormat>("Main", "FilenameFormat",
                                    {"DCF Style", "Vantor 1.x", "Vantor 2.x (with short attribute labels)",
                                     "Vantor 2.x (with long attribute labels)", "Custom..."},
                                    "Custom... names files by the Format keys"),
        ModeKey<&O::DateMode>("Filter", "DateMode",
                              {"Timestamp only files which have valid Metadata dates",
                               "Use File System dates when Metadata unavailable", "Use File System dates only"}),
        ModeKey<&O::DCFMode>("Filter", "DCFMode",
                             {"Timestamp only files which have valid DCF filenames",
                              "Preserve non-DCF filenames as Comments", "Replace non-DCF filenames"}),
        CheckKey<&O::ExcludeReadOnly>("Filter", "ExcludeReadOnly", "leave read-only files alone"),
        CheckKey<&O::ExcludeHidden>("Filter", "ExcludeHidden", "leave hidden files and folders alone"),
        CheckKey<&O::ExcludeSystem>("Filter", "ExcludeSystem", "leave files and folders marked System alone"),
        CheckKey<&O::ExcludePattern>("Filter", "ExcludePattern", "leave what ExcludePatternList matches alone"),
        TextKey("Filter", "ExcludePatternList", &O::ExcludePatternList,
                "wildcard patterns separated by \";\" (? * # [list] [!list])"),
        CheckKey<&O::IncludePattern>("Filter", "IncludePattern", "process only files IncludePatternList matches"),
        TextKey("Filter", "IncludePatternList", &O::IncludePatternList, "wildcard patterns separated by \";\""),
        CheckKey<&O::AutoDetect>("Feedback", "AutoDetect",
                                 "at the start of the run, offer a camera card as the source folder"),
        CheckKey<&O::DisplayWarning>("Feedback", "DisplayWarning", "the window asks before risky settings"),
        CheckKey<&O::PreviewResults>("Feedback", "PreviewResults", "count what the run would do before it"),
        CheckKey<&O::RequestConfirmation>("Feedback", "RequestConfirmation",
                                          "ask before processing (answered by --yes)"),
        CheckKey<&O::ReportErrors>("Feedback", "ReportErrors", "print every per-file problem as it happens"),
        CheckKey<&O::SummarizeResults>("Feedback", "SummarizeResults", "report the results after processing"),
        ListKey<&O::DateModeTIFF>("Advanced", "DateModeTIFF",
                                  {"Use DateTimeOriginal only", "Use DateTimeDigitized only", "Use DateTime only",
                                   "Use best available"}),
        ListKey<&O::DateModeRIFF>("Advanced", "DateModeRIFF",
                                  {"Use ICRD/etim only", "Use IDIT only", "Use strd only", "Use cmnt only",
                                   "Use best available"}),
        ListKey<&O::DateModeFileSystem>("Advanced", "DateModeFileSystem",
                                        {"Use Created date/time", "Use Modified date/time",
                                         "Use whichever is earliest"}),
        ListKey<&O::DCFVolumeDigits>("Advanced", "DCFVolumeDigits",
                                     {"Use standard 4 digits only", "Use up to 5 digits if present",
                                      "Use up to 6 digits if present", "Use up to 7 digits if present",
                                      "Use all available digits"}),
        ListKey<&O::DCFBatchCleanup>("Advanced", "DCFBatchCleanup", {"Do nothing", "Remove final underscore"}),
        ListKey<&O::CreateLog>("Advanced", "CreateLog", {"No", "Text", "CSV", "Both"},
                               "the logs are written into the output folder"),
        FormatKey("Template", &F::Template,
                  "the custom filename template: %d date, %s serial, %b batch, %v volume, %o original name, "
                  "%e extension, %c camera, %n body serial number, %l lens, %a artist or owner, %j job code, "
                  "%q number that continues between imports"),
        FormatKey("DatePrefix", &F::DatePrefix),
        FormatKey("DateFormat", &F::DateFormat),
        FormatKey("DateSuffix", &F::DateSuffix),
        FormatKey("SerialPrefix", &F::SerialPrefix),
        FormatKey("SerialFormat", &F::SerialFormat),
        FormatKey("SerialSuffix", &F::SerialSuffix),
        FormatKey("BatchPrefix", &F::BatchPrefix),
        FormatKey("BatchFormat", &F::BatchFormat),
        FormatKey("BatchSuffix", &F::BatchSuffix),
        FormatKey("VolumePrefix", &F::VolumePrefix),
        FormatKey("VolumeFormat", &F::VolumeFormat),
        FormatKey("VolumeSuffix", &F::VolumeSuffix),
        FormatKey("OriginalPrefix", &F::OriginalPrefix),
        FormatKey("OriginalFormat", &F::OriginalFormat),
        FormatKey("OriginalSuffix", &F::OriginalSuffix),
        FormatKey("ExtensionPrefix", &F::ExtensionPrefix),
        FormatKey("ExtensionFormat", &F::ExtensionFormat),
        FormatKey("ExtensionSuffix", &F::ExtensionSuffix),
        FormatKey("CameraPrefix", &F::CameraPrefix),
        FormatKey("CameraFormat", &F::CameraFormat),
        FormatKey("CameraSuffix", &F::CameraSuffix),
        FormatKey("BodySerialPrefix", &F::BodySerialPrefix),
        FormatKey("BodySerialFormat", &F::BodySerialFormat),
        FormatKey("BodySerialSuffix", &F::BodySerialSuffix),
        FormatKey("LensPrefix", &F::LensPrefix),
        FormatKey("LensFormat", &F::LensFormat),
        FormatKey("LensSuffix", &F::LensSuffix),
        FormatKey("ArtistPrefix", &F::ArtistPrefix),
        FormatKey("ArtistFormat", &F::ArtistFormat),
        FormatKey("ArtistSuffix", &F::ArtistSuffix),
        FormatKey("JobPrefix", &F::JobPrefix),
        FormatKey("JobFormat", &F::JobFormat),
        FormatKey("JobSuffix", &F::JobSuffix),
        FormatKey("SequencePrefix", &F::SequencePrefix),
        FormatKey("SequenceFormat", &F::SequenceFormat),
        FormatKey("SequenceSuffix", &F::SequenceSuffix),
        OneRunKey(TextKey("Time", "TimeShift", &O::TimeShift,
                          "shifts every metadata date, for this run only (never saved): +01:00:00, -1 02:30:00"),
                  [](const std::string& v) { return TimeShift::Parse(v).has_value(); },
                  "a signed duration: optional days and a blank, then hh:mm:ss, e.g. +01:00:00 or -1 02:30:00"),
        FormedKey(TextKey("Time", "CameraOffsets", &O::CameraOffsets,
                          "each camera's clock offset, added to its files' dates on top of TimeShift"),
                  [](const std::string& v) { return ParseCameraOffsets(v).has_value(); },
                  "entries Make|Model|Serial=+hh:mm:ss separated by \";\" (\"\\\" before a | ; = or \\ "
                  "in a name)"),
        FormedKey(TextKey("Time", "MovieTimeZone", &O::MovieTimeZone,
                          "the zone of a movie that stores only UTC (empty: this computer's)"),
                  [](const std::string& v) { return IsKnownTimeZone(v); },
                  "an IANA time zone name such as Europe/Paris, or nothing"),
        CheckKey<&O::SetFileTime>("Time", "SetFileTime",
                                  "each placed file's modified time becomes its recording time; needs the CSV "
                                  "log (CreateLog 2 or 3), from which the undo puts the old time back"),
        CheckKey<&O::VerifyCopies>("Copy", "VerifyCopies",
                                   "read each copy back from the disk and compare it with the original"),
        CheckKey<&O::KeepPairsTogether>("Import", "KeepPairsTogether",
                                        "the files of one shot (RAW+JPEG) share a serial number; XMP, THM and "
                                        "WAV sidecars follow their picture"),
        CheckKey<&O::DateFolders>("Import", "DateFolders",
                                  "place each file in folders named by its date, made below the output folder "
                                  "as DateFolderFormat says"),
        TextKey("Import", "DateFolderFormat", &O::DateFolderFormat,
                "folder names separated by \"/\", each with the date codes yyyy mm dd hh nn ss ff, the symbols "
                "%c %n %l %a %j %q and other text between double quotes: yyyy/yyyy-mm-dd, yyyy/\"Summer \"yyyy"),
        CheckKey<&O::SkipImported>("Import", "SkipImported",
                                   "a file whose identical bytes are already in the output folder is not "
                                   "placed again"),
        TextKey("Import", "BackupPaths", &O::BackupPaths,
                "backup folders separated by \";\": each placed file is copied into every one too, under "
                "its name below the output folder; it counts as placed once every copy is on the disk"),
        CheckKey<&O::EjectWhenDone>("Import", "EjectWhenDone",
                                    "after a run that leaves the card safe to format, unmount it and power it off"),
        TextKey("Import", "JobCode", &O::JobCode,
                "the job code of %j; needed when the template, DateFolderFormat or SequenceScope 2 uses it"),
        ListKey<&O::SequenceScope>("Import", "SequenceScope",
                                   {"Count for ever", "Count per day of recording", "Count per job code"},
                                   "what the number %q counts within; it continues between imports"),
        TextKey("Import", "RecentJobCodes", &O::RecentJobCodes,
                "the job codes the window offers, most recent first, separated by \"|\""),
    };
}

// A whole decimal number, blanks around it allowed; nothing else.
std::optional<int> ParseWhole(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<int> ParseInRange(const SettingsKey& k, const std::string& text) {
    const std::optional<int> value = ParseWhole(text);
    if (!value || *value < k.minimum || *value > k.maximum) return std::nullopt;
    return value;
}

std::string& TextField(RunOptions& options, const SettingsKey& k) {
    return k.text ? options.*k.text : options.CustomFormat.*k.format;
}

bool SameKey(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_directory(path, ec);
}

}  // namespace

std::string SettingsKey::ValueText(const RunOptions& options) const {
    if (get) return std::to_string(get(options));
    return text ? options.*text : options.CustomFormat.*format;
}

const std::vector<SettingsKey>& AllSettingsKeys() {
    static const std::vector<SettingsKey> keys = MakeKeys();
    return keys;
}

std::string RefusalOf(const SettingsKey& k, const std::string& value) {
    if (!k.accepts || k.accepts(value)) return {};
    return std::string("key \"") + k.key + "\" takes " + k.form + ", not \"" + value + "\"";
}

const SettingsKey* FindSettingsKey(std::string_view key) {
    for (const SettingsKey& k : AllSettingsKeys())
        if (SameKey(key, k.key)) return &k;
    return nullptr;
}

RunOptions LoadOptions(const SettingsStore& store) {
    RunOptions options;
    for (const SettingsKey& k : AllSettingsKeys()) {
        if (!k.saved) continue;
        const std::optional<std::string> stored = store.Read(k.section, k.key);
        if (!stored) continue;
        if (k.IsNumber()) {
            if (const std::optional<int> value = ParseInRange(k, *stored)) k.set(options, *value);
        } else if (!k.accepts || k.accepts(*stored)) {
            TextField(options, k) = *stored;
        }
    }
    return options;
}

bool SaveSettings(SettingsStore& store, const RunOptions& options) {
    for (const SettingsKey& k : AllSettingsKeys())
        if (k.saved) store.Write(k.section, k.key, k.ValueText(options));
    return store.Sync();
}

bool SetOptionFromText(RunOptions& options, const std::string& key, const std::string& value, std::string& error) {
    const SettingsKey* k = FindSettingsKey(key);
    if (!k) {
        error = "unknown key \"" + key + "\"";
        return false;
    }
    if (!k->IsNumber()) {
        error = RefusalOf(*k, value);
        if (!error.empty()) return false;
        TextField(options, *k) = value;
        return true;
    }
    const std::optional<int> number = ParseInRange(*k, value);
    if (!number) {
        error = std::string("key \"") + k->key + "\" takes a whole number from " + std::to_string(k->minimum) +
                " to " + std::to_string(k->maximum) + ", not \"" + value + "\"";
        return false;
    }
    k->set(options, *number);
    return true;
}

void CompleteFirstStart(RunOptions& options, SpecialFolders& folders,
                        const std::function<void(RunOptions&)>& detectWithoutAsking, MissingPictures missing) {
    if (options.SourcePath.empty() && detectWithoutAsking) detectWithoutAsking(options);
    if (!options.OutputPath.empty()) return;
    // Pictures first (created when missing), then Documents; either only when
    // the folder is really there.
    if (missing == MissingPictures::NameOnly) {
        if (std::string pictures = folders.Pictures(false); !pictures.empty()) {
            options.OutputPath = std::move(pictures);
            return;
        }
    }
    std::string folder = folders.Pictures(true);
    if (!IsFolder(folder)) folder = folders.Documents();
    if (!IsFolder(folder)) folder = folders.Home();
    options.OutputPath = folder;
}

}  // namespace ravlen
