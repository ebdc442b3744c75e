// ravlen-run: the run of the main window's Go button, from a terminal.

#include <unistd.h>

#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "app/cards/camera_media.h"
#include "app/clocks/camera_survey.h"
#include "app/devices/device_sources.h"
#include "app/records/import_store.h"
#include "app/records/intent_store.h"
#include "app/records/number_store.h"
#include "app/run/run_driver.h"
#include "app/settings/settings_store.h"
#include "app/settings/special_folders.h"
#include "app/undo/undo.h"
#include "cli/card_wait.h"
#include "cli/console_port.h"
#include "cli/device_list.h"
#include "cli/key_list.h"
#include "log/program_facts.h"
#include "model/file_choice.h"
#include "model/file_list.h"
#include "model/run_plan.h"
#include "model/version.h"
#include "naming/filename_builder.h"
#include "naming/format_validation.h"
#include "platform/card_eject.h"
#include "platform/desktop_services.h"
#include "platform/device_source.h"
#include "platform/mount_drives.h"
#include "platform/posix_file_system.h"

namespace ravlen {
namespace {

constexpr int kExitCompleted = 0;
constexpr int kExitEnded = 1;
constexpr int kExitUsage = 2;
constexpr int kExitIncomplete = 3;

const char* const kProgram = "ravlen-run";

struct Arguments {
    std::string settingsFile;
    bool yes = false;
    bool help = false;
    bool waitForCard = false;
    bool list = false;
    bool cameras = false;
    std::string only;  // --only: a file of source paths, one a line
    bool checkCard = false;
    std::vector<std::pair<std::string, std::string>> settings;  // Key=Value, in order
};

// Pieces of text in lines of at most kHelpWidth columns, each begun by
// `indent`: a line breaks between pieces, or between words of a piece too
// long for a line of its own.
constexpr std::size_t kHelpWidth = 79;
void PrintWrapped(const std::vector<std::string>& pieces, const std::string& indent) {
    const std::size_t width = kHelpWidth - indent.size();
    std::string line;
    const auto flush = [&] {
        if (!line.empty()) std::printf("%s%s\n", indent.c_str(), line.c_str());
        line.clear();
    };
    for (const std::string& piece : pieces) {
        if (!line.empty() && line.size() + 1 + piece.size() > width && piece.size() <= width) flush();
        for (std::size_t at = 0; at < piece.size();) {
            std::size_t end = piece.find(' ', at);
            if (end == std::string::npos) end = piece.size();
            const std::string word = piece.substr(at, end - at);
            if (!line.empty() && line.size() + 1 + word.size() > width) flush();
            line += (line.empty() ? "" : " ") + word;
            at = end + 1;
        }
    }
    flush();
}

// One key of the table: its values and default, then what they mean.
void PrintKey(const SettingsKey& k) {
    static const RunOptions defaults;
    const std::string fallback = k.ValueText(defaults);
    std::string values;
    if (k.kind == KeyKind::CheckBox) values = "0 or 1";
    else if (k.IsNumber()) values = std::to_string(k.minimum) + " to " + std::to_string(k.maximum);
    else values = "text";
    if (k.IsNumber()) values += " (default " + fallback + ")";
    else if (!fallback.empty()) values += " (default \"" + fallback + "\")";
    std::printf("    %-22s %s\n", k.key, values.c_str());
    std::vector<std::string> meanings;
    for (std::size_t i = 0; i < k.items.size(); ++i)
        meanings.push_back(std::to_string(k.minimum + static_cast<int>(i)) + " " + k.items[i] +
                           (i + 1 < k.items.size() ? "," : ""));
    PrintWrapped(meanings, "      ");
    PrintWrapped({k.note}, "      ");
}

void PrintHelp(const std::string& storePath) {
    std::printf(
        "Usage: %s [--settings FILE] [--yes] [--wait-for-card]\n"
        "                  [--list | --cameras | --check-card] [--only FILE]\n"
        "                  [Key=Value ...]\n"
        "       %s --undo LOG.csv | --undo-last | --undo-run ID [--yes]\n"
        "       %s --runs\n"
        "\n"
        "Renames the photo, audio and video files of a camera so that they sort by the\n"
        "moment they were recorded, and moves or copies them into the output folder:\n"
        "the same run as the Go button of the %s window, with the same settings.\n"
        "\n"
        "Options:\n"
        "  --settings FILE  read and save the settings in FILE, not in the user's store\n"
        "  --yes, -y        answer Yes to every question (create the output folder, take\n"
        "                   a detected camera card as the source, proceed with the run);\n"
        "                   without it every question is answered No\n"
        "  --wait-for-card  wait for a camera card mounted, or a camera or phone plugged\n"
        "                   in on USB, after the start, take it as the source without\n"
        "                   asking, run once and exit with the run's status (Ctrl+C\n"
        "                   while waiting: exit status 1)\n"
        "  --list           list what the run would do with each file, and do nothing:\n"
        "                   no file placed, no folder created, no setting saved, no\n"
        "                   log. One line per file on standard output, tab-separated:\n"
        "                   source path, new path (empty when not placed), date as\n"
        "                   yyyy/mm/dd hh:nn:ss, where the date came from, status\n"
        "                   (place, skip, already-imported, excluded) and its reason,\n"
        "                   then camera, body serial number, lens, artist, job code\n"
        "                   and continuing number (%%c %%n %%l %%a %%j %%q; empty when\n"
        "                   the file has none); tab, newline, carriage return and\n"
        "                   backslash are written \\t, \\n, \\r and \\\\. Messages go\n"
        "                   to standard error. Exit status as for the run (0 when\n"
        "                   every file would be placed)\n"
        "  --cameras        list the cameras of the files the run would place, and do\n"
        "                   nothing else, as --list: one line per camera, tab-separated:\n"
        "                   make, model, serial number (empty when the files store\n"
        "                   none), number of files, first and last recording time by\n"
        "                   the camera's clock (yyyy/mm/dd hh:nn:ss, before any shift),\n"
        "                   the offset kept for it in CameraOffsets (empty for none),\n"
        "                   its clock's error against the GPS time its photos store\n"
        "                   (-00:03:20 for a clock 3 min 20 s slow; empty for none).\n"
        "                   Files that name no camera are counted on standard error.\n"
        "                   Exit status 0, 1 for a check message, 3 when stopped\n"
        "  --check-card     say whether the source (a camera card) can be formatted:\n"
        "                   whether each of its files is, with identical bytes, in the\n"
        "                   output folder and in every folder of BackupPaths; then\n"
        "                   the files that are not, and why. Files the exclude\n"
        "                   patterns leave are listed apart and do not count. Nothing\n"
        "                   is placed or saved. Exit status 0 when the card can be\n"
        "                   formatted, 1 for a check message, 3 when it cannot\n"
        "  --undo LOG.csv   undo the run that wrote this CSV log: the files it moved go\n"
        "                   back to their original names, its copies that are still\n"
        "                   identical to their originals are removed, and anything that\n"
        "                   does not match the log is left alone and reported; the\n"
        "                   \"... undo.csv\" beside the log records each file. Without\n"
        "                   --yes it only shows what it would do. Rows that no run of\n"
        "                   this computer recorded (an older log, another computer's,\n"
        "                   one edited by hand) are undone only when --yes answers\n"
        "                   the question about them\n"
        "  --runs           list the runs this computer keeps a journal of (every run\n"
        "                   that placed files or made backup copies, for 90 days),\n"
        "                   newest first, one a line, tab-separated: run id, start\n"
        "                   time (yyyy/mm/dd hh:nn:ss), source folder, output folder,\n"
        "                   files moved, files copied, files imported before that\n"
        "                   were copied into the backup folders only, \"undone\" once\n"
        "                   an undo left nothing of it to undo\n"
        "  --undo-last      undo the newest run not undone yet, from its journal, as\n"
        "                   --undo does (with or without a CSV log)\n"
        "  --undo-run ID    undo the run with this id (see --runs), as --undo-last\n"
        "  --only FILE      place only the files whose source paths FILE lists, one a\n"
        "                   line (relative to the current folder); the others stay\n"
        "                   where they are and are logged and counted as not selected\n"
        "  --devices        list the cameras and phones on the USB ports, one a line,\n"
        "                   tab-separated: model, port, storages, number of files;\n"
        "                   SourcePath=camera:<model>@<port> makes one the source\n"
        "  --help, -h       show this text\n"
        "\n"
        "Settings store: %s\n"
        "The settings are loaded from the store, then each Key=Value changes one of\n"
        "them, in the order given; key names ignore letter case. The run first saves\n"
        "the settings it uses into the store, as Go does in the window, so values\n"
        "given here are kept for the next run and for the window. SourcePath and\n"
        "OutputPath given here are taken relative to the current folder. Left empty,\n"
        "the source is an attached camera card, if there is one, and the output folder\n"
        "the Pictures folder. With AutoDetect=1 the run offers an attached camera card\n"
        "as the source (taken with --yes); give AutoDetect=0 to keep SourcePath.\n"
        "With FilenameFormat=4 the Format keys are checked as the window's custom\n"
        "format dialog checks them: a format it refuses ends the run with its message,\n"
        "and one it questions is asked about (answered by --yes).\n"
        "\n"
        "Keys (lists count from 0; check boxes take 0 or 1):\n",
        kProgram, kProgram, kProgram, Version().Title.c_str(), storePath.c_str());
    const char* section = "";
    for (const SettingsKey& k : AllSettingsKeys()) {
        if (std::string(section) != k.section) {
            section = k.section;
            std::printf("  [%s]\n", section);
        }
        PrintKey(k);
    }
    std::printf(
        "\n"
        "Messages are printed on standard output, each question followed by the answer\n"
        "taken, [Yes] or [No]. On a terminal the progress of a pass is shown on standard\n"
        "error. Ctrl+C stops the pass after the file it is on; the summary still follows\n"
        "and nothing further is started. SIGTERM and SIGHUP (a closed terminal) stop it\n"
        "the same way.\n"
        "\n"
        "Exit status:\n"
        "  0  every file counted was timestamped\n"
        "  1  the run ended before processing: a check message (no source folder, no\n"
        "     files, an invalid output folder...) or a question answered No\n"
        "  2  usage error: an unknown option or key, a missing \"=\", a value out of\n"
        "     range, a custom format that the custom format dialog refuses, a\n"
        "     DateFolderFormat that cannot be used (with DateFolders=1)\n"
        "  3  files were skipped, could not be moved or copied, or the run was stopped;\n"
        "     or, with Move, read-only (protected) files the filters left out stay in\n"
        "     the source folder (do not format the card); with --check-card, the card\n"
        "     cannot be formatted\n"
        "With --undo: 0 everything undone or nothing left to undo, 1 the log refused or\n"
        "the question answered No, 3 files left alone or the undo stopped; the same\n"
        "with --undo-last and --undo-run (1 also for no run to undo).\n");
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "%s: %s\nTry \"%s --help\" for more information.\n", kProgram, message.c_str(), kProgram);
    return kExitUsage;
}

// False with `error` set when an argument is not understood.
bool ParseArguments(int argc, char** argv, Arguments& args, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            args.help = true;
            return true;  // nothing else matters
        } else if (arg == "--yes" || arg == "-y") {
            args.yes = true;
        } else if (arg == "--wait-for-card") {
            args.waitForCard = true;
        } else if (arg == "--list") {
            args.list = true;
        } else if (arg == "--cameras") {
            args.cameras = true;
        } else if (arg == "--check-card") {
            args.checkCard = true;
        } else if (arg == "--settings") {
            if (i + 1 >= argc) {
                error = "option \"--settings\" needs a file name";
                return false;
            }
            args.settingsFile = argv[++i];
        } else if (arg == "--only") {
            if (i + 1 >= argc) {
                error = "option \"--only\" needs a file name";
                return false;
            }
            args.only = argv[++i];
        } else if (arg.rfind("--only=", 0) == 0) {
            args.only = arg.substr(std::string("--only=").size());
        } else if (arg.rfind("--settings=", 0) == 0) {
            args.settingsFile = arg.substr(std::string("--settings=").size());
        } else if (!arg.empty() && arg[0] == '-') {
            error = "unknown option \"" + arg + "\"";
            return false;
        } else {
            const std::size_t eq = arg.find('=');
            if (eq == std::string::npos) {
                error = "key \"" + arg + "\" has no value: write " + arg + "=VALUE";
                return false;
            }
            args.settings.emplace_back(arg.substr(0, eq), arg.substr(eq + 1));
        }
    }
    if (int{args.list} + int{args.cameras} + int{args.checkCard} > 1) {
        error = "options \"--list\", \"--cameras\" and \"--check-card\" cannot be given together";
        return false;
    }
    if (args.settings.empty()) return true;
    // Every Key=Value is checked before anything is loaded or created.
    RunOptions scratch;
    for (const auto& [key, value] : args.settings) {
        std::string why;
        if (!SetOptionFromText(scratch, key, value, why)) {
            error = why.empty() ? "invalid key \"" + key + "\"" : why;
            return false;
        }
    }
    return true;
}

