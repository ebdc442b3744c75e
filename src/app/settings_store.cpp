#include "app/settings_store.h"

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
    return true;
}

// ---------------------------------------------------------------------------

namespace {

SettingsKey TextKey(const char* section, const char* key, std::string RunOptions::*field) {
    SettingsKey k{};
    k.section = section;
    k.key = key;
    k.text = field;
    return k;
}

// A list, check box or mode field, reached through its stored integer.
template <auto Field>
SettingsKey NumberKey(const char* section, const char* key, int minimum, int maximum) {
    using Value = std::remove_cvref_t<decltype(RunOptions{}.*Field)>;
    SettingsKey k{};
    k.section = section;
    k.key = key;
    k.get = [](const RunOptions& options) { return StoredValue(options.*Field); };
    k.set = [](RunOptions& options, int value) { options.*Field = static_cast<Value>(value); };
    k.minimum = minimum;
    k.maximum = maximum;
    return k;
}

SettingsKey FormatKey(const char* key, std::string FilenameFormatDefinition::*field) {
    SettingsKey k{};
    k.section = "Format";
    k.key = key;
    k.format = field;
    return k;
}

std::vector<SettingsKey> MakeKeys() {
    using O = RunOptions;
    using F = FilenameFormatDefinition;
    return {
        TextKey("Main", "SourcePath", &O::SourcePath),
        TextKey("Main", "OutputPath", &O::OutputPath),
        NumberKey<&O::ProcessSubfolders>("Main", "ProcessSubfolders", 0, 2),
        NumberKey<&O::MoveOrCopy>("Main", "MoveOrCopy", 0, 2),
        NumberKey<&O::AddSerial>("Main", "AddSerial", 0, 2),
        NumberKey<&O::AddBatchVolume>("Main", "AddBatchVolume", 0, 3),
        NumberKey<&O::FilenameFormat>("Main", "FilenameFormat", 0, 4),
        NumberKey<&O::DateMode>("Filter", "DateMode", 1, 3),
        NumberKey<&O::DCFMode>("Filter", "DCFMode", 1, 3),
        NumberKey<&O::ExcludeReadOnly>("Filter", "ExcludeReadOnly", 0, 1),
        NumberKey<&O::ExcludeHidden>("Filter", "ExcludeHidden", 0, 1),
        NumberKey<&O::ExcludeSystem>("Filter", "ExcludeSystem", 0, 1),
        NumberKey<&O::ExcludePattern>("Filter", "ExcludePattern", 0, 1),
        TextKey("Filter", "ExcludePatternList", &O::ExcludePatternList),
        NumberKey<&O::IncludePattern>("Filter", "IncludePattern", 0, 1),
        TextKey("Filter", "IncludePatternList", &O::IncludePatternList),
        NumberKey<&O::AutoDetect>("Feedback", "AutoDetect", 0, 1),
        NumberKey<&O::DisplayWarning>("Feedback", "DisplayWarning", 0, 1),
        NumberKey<&O::PreviewResults>("Feedback", "PreviewResults", 0, 1),
        NumberKey<&O::RequestConfirmation>("Feedback", "RequestConfirmation", 0, 1),
        NumberKey<&O::ReportErrors>("Feedback", "ReportErrors", 0, 1),
        NumberKey<&O::SummarizeResults>("Feedback", "SummarizeResults", 0, 1),
        NumberKey<&O::DateModeTIFF>("Advanced", "DateModeTIFF", 0, 3),
        NumberKey<&O::DateModeRIFF>("Advanced", "DateModeRIFF", 0, 4),
        NumberKey<&O::DateModeFileSystem>("Advanced", "DateModeFileSystem", 0, 2),
        NumberKey<&O::DCFVolumeDigits>("Advanced", "DCFVolumeDigits", 0, 4),
        NumberKey<&O::DCFBatchCleanup>("Advanced", "DCFBatchCleanup", 0, 1),
        NumberKey<&O::CreateLog>("Advanced", "CreateLog", 0, 3),
        FormatKey("Template", &F::Template),
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
const std::string& TextField(const RunOptions& options, const SettingsKey& k) {
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

const std::vector<SettingsKey>& AllSettingsKeys() {
    static const std::vector<SettingsKey> keys = MakeKeys();
    return keys;
}

RunOptions LoadOptions(const SettingsStore& store) {
    RunOptions options;
    for (const SettingsKey& k : AllSettingsKeys()) {
        const std::optional<std::string> stored = store.Read(k.section, k.key);
        if (!stored) continue;
        if (k.IsNumber()) {
            if (const std::optional<int> value = ParseInRange(k, *stored)) k.set(options, *value);
        } else {
            TextField(options, k) = *stored;
        }
    }
    return options;
}

bool SaveSettings(SettingsStore& store, const RunOptions& options) {
    for (const SettingsKey& k : AllSettingsKeys())
        store.Write(k.section, k.key, k.IsNumber() ? std::to_string(k.get(options)) : TextField(options, k));
    return store.Sync();
}

bool SetOptionFromText(RunOptions& options, const std::string& key, const std::string& value, std::string& error) {
    for (const SettingsKey& k : AllSettingsKeys()) {
        if (!SameKey(key, k.key)) continue;
        if (!k.IsNumber()) {
            TextField(options, k) = value;
            return true;
        }
        const std::optional<int> number = ParseInRange(k, value);
        if (!number) {
            error = std::string("Option ") + k.key + " needs a whole number from " + std::to_string(k.minimum) +
                    " to " + std::to_string(k.maximum) + ", not \"" + value + "\".";
            return false;
        }
        k.set(options, *number);
        return true;
    }
    error = "Unknown option \"" + key + "\".";
    return false;
}

void CompleteFirstStart(RunOptions& options, SpecialFolders& folders,
                        const std::function<void(RunOptions&)>& detectWithoutAsking) {
    if (options.SourcePath.empty() && detectWithoutAsking) detectWithoutAsking(options);
    if (!options.OutputPath.empty()) return;
    // Pictures first (created when missing), then Documents; either only when
    // the folder is really there.
    std::string folder = folders.Pictures(true);
    if (!IsFolder(folder)) folder = folders.Documents();
    if (!IsFolder(folder)) folder = folders.Home();
    options.OutputPath = folder;
}

}  // namespace ravlen
