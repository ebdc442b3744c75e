#include "naming/filename_builder.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "model/name_value.h"
#include "model/utf8.h"

namespace ravlen {
namespace {

using utf8::SplitChars;

// What an empty date format writes: the full date and time, in the same
// order as the built-in formats.
constexpr std::string_view kGeneralDateFormat = "yyyy-mm-dd hh:nn:ss";

// One element of a classic number or text format: a placeholder or literal text.
struct FormatToken {
    char placeholder = 0;  // '0' / '#' for numbers, '&' / '@' for text; 0 for literal text
    std::string literal;
};

// Splits a format into placeholders and literal text. A backslash takes the
// next character literally and double quotes enclose literal text; `flags`
// collects the characters that steer the whole format ('<', '>', '!').
std::vector<FormatToken> ParseFormat(std::string_view format, std::string_view placeholders,
                                     std::string_view flagChars, std::string* flags) {
    std::vector<FormatToken> tokens;
    auto literal = [&tokens](std::string_view text) {
        if (tokens.empty() || tokens.back().placeholder != 0) tokens.push_back({});
        tokens.back().literal.append(text);
    };
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (placeholders.find(c) != std::string_view::npos) {
            tokens.push_back({c, {}});
        } else if (flagChars.find(c) != std::string_view::npos) {
            if (flags) flags->push_back(c);
        } else if (c == '\\' && i + 1 < format.size()) {
            const std::size_t n = utf8::Next(format, i + 1).length;
            literal(format.substr(i + 1, n));
            i += n;
        } else if (c == '"') {
            const std::size_t close = format.find('"', i + 1);
            const std::size_t end = close == std::string_view::npos ? format.size() : close;
            literal(format.substr(i + 1, end - i - 1));
            i = end;
        } else {
            literal(format.substr(i, 1));
        }
    }
    return tokens;
}

std::size_t CountPlaceholders(const std::vector<FormatToken>& tokens) {
    std::size_t n = 0;
    for (const auto& t : tokens) n += t.placeholder != 0;
    return n;
}

// Places the pieces (digits or characters) into the placeholders. Right to
// left by default: surplus pieces go into the leftmost placeholder, so a value
// is never shortened; left to right puts the surplus into the rightmost one.
// A placeholder left without a piece writes `filler(placeholder)`. A format
// without placeholders writes its literal text followed by the whole value.
template <typename Filler>
std::string FillPlaceholders(const std::vector<FormatToken>& tokens, const std::vector<std::string_view>& pieces,
                             bool leftToRight, Filler filler) {
    const std::size_t slots = CountPlaceholders(tokens);
    std::string out;
    if (slots == 0) {
        for (const auto& t : tokens) out += t.literal;
        for (auto p : pieces) out.append(p);
        return out;
    }
    const std::size_t n = pieces.size();
    std::size_t slot = 0;
    for (const auto& t : tokens) {
        if (t.placeholder == 0) {
            out += t.literal;
            continue;
        }
        if (leftToRight) {
            if (slot < n) out.append(pieces[slot]);
            else out += filler(t.placeholder);
            if (slot + 1 == slots)
                for (std::size_t k = slots; k < n; ++k) out.append(pieces[k]);
        } else {
            // Slot s (0-based from the left) takes piece n - slots + s.
            if (slot == 0 && n > slots)
                for (std::size_t k = 0; k < n - slots; ++k) out.append(pieces[k]);
            if (n + slot >= slots) out.append(pieces[n + slot - slots]);
            else out += filler(t.placeholder);
        }
        ++slot;
    }
    return out;
}

std::string FormatSerial(std::int64_t number, std::string_view format) {
    std::string digits = std::to_string(number);
    if (format.empty()) return digits;
    // Zeros alone (the built-in "000") pad the number on the left.
    if (format.find_first_not_of('0') == std::string_view::npos) {
        if (digits.size() < format.size()) digits.insert(0, format.size() - digits.size(), '0');
        return digits;
    }
    const auto tokens = ParseFormat(format, "0#", "", nullptr);
    std::vector<std::string_view> pieces;
    for (std::size_t i = 0; i < digits.size(); ++i) pieces.push_back(std::string_view(digits).substr(i, 1));
    return FillPlaceholders(tokens, pieces, false, [](char p) { return p == '0' ? std::string("0") : std::string(); });
}

std::string MapCase(std::string_view text, bool upper) {
    std::string out(text);
    for (char& c : out) {
        if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        else if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string FormatText(std::string_view text, std::string_view format) {
    // The built-in formats write the whole value, as it is or in one case.
    if (format == "&") return std::string(text);
    if (format == "<&" || format == ">&") return MapCase(text, format[0] == '>');
    std::string flags;
    const auto tokens = ParseFormat(format, "&@", "<>!", &flags);
    std::string value(text);
    // The last case flag of the format decides.
    const auto caseFlag = flags.find_last_of("<>");
    if (caseFlag != std::string::npos) value = MapCase(value, flags[caseFlag] == '>');
    const auto pieces = SplitChars(value);
    const bool leftToRight = flags.find('!') != std::string::npos;
    return FillPlaceholders(tokens, pieces, leftToRight, [](char p) { return p == '@' ? std::string(" ") : std::string(); });
}

// Every occurrence of `symbol` in `text` by `part`, in one pass from the left:
// a symbol inside the inserted part is not expanded again.
void ReplaceAll(std::string& text, std::string_view symbol, const std::string& part) {
    std::string out;
    std::size_t from = 0;
    for (std::size_t at = text.find(symbol); at != std::string::npos; at = text.find(symbol, from)) {
        out.append(text, from, at - from);
        out += part;
        from = at + symbol.size();
    }
    out.append(text, from, std::string::npos);
    text = std::move(out);
}

template <typename MakePart>
void Expand(std::string& text, std::string_view symbol, MakePart makePart) {
    if (text.find(symbol) == std::string::npos) return;
    ReplaceAll(text, symbol, makePart());
}

// Nothing for an absent (empty) value.
void AppendTextPart(std::string& out, const std::string& prefix, const std::string& value, const std::string& format,
                    const std::string& suffix) {
    if (value.empty()) return;
    if (!prefix.empty()) out += prefix;
    // The whole value as it is, the usual format, without a copy of it.
    if (format.size() == 1 && format[0] == '&') out += value;
    else out += FormatText(value, format);
    if (!suffix.empty()) out += suffix;
}

FilenameFormatDefinition LabelledFormat(const char* date, const char* serial, const char* batch,
                                        const char* volume, const char* original, bool hasTime) {
    const auto label = [](const char* name) { return std::string("{") + name + "="; };
    return FilenameFormatDefinition{"%d%s%b%v%o%e",
                                    label(date), hasTime ? "yyyy-mm-dd @hh-nn-ss" : "yyyy-mm-dd", "}",
                                    label(serial), "000", "}",
                                    label(batch), "&", "}",
                                    label(volume), "&", "}",
                                    label(original), "&", "}",
                                    ".", "<&", ""};
}

FilenameFormatDefinition PlainFormat(const char* dateFormat, const char* serialPrefix, const char* separator,
                                     const char* extensionFormat) {
    return FilenameFormatDefinition{"%d%s%b%v%o%e",
                                    "", dateFormat, "",
                                    serialPrefix, "000", "",
                                    separator, "&", "",
                                    separator, "&", "",
                                    separator, "&", "",
                                    ".", extensionFormat, ""};
}

}  // namespace

namespace {

// A stretch of a date format outside quotes; "ff" first, as no other date
// code holds an "f" and the digits it gives form none.
std::string FormatCodes(const DateTime& when, std::string_view codes, std::string_view subSeconds) {
    if (codes.find("ff") == std::string_view::npos) return when.Format(codes);
    const std::string hundredths = Hundredths(subSeconds);
    std::string replaced;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        if (codes.substr(i, 2) == "ff") {
            replaced += hundredths;
            ++i;
        } else {
            replaced.push_back(codes[i]);
        }
    }
    return when.Format(replaced);
}

}  // namespace

std::string Hundredths(std::string_view subSeconds) {
    while (!subSeconds.empty() && subSeconds.front() == ' ') subSeconds.remove_prefix(1);
    std::string out;
    for (std::size_t i = 0; i < subSeconds.size() && i < 2 && subSeconds[i] >= '0' && subSeconds[i] <= '9'; ++i)
        out.push_back(subSeconds[i]);
    if (out.empty()) return "00";
    if (out.size() == 1) out.push_back('0');
    return out;
}

std::string FormatDate(const DateTime& when, std::string_view format, std::string_view subSeconds) {
    std::size_t quote = format.find('"');
    if (quote == std::string_view::npos) return FormatCodes(when, format, subSeconds);
    std::string out;
    for (;;) {
        out += FormatCodes(when, format.substr(0, quote), subSeconds);
        if (quote == std::string_view::npos) return out;
        // Quoted text is kept whole, so that "Summer " keeps its "mm".
        const std::size_t close = format.find('"', quote + 1);
        out.append(format.substr(quote + 1, close == std::string_view::npos ? close : close - quote - 1));
        if (close == std::string_view::npos) return out;
        format.remove_prefix(close + 1);
        quote = format.find('"');
    }
}

namespace {

// The symbols of a template, in the order they are expanded.
constexpr std::string_view kSymbols = "dsbvoecnlajq";

std::string SerialPart(const FilenameFormatDefinition& f, std::int64_t serial) {
    return serial >= 1 ? f.SerialPrefix + FormatSerial(serial, f.SerialFormat) + f.SerialSuffix : std::string();
}

// The text a symbol stands for (nothing when its value is absent), put at
// the end of `out`; the camera's and the import's texts from `c`.
void AppendPart(std::string& out, char symbol, const FilenameFormatDefinition& f, const FilenameValues& v,
                const FilenameValues& c) {
    switch (symbol) {
    case 'd': {
        if (!(v.DateTime > DateTime::Zero())) return;
        const std::string_view pattern = f.DateFormat.empty() ? kGeneralDateFormat : std::string_view(f.DateFormat);
        out += f.DatePrefix;
        out += FormatDate(v.DateTime, pattern, v.SubSeconds);
        out += f.DateSuffix;
        return;
    }
    case 's': out += SerialPart(f, v.SerialNumber); return;
    case 'b': return AppendTextPart(out, f.BatchPrefix, v.Batch, f.BatchFormat, f.BatchSuffix);
    case 'v': return AppendTextPart(out, f.VolumePrefix, v.Volume, f.VolumeFormat, f.VolumeSuffix);
    case 'o': return AppendTextPart(out, f.OriginalPrefix, v.Original, f.OriginalFormat, f.OriginalSuffix);
    case 'c': return AppendTextPart(out, f.CameraPrefix, c.Camera, f.CameraFormat, f.CameraSuffix);
    case 'n': return AppendTextPart(out, f.BodySerialPrefix, c.BodySerial, f.BodySerialFormat, f.BodySerialSuffix);
    case 'l': return AppendTextPart(out, f.LensPrefix, c.Lens, f.LensFormat, f.LensSuffix);
    case 'a': return AppendTextPart(out, f.ArtistPrefix, c.Artist, f.ArtistFormat, f.ArtistSuffix);
    case 'j': return AppendTextPart(out, f.JobPrefix, c.Job, f.JobFormat, f.JobSuffix);
    case 'q':
        if (v.Sequence < 1) return;
        out += f.SequencePrefix;
        out += FormatSerial(v.Sequence, f.SequenceFormat);
        out += f.SequenceSuffix;
        return;
    default: return AppendTextPart(out, f.ExtensionPrefix, v.Extension, f.ExtensionFormat, f.ExtensionSuffix);
    }
}

std::string Part(char symbol, const FilenameFormatDefinition& f, const FilenameValues& v) {
    std::string part;
    AppendPart(part, symbol, f, v, v);
    return part;
}

// The template read once from the left, each symbol's text put in as it is
// met: what expanding one symbol after another over the whole text gives,
// as long as every "%" of the template begins a symbol and no symbol's text
// holds a "%" (else a later symbol could expand inside an earlier one's text
// or form across it). False when that does not hold. A name is built for
// every serial number tried, so this is worth its few lines.
bool BuildInOnePass(const FilenameFormatDefinition& f, const FilenameValues& v, std::string& out) {
    const std::string& t = f.Template;
    for (std::size_t at = t.find('%'); at != std::string::npos; at = t.find('%', at + 2))
        if (at + 1 == t.size() || kSymbols.find(t[at + 1]) == std::string_view::npos) return false;
    std::array<std::optional<std::string>, kSymbols.size()> parts;
    std::size_t from = 0;
    for (std::size_t at = t.find('%'); at != std::string::npos; at = t.find('%', from)) {
        out.append(t, from, at - from);
        std::optional<std::string>& part = parts[kSymbols.find(t[at + 1])];
        if (!part) {
            part = Part(t[at + 1], f, v);
            if (part->find('%') != std::string::npos) return false;
        }
        out += *part;
        from = at + 2;
    }
    out.append(t, from, std::string::npos);
    return true;
}

// A template's literal text and symbols, in order; false when a "%" of it
// begins no symbol. Worked out once for the template met last: the same one
// names every file of a run.
bool TemplateTokens(const std::string& t, const std::vector<std::pair<std::string, char>>*& tokens) {
    thread_local std::string met;
    thread_local std::vector<std::pair<std::string, char>> made;
    thread_local bool fits = false;
    if (t != met || made.empty()) {
        made.clear();
        fits = true;
        std::size_t from = 0;
        for (std::size_t at = t.find('%'); at != std::string::npos; at = t.find('%', from)) {
            if (at + 1 == t.size() || kSymbols.find(t[at + 1]) == std::string_view::npos) fits = false;
            made.emplace_back(t.substr(from, at - from), at + 1 < t.size() ? t[at + 1] : '%');
            from = at + 2;
        }
        made.emplace_back(from < t.size() ? t.substr(from) : std::string(), '\0');
        met = t;
    }
    tokens = &made;
    return fits;
}

// The one-pass read, with the text between the serial number's places kept
// apart (`pieces`, one more than the places) instead of a serial put in: a
// name is built for every serial number tried, and the rest does not change.
bool BuildAroundSerial(const FilenameFormatDefinition& f, const FilenameValues& v, const FilenameValues& c,
                       std::vector<std::string>& pieces) {
    const std::vector<std::pair<std::string, char>>* tokens = nullptr;
    if (!TemplateTokens(f.Template, tokens)) return false;
    pieces.assign(1, std::string());
    pieces.back().reserve(f.Template.size() + 192);
    for (const auto& [literal, symbol] : *tokens) {
        pieces.back() += literal;
        if (symbol == '\0') break;
        if (symbol == 's') {
            pieces.emplace_back();
            continue;
        }
        const std::size_t was = pieces.back().size();
        AppendPart(pieces.back(), symbol, f, v, c);
        if (pieces.back().find('%', was) != std::string::npos) return false;
    }
    return true;
}

}  // namespace

std::string FormatTextValue(std::string_view text, std::string_view format) { return FormatText(text, format); }
std::string FormatNumberValue(std::int64_t number, std::string_view format) { return FormatSerial(number, format); }

bool UsesSymbol(std::string_view text, char letter) {
    const char mark[] = {'%', letter};
    return text.find(std::string_view(mark, 2)) != std::string_view::npos;
}

bool HoldsCameraSymbols(const FilenameFormatDefinition& f) {
    static const auto texts = [] {
        std::vector<std::string FilenameFormatDefinition::*> all;
        using F = FilenameFormatDefinition;
        for (auto m : {&F::Template, &F::DatePrefix, &F::DateSuffix, &F::SerialPrefix, &F::SerialFormat,
                       &F::SerialSuffix, &F::BatchPrefix, &F::BatchFormat, &F::BatchSuffix, &F::VolumePrefix,
                       &F::VolumeFormat, &F::VolumeSuffix, &F::OriginalPrefix, &F::OriginalFormat, &F::OriginalSuffix,
                       &F::ExtensionPrefix, &F::ExtensionFormat, &F::ExtensionSuffix})
            all.push_back(m);
        return all;
    }();
    if (f.DateFormat.find("ff") != std::string::npos) return true;
    for (const auto member : texts) {
        const std::string& text = f.*member;
        for (std::size_t at = text.find('%'); at != std::string::npos; at = text.find('%', at + 1))
            if (at + 1 < text.size() && std::string_view("cnlajq").find(text[at + 1]) != std::string_view::npos)
                return true;
    }
    return false;
}

void FillCameraValues(FilenameValues& v, const FileFacts& facts, const std::string& job) {
    v.SubSeconds = facts.SubSecTimeOriginal;
    v.Camera = NameValue(ShortCameraName(facts.CameraMake, facts.CameraModel));
    v.BodySerial = NameValue(facts.CameraSerial);
    v.Lens = NameValue(facts.LensModel);
    v.Artist = NameValue(facts.Artist);
    v.Job = NameValue(job);
    v.Sequence = facts.ContinuingNumber;
}

bool RunUsesSymbol(const RunOptions& options, char letter) {
    return (options.FilenameFormat == FilenameFormat::Custom && UsesSymbol(options.CustomFormat.Template, letter)) ||
           (options.DateFolders && UsesSymbol(options.DateFolderFormat, letter));
}

bool NeedsJobCode(const RunOptions& options) {
    return RunUsesSymbol(options, 'j') ||
           (options.SequenceScope == SequenceScope::PerJob && RunUsesSymbol(options, 'q'));
}

void AddSampleCameraValues(FilenameValues& v) {
    v.SubSeconds = "12";
    v.Camera = "Canon EOS R6";
    v.BodySerial = "012345678901";
    v.Lens = "RF24-105mm F4 L IS USM";
    v.Artist = "Jane Doe";
    v.Job = "Wedding";
    v.Sequence = 1;
}

std::string BuildFilename(const FilenameFormatDefinition& f, const FilenameValues& v) {
    if (std::string name; BuildInOnePass(f, v, name)) return name;
    std::string text = f.Template;
    for (const char symbol : kSymbols) {
        const char mark[] = {'%', symbol};
        Expand(text, std::string_view(mark, 2), [&] { return Part(symbol, f, v); });
    }
    return text;
}

FilenameFormatDefinition BuiltInFormat(FilenameFormat format, bool hasTime) {
    switch (format) {
    case FilenameFormat::Vantor1: return PlainFormat(hasTime ? "yyyy-mm-dd @hh-nn-ss" : "yyyy-mm-dd", " #", " ", "<&");
    case FilenameFormat::Vantor2Short: return LabelledFormat("DT", "SN", "BA", "VO", "CO", hasTime);
    // The long-label format always writes the time, midnight included.
    case FilenameFormat::Vantor2Long: return LabelledFormat("Captured Date", "Sequence Number", "Batch", "Volume", "Comment", true);
    default: return PlainFormat(hasTime ? "yyyymmdd_hhnnss" : "yyyymmdd", "_", "_", ">&");
    }
}

namespace {

// The built-in definitions never change: made once, not for every file.
const FilenameFormatDefinition& CachedBuiltInFormat(FilenameFormat format, bool hasTime) {
    static const auto table = [] {
        std::array<std::array<FilenameFormatDefinition, 2>, 4> t;
        for (int i = 0; i < 4; ++i)
            for (int h = 0; h < 2; ++h) t[i][h] = BuiltInFormat(static_cast<FilenameFormat>(i), h == 1);
        return t;
    }();
    const int index = StoredValue(format);
    return table[index >= 1 && index <= 3 ? index : 0][hasTime ? 1 : 0];
}

}  // namespace

FilenameFormatDefinition FormatForRun(const RunOptions& options, bool hasTime) {
    if (options.FilenameFormat == FilenameFormat::Custom) return options.CustomFormat;
    return BuiltInFormat(options.FilenameFormat, hasTime);
}

FilenameValues CameraValuesFor(const FileFacts& facts, const RunOptions& options) {
    FilenameValues v;
    // Most formats hold none of the camera's symbols: their values would
    // cost a preview a good part of its time.
    if (options.FilenameFormat == FilenameFormat::Custom && HoldsCameraSymbols(options.CustomFormat))
        FillCameraValues(v, facts, options.JobCode);
    return v;
}

std::string NewFilename(const FileFacts& facts, const RunOptions& options, std::int32_t serialNumber) {
    return NewFilename(facts, options, serialNumber, CameraValuesFor(facts, options));
}

std::string NewFilename(const FileFacts& facts, const RunOptions& options, std::int32_t serialNumber,
                        const FilenameValues& camera) {
    return SerialNamer(facts, options, camera)(serialNumber);
}

const FilenameValues& CameraValueMemo::For(const FileFacts& facts, const RunOptions& options) {
    // A walk's options stay as they are: asked once.
    if (!holds_) holds_ = options.FilenameFormat == FilenameFormat::Custom && HoldsCameraSymbols(options.CustomFormat);
    if (!*holds_) return none_;
    return Fill(facts, options.JobCode);
}

const FilenameValues& CameraValueMemo::Fill(const FileFacts& facts, const std::string& job) {
    const std::array<std::string_view, 6> now{facts.CameraMake, facts.CameraModel, facts.CameraSerial,
                                              facts.LensModel,  facts.Artist,      job};
    if (!held_ || !std::equal(now.begin(), now.end(), met_.begin())) {
        FillCameraValues(values_, facts, job);
        std::copy(now.begin(), now.end(), met_.begin());
        held_ = true;
    }
    values_.SubSeconds = facts.SubSecTimeOriginal;
    values_.Sequence = facts.ContinuingNumber;
    return values_;
}

SerialNamer::SerialNamer(const FileFacts& facts, const RunOptions& options, const FilenameValues& camera)
{
    auto made = std::make_shared<Made>();
    made->format = options.FilenameFormat == FilenameFormat::Custom
                       ? &options.CustomFormat
                       : &CachedBuiltInFormat(options.FilenameFormat, facts.TimestampHasTime);
    FilenameValues& v = made->values;
    v.DateTime = facts.TimestampDateTime;
    v.Extension = facts.Extension;
    const std::string baseName = BaseName(facts.SourceFileName);
    const auto both = AddBatchVolume::Both;
    if (facts.DCFFilename && options.AddBatchVolume == both &&
        (options.FilenameFormat == FilenameFormat::DcfStyle || options.FilenameFormat == FilenameFormat::Vantor1)) {
        // The two plain formats show batch and volume together as the whole DCF name.
        v.Original = baseName;
    } else if (facts.DCFFilename) {
        if ((options.AddBatchVolume == AddBatchVolume::BatchOnly || options.AddBatchVolume == both) && !facts.DCFBatch.empty()) {
            v.Batch = facts.DCFBatch;
            if (options.DCFBatchCleanup == DCFBatchCleanup::RemoveFinalUnderscore && v.Batch.back() == '_') v.Batch.pop_back();
        }
        if ((options.AddBatchVolume == AddBatchVolume::VolumeOnly || options.AddBatchVolume == both) && facts.DCFVolume > 0) {
            v.Volume = std::to_string(facts.DCFVolume);
            // Pad to the digit count the name had, so 01234 keeps its leading zero.
            if (facts.DCFVolumeDigits > 0 && v.Volume.size() < static_cast<std::size_t>(facts.DCFVolumeDigits))
                v.Volume.insert(0, static_cast<std::size_t>(facts.DCFVolumeDigits) - v.Volume.size(), '0');
        }
    } else if (options.DCFMode == DCFMode::PreserveAsComment) {
        v.Original = baseName;
    }
    v.SubSeconds = camera.SubSeconds, v.Sequence = camera.Sequence;
    // The camera's texts are needed again only where the name is built whole.
    if (!BuildAroundSerial(*made->format, v, camera, made->pieces)) {
        made->pieces.clear();
        v.Camera = camera.Camera, v.BodySerial = camera.BodySerial, v.Lens = camera.Lens;
        v.Artist = camera.Artist, v.Job = camera.Job;
    }
    made_ = std::move(made);
}

std::string SerialNamer::operator()(std::int32_t serial) const {
    const Made& m = *made_;
    const std::string part = m.pieces.size() > 1 ? SerialPart(*m.format, serial) : std::string();
    // A serial part holding a "%" could form a symbol with what follows it.
    if (m.pieces.empty() || part.find('%') != std::string::npos) {
        FilenameValues v = m.values;
        v.SerialNumber = serial;
        return BuildFilename(*m.format, v);
    }
    std::string name = m.pieces.front();
    for (std::size_t i = 1; i < m.pieces.size(); ++i) name.append(part).append(m.pieces[i]);
    return name;
}

}  // namespace ravlen