// The folder field a Key=Value sets, or null.
std::string RunOptions::*FolderField(const std::string& key) {
    const SettingsKey* k = FindSettingsKey(key);
    if (k && (k->text == &RunOptions::SourcePath || k->text == &RunOptions::OutputPath)) return k->text;
    return nullptr;
}

// A relative folder typed on the command line means a folder under the current one.
std::string AbsoluteFolder(const std::string& typed) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(typed, ec);
    if (ec) return typed;
    std::string path = absolute.lexically_normal().string();
    if (path.size() > 1 && path.back() == '/') path.pop_back();  // "." gives "/cwd/"
    return path;
}

// The command line's Key=Value settings, in order. With `keepChosenFolders`,
// a folder left empty there keeps the folder the first start chose for it.
void ApplySettings(RunOptions& options, const Arguments& args, bool keepChosenFolders) {
    for (const auto& [key, value] : args.settings) {
        std::string RunOptions::*folder = FolderField(key);
        if (folder && value.empty() && keepChosenFolders) continue;
        std::string unused;
        SetOptionFromText(options, key, value, unused);  // checked while parsing
        if (folder && !value.empty() && value[0] != '/' && !IsDeviceSourcePath(value))
            options.*folder = AbsoluteFolder(value);
        const SettingsKey* k = FindSettingsKey(key);
        if (k && k->text == &RunOptions::BackupPaths) {
            std::string absolute;
            for (const std::string& backup : BackupFoldersOf(value))
                absolute += (absolute.empty() ? "" : ";") + (backup[0] == '/' ? backup : AbsoluteFolder(backup));
            options.BackupPaths = absolute;
        }
    }
}

// The source paths of an --only file, one a line, made absolute; false with
// `error` set when it cannot be read.
bool ReadOnlyList(const std::string& file, std::unordered_set<std::string>& paths, std::string& error) {
    std::ifstream in(file);
    if (!in) {
        error = "the file list \"" + file + "\" given to \"--only\" cannot be read";
        return false;
    }
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) paths.insert(line[0] == '/' ? line : AbsoluteFolder(line));
    }
    return true;
}

// A custom format is checked as the custom format dialog checks it on OK:
// what the dialog refuses ends the run as a usage error, what it questions is
// asked. Nothing when the run may go on, else the exit status.
std::optional<int> CheckCustomFormat(const RunOptions& options, UserPort& port) {
    if (options.FilenameFormat != FilenameFormat::Custom) return std::nullopt;
    const FilenameFormatDefinition& format = options.CustomFormat;
    const FormatVerdict verdict = ValidateFormat(FormatDialogSample(format, DateTime::Now()), format.Template);
    const std::string& title = Version().Title;
    const FormatDecision decision = DecideOnFormat(
        verdict,
        [&](const std::string& question) {
            return port.MessageBox(question, MsgIcon::Exclamation, MsgButtons::YesNo, title) == MsgAnswer::Yes;
        },
        [&](const std::string& message) { port.MessageBox(message, MsgIcon::Critical, MsgButtons::OK, title); });
    switch (decision) {
        case FormatDecision::Accepted:
            return std::nullopt;
        case FormatDecision::Declined:
            return kExitEnded;
        case FormatDecision::Refused:
            break;
    }
    return kExitUsage;
}

// Date folders whose format cannot be used, SetFileTime without the CSV log
// and a job code needed but not given end the run as usage errors before anything is looked for; the rest
// of the options are refused by the run as the window's are.
std::optional<int> CheckOptions(const RunOptions& options, UserPort& port) {
    const std::optional<OptionRefusal> refused = RefusedOption(options);
    if (!refused) return std::nullopt;
    switch (refused->Option) {
        case OptionRefused::DateFolderFormat:
            port.MessageBox(refused->Message, MsgIcon::Critical, MsgButtons::OK, Version().Title);
            return kExitUsage;
        case OptionRefused::SetFileTimeNeedsCsv:
        case OptionRefused::JobCodeNeeded:
            return UsageError(refused->Message);
        case OptionRefused::TimeShift:
        case OptionRefused::MovieTimeZone:
        case OptionRefused::CameraOffsets:
            break;
    }
    return std::nullopt;
}

// The run's exit status, or a list's: that of the run it foretells.
int ExitStatus(RunOutcome outcome, const RunDriver& driver, const RunOptions& options) {
    switch (outcome) {
        case RunOutcome::Completed:
            // A script must not go on to format a card that still holds files.
            return ProtectedLeftWarning(driver.Tally(), options).empty() ? kExitCompleted : kExitIncomplete;
        case RunOutcome::Ended:
            return kExitEnded;
        case RunOutcome::Incomplete:
            break;
    }
    return kExitIncomplete;
}

void Notice(const std::string& text) { std::fprintf(stderr, "%s: %s\n", kProgram, ConsoleText(text).c_str()); }

// The record of intent, or null (said on stderr): without it a run or an undo
// killed half-way could not be set right.
std::unique_ptr<SqliteIntentRecord> OpenIntents() {
    std::string error;
    std::unique_ptr<SqliteIntentRecord> intents = SqliteIntentRecord::Open(SqliteIntentRecord::DefaultPath(), error);
    if (!intents)
        std::fprintf(stderr, "%s: the record of placements %s cannot be opened: %s\n", kProgram,
                     SqliteIntentRecord::DefaultPath().c_str(), error.c_str());
    else if (!intents->Notice().empty())
        Notice(intents->Notice());
    return intents;
}

// The record of the numbers that continue between imports: opened for a run
// whose names or folders hold them (null, said why, when it cannot be), and
// for an undo when there is one.
std::unique_ptr<SqliteContinuingNumbers> OpenNumbers(bool forRun) {
    const std::string path = SqliteContinuingNumbers::DefaultPath();
    if (!forRun && access(path.c_str(), F_OK) != 0) return nullptr;
    std::string error;
    std::unique_ptr<SqliteContinuingNumbers> numbers = SqliteContinuingNumbers::Open(path, error);
    if (!numbers)
        std::fprintf(stderr, "%s: the record of continuing numbers %s cannot be opened: %s\n", kProgram, path.c_str(),
                     error.c_str());
    return numbers;
}

// --cameras: one line per camera on standard output; the files that name
// none are only counted, on standard error.
int PrintCameras(const CameraSurvey& survey) {
    if (survey.Outcome == RunOutcome::Ended) return kExitEnded;
    for (const CameraSummary& camera : survey.Cameras) {
        if (camera.Camera.Known()) std::printf("%s\n", CameraLine(camera).c_str());
        else std::fprintf(stderr, "%s: files that name no camera: %zu\n", kProgram, camera.Files.size());
    }
    return survey.Stopped ? kExitIncomplete : kExitCompleted;
}

// --check-card: the verdict on standard output; 0 safe, 3 not, 1 for a
// folder that is not there.
int CheckCardOnly(const RunOptions& options, FileSystem& fs, UserPort& port) {
    const auto refuse = [&port](const std::string& message) {
        port.MessageBox(message, MsgIcon::Exclamation, MsgButtons::OK, Version().Title);
        return kExitEnded;
    };
    if (options.SourcePath.empty()) return refuse("Please specify a source folder.");
    // A camera or phone on a cable is checked through the device.
    DeviceOpener devices(fs);
    std::string refusal;
    FileSource* device = devices.Open(options.SourcePath, options.OutputPath, refusal);
    if (!refusal.empty()) return refuse(refusal);
    if (!device && !fs.FolderExists(options.SourcePath)) return refuse("The source folder you specified doesn't exist.");
    if (!fs.FolderExists(options.OutputPath)) return refuse("The output folder " + options.OutputPath + " doesn't exist.");
    const std::unique_ptr<SqliteImportRecord> imports = SqliteImportRecord::Open(SqliteImportRecord::DefaultPath());
    CardCheckRequest request = CardCheckOf(options);
    request.stopped = [&port] { return port.Cancel(); };
    const CardVerdict verdict = CheckCard(device ? *device : fs, fs, imports.get(), request);
    std::printf("%s\n", ConsoleText(VerdictText(verdict)).c_str());
    return verdict.Safe() ? kExitCompleted : kExitIncomplete;
}

int Run(const Arguments& args) {
    SettingsStore store(args.settingsFile.empty() ? SettingsStore::DefaultPath() : args.settingsFile);
    RunOptions options = LoadOptions(store);

    PosixFileSystem fs(MimeTypeDescription);
    MountDriveList drives;
    // A list keeps standard output for its lines.
    const bool listing = args.list || args.cameras || args.checkCard;
    ConsolePort port(listing ? stderr : stdout, args.yes, isatty(STDERR_FILENO) ? stderr : nullptr);

    // The command line first, so that a folder given there is not looked for;
    // then the first-start folders for what is still empty; then the command
    // line again, so that it wins over what detection chose, but an empty
    // folder there stands for the first start's choice, as --help says.
    ApplySettings(options, args, false);
    QtSpecialFolders folders;
    CompleteFirstStart(
        options, folders, [&](RunOptions& o) { DetectCameraMedia(false, o, drives, fs, port); },
        listing ? MissingPictures::NameOnly : MissingPictures::Create);
    ApplySettings(options, args, true);
    if (const std::optional<int> status = CheckCustomFormat(options, port)) return *status;
    if (const std::optional<int> status = CheckOptions(options, port)) return *status;
    if (args.waitForCard && !WaitForCard(options, drives, fs, port, stdout)) return kExitEnded;
    if (args.checkCard) {
        ConsolePort::CatchInterrupt();
        return CheckCardOnly(options, fs, port);
    }

    RunServices services{
        fs,
        port,
        [&store, listing](const RunOptions& o) {
            if (!listing) SaveSettings(store, o);
        },
        [&](RunOptions& o) {
            if (!args.waitForCard) DetectCameraMedia(true, o, drives, fs, port);
        },
        ProgramFacts::Current(),
    };
    services.keepRows = listing;
    DeviceOpener devices(fs);
    services.openSource = [&devices](const std::string& source, const std::string& output, std::string& refusal) {
        return devices.Open(source, output, refusal);
    };
    std::optional<FileChoice> only;
    if (!args.only.empty()) {
        std::unordered_set<std::string> paths;
        std::string error;
        if (!ReadOnlyList(args.only, paths, error)) return UsageError(error);
        only = FileChoice::Only(std::move(paths));
        services.choice = &*only;
    }
    if (listing) {
        // Read only: a list creates nothing, not even the record.
        const std::unique_ptr<SqliteImportRecord> imports =
            SqliteImportRecord::OpenReadOnly(SqliteImportRecord::DefaultPath());
        services.imports = imports.get();
        const std::unique_ptr<SqliteContinuingNumbers> numbers =
            SqliteContinuingNumbers::OpenReadOnly(SqliteContinuingNumbers::DefaultPath());
        services.numbers = numbers.get();
        ConsolePort::CatchInterrupt();
        if (args.cameras) return PrintCameras(SurveyCameras(std::move(services), options));
        RunDriver driver(std::move(services));
        const RunOutcome outcome = driver.List(options);
        for (const FileRow& row : driver.Files().Rows()) std::printf("%s\n", ListLine(row).c_str());
        return ExitStatus(outcome, driver, options);
    }
    const std::unique_ptr<SqliteIntentRecord> intents = OpenIntents();
    if (!intents) return kExitEnded;
    services.intents = intents.get();
    services.journal = intents.get();
    services.notice = Notice;
    services.checkCard = true;
    services.eject = [](const std::string& source) { return EjectCard(source); };
    const std::unique_ptr<SqliteImportRecord> imports = SqliteImportRecord::Open(SqliteImportRecord::DefaultPath());
    services.imports = imports.get();
    std::unique_ptr<SqliteContinuingNumbers> numbers;
    if (RunUsesSymbol(options, 'q') && !(numbers = OpenNumbers(true))) return kExitEnded;
    services.numbers = numbers.get();
    RunDriver driver(std::move(services));
    ConsolePort::CatchInterrupt();
    return ExitStatus(driver.Go(options), driver, options);
}

// The options of an undo and of the list of runs, which take no settings.
bool IsUndo(const std::string& arg) {
    for (const char* option : {"--undo", "--undo-run"})
        if (arg == option || arg.rfind(std::string(option) + "=", 0) == 0) return true;
    return arg == "--undo-last" || arg == "--runs";
}

// --runs: one line per run on standard output: id, time, source, output,
// files moved, copied, imported before and backed up alone, "undone".
int PrintRuns(RunJournal& journal) {
    constexpr int kListedRuns = 100;
    for (const JournalRun& run : journal.Runs(kListedRuns))
        std::printf("%s\t%s\t%s\t%s\t%d\t%d\t%d\t%s\n", run.Id.c_str(), run.Started.FormatFull().c_str(),
                    run.SourceFolder.c_str(), run.OutputFolder.c_str(), run.Moved, run.Copied, run.CaughtUp,
                    run.Undone ? "undone" : "");
    return kExitCompleted;
}

// ravlen-run --undo LOG.csv [--yes]: the window's "Undo a run...", without
// settings; --undo-last and --undo-run ID: its "Undo last import...".
int Undo(int argc, char** argv) {
    std::string option, value;
    bool yes = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--yes" || arg == "-y") {
            yes = true;
        } else if (IsUndo(arg) && option.empty()) {
            const std::size_t equals = arg.find('=');
            option = arg.substr(0, equals);
            if (equals != std::string::npos) value = arg.substr(equals + 1);
            else if ((option == "--undo" || option == "--undo-run") && i + 1 < argc) value = argv[++i];
        } else {
            if (option.empty() || option == "--undo")
                return UsageError("option \"--undo\" takes one CSV log and no other option but \"--yes\"");
            return UsageError("option \"" + option + "\" takes no other option but \"--yes\"");
        }
    }
    if (option == "--undo" && value.empty()) return UsageError("option \"--undo\" needs a CSV log");
    if (option == "--undo-run" && value.empty()) return UsageError("option \"--undo-run\" needs a run id");
    PosixFileSystem fs;
    ConsolePort port(stdout, yes, isatty(STDERR_FILENO) ? stderr : nullptr);
    const std::unique_ptr<SqliteIntentRecord> intents = OpenIntents();
    if (!intents) return kExitEnded;
    if (option == "--runs") return PrintRuns(*intents);
    if (option == "--undo-last") {
        value = LastRunToUndo(*intents);
        if (value.empty()) {
            port.MessageBox("No run of this computer is left to undo.", MsgIcon::Information, MsgButtons::OK,
                            Version().Title);
            return kExitEnded;
        }
    }
    ConsolePort::CatchInterrupt();
    const std::unique_ptr<SqliteImportRecord> imports = SqliteImportRecord::Open(SqliteImportRecord::DefaultPath());
    const std::unique_ptr<SqliteContinuingNumbers> numbers = OpenNumbers(false);
    const UndoResult result =
        option == "--undo"
            ? RunUndo(value, fs, port, true, imports.get(), intents.get(), intents.get(), numbers.get())
            : RunJournalUndo(value, *intents, fs, port, true, imports.get(), intents.get());
    switch (result.Outcome) {
        case UndoOutcome::Completed:
        case UndoOutcome::NothingToDo:
            return kExitCompleted;
        case UndoOutcome::Refused:
            return kExitEnded;
        case UndoOutcome::Incomplete:
            break;
    }
    return kExitIncomplete;
}

}  // namespace
}  // namespace ravlen

int main(int argc, char** argv) {
    // For the shell's completion; not in the help.
    if (argc == 2 && std::string(argv[1]) == "--list-keys") {
        ravlen::PrintKeyList(stdout);
        return 0;
    }
    if (argc == 2 && std::string(argv[1]) == "--devices") return ravlen::PrintDevices();
    ravlen::Arguments args;
    std::string error;
    const bool parsed = ravlen::ParseArguments(argc, argv, args, error);

    // The MIME database and the special folders want an application object;
    // it sees no arguments, so none of ours is taken for a Qt option.
    // A reader that goes away (ravlen-run | head) must not kill a pass half-way
    // through a copy; output to it is simply lost.
    std::signal(SIGPIPE, SIG_IGN);

    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QCoreApplication application(qtArgc, qtArgv);

    if (args.help) {
        ravlen::PrintHelp(args.settingsFile.empty() ? ravlen::SettingsStore::DefaultPath() : args.settingsFile);
        return 0;
    }
    for (int i = 1; i < argc; ++i)
        if (ravlen::IsUndo(argv[i])) return ravlen::Undo(argc, argv);
    if (!parsed) return ravlen::UsageError(error);
    return ravlen::Run(args);
}
