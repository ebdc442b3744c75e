#include "card_builder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <system_error>

namespace ravlen::bench {
namespace {

// Numbers in one byte order, appended or patched into a byte string.
class Out {
public:
    explicit Out(bool motorola = false) : motorola_(motorola) {}
    Out& Raw(std::string_view s) { s_.append(s); return *this; }
    Out& U8(unsigned v) { s_.push_back(static_cast<char>(v & 0xFF)); return *this; }
    Out& U16(std::uint32_t v) { return Put(v, 2); }
    Out& U32(std::uint32_t v) { return Put(v, 4); }
    Out& Zeros(std::size_t n) { s_.append(n, '\0'); return *this; }
    void Patch32(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) s_[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> Shift(i, 4)) & 0xFF);
    }
    std::size_t size() const { return s_.size(); }
    std::string& str() { return s_; }

private:
    int Shift(int i, int n) const { return motorola_ ? 8 * (n - 1 - i) : 8 * i; }
    Out& Put(std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i) s_.push_back(static_cast<char>((v >> Shift(i, n)) & 0xFF));
        return *this;
    }
    bool motorola_;
    std::string s_;
};

std::uint32_t Size32(std::size_t n) { return static_cast<std::uint32_t>(n); }

// Compressed image data looks random; a JPEG stuffs a zero after every 0xFF.
// One pool, sliced per file, keeps building fast.
const std::string& EntropyPool() {
    static const std::string pool = [] {
        constexpr std::size_t kPool = 2u << 20;
        std::string s;
        s.reserve(kPool + kPool / 128);
        std::uint64_t x = 0x9E3779B97F4A7C15ull;
        while (s.size() < kPool) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            for (int i = 0; i < 8; ++i) {
                const char c = static_cast<char>((x >> (8 * i)) & 0xFF);
                s.push_back(c);
                if (c == '\xFF') s.push_back('\0');
            }
        }
        return s;
    }();
    return pool;
}

// n bytes of image data for variant v, never ending in 0xFF (which would run
// into the marker that follows).
std::string_view Entropy(std::size_t n, std::uint64_t v) {
    const std::string& pool = EntropyPool();
    const std::size_t at = static_cast<std::size_t>((v * 104729u) % (pool.size() - n));
    std::string_view s(pool.data() + at, n);
    while (!s.empty() && s.back() == '\xFF') s.remove_suffix(1);
    return s;
}

std::string Segment(unsigned code, std::string_view payload) {
    std::string s{'\xFF', static_cast<char>(code)};
    const std::size_t len = payload.size() + 2;
    s.push_back(static_cast<char>((len >> 8) & 0xFF));
    s.push_back(static_cast<char>(len & 0xFF));
    s.append(payload);
    return s;
}

// Quantisation tables, a baseline frame header, Huffman tables and a scan
// header, as an encoder writes them before the image data.
std::string ImageHeaders(unsigned width, unsigned height) {
    std::string dqt;
    for (int table = 0; table < 2; ++table) {
        dqt.push_back(static_cast<char>(table));
        for (int i = 0; i < 64; ++i) dqt.push_back(static_cast<char>(2 + (i * (table + 3)) % 90));
    }
    Out sof(true);
    sof.U8(8).U16(height).U16(width).U8(3);
    sof.U8(1).U8(0x21).U8(0).U8(2).U8(0x11).U8(1).U8(3).U8(0x11).U8(1);

    // DC and AC tables for luminance and chrominance with the usual code counts.
    static const unsigned char kDc[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
    static const unsigned char kAc[16] = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D};
    std::string dht;
    for (int id = 0; id < 2; ++id) {
        for (int ac = 0; ac < 2; ++ac) {
            dht.push_back(static_cast<char>((ac << 4) | id));
            const unsigned char* counts = ac ? kAc : kDc;
            int total = 0;
            for (int i = 0; i < 16; ++i) {
                dht.push_back(static_cast<char>(counts[i]));
                total += counts[i];
            }
            for (int i = 0; i < total; ++i) dht.push_back(static_cast<char>(ac ? (i * 7 + 1) % 251 : i));
        }
    }
    Out sos(true);
    sos.U8(3).U8(1).U8(0x00).U8(2).U8(0x11).U8(3).U8(0x11).U8(0).U8(63).U8(0);
    return Segment(0xDB, dqt) + Segment(0xC0, sof.str()) + Segment(0xC4, dht) + Segment(0xDA, sos.str());
}

// The small JPEG that cameras put into IFD1 (and CRW files beside the raw data).
std::string Thumbnail(std::uint64_t v) {
    std::string s = "\xFF\xD8" + ImageHeaders(160, 120);
    s.append(Entropy(5000 + static_cast<std::size_t>(v % 3000), v + 17));
    s += "\xFF\xD9";
    return s;
}

// One IFD entry: its value bytes, inline when they fit in four.
struct Entry {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    std::string value;
};

enum : std::uint16_t { kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5, kUndefined = 7 };

class TiffWriter {
public:
    explicit TiffWriter(bool motorola) : out_(motorola), motorola_(motorola) {}

    std::string Short(std::uint32_t v) const { Out o(motorola_); o.U16(v); return o.str(); }
    std::string Long(std::uint32_t v) const { Out o(motorola_); o.U32(v); return o.str(); }
    std::string Rational(std::uint32_t n, std::uint32_t d) const { Out o(motorola_); o.U32(n).U32(d); return o.str(); }
    static Entry Ascii(std::uint16_t tag, const std::string& text) {
        return {tag, kAscii, Size32(text.size() + 1), text + std::string(1, '\0')};
    }

    // Writes an IFD (entries in tag order) followed by its out-of-line
    // values. Returns the position of the next-IFD pointer; `valueAt` gets the
    // position of each entry's value (inline field or out-of-line data).
    std::size_t Ifd(std::vector<Entry> entries, std::vector<std::pair<std::uint16_t, std::size_t>>& valueAt) {
        std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
        const std::size_t start = out_.size();
        std::size_t data = start + 2 + 12 * entries.size() + 4;
        out_.U16(Size32(entries.size()));
        std::vector<std::pair<std::size_t, const std::string*>> outOfLine;
        for (const Entry& e : entries) {
            out_.U16(e.tag).U16(e.type).U32(e.count);
            if (e.value.size() <= 4) {
                valueAt.emplace_back(e.tag, out_.size());
                out_.Raw(e.value).Zeros(4 - e.value.size());
            } else {
                valueAt.emplace_back(e.tag, data);
                out_.U32(Size32(data));
                outOfLine.emplace_back(data, &e.value);
                data += e.value.size() + (e.value.size() & 1);  // values start on word boundaries
            }
        }
        const std::size_t next = out_.size();
        out_.U32(0);
        for (const auto& [at, value] : outOfLine) {
            out_.Zeros(at - out_.size());
            out_.Raw(*value);
        }
        if (out_.size() & 1) out_.Zeros(1);
        return next;
    }

    Out& out() { return out_; }

private:
    Out out_;
    bool motorola_;
};

std::size_t Find(const std::vector<std::pair<std::uint16_t, std::size_t>>& at, std::uint16_t tag) {
    for (const auto& [t, pos] : at)
        if (t == tag) return pos;
    throw std::logic_error("tag not written");
}

// A maker note as the two makers write it: Canon's a bare directory in the
// EXIF byte order, Nikon's with a header and a TIFF structure of its own;
// then the maker's private data, here zeros, to a camera's usual size.
std::string MakerNote(bool nikon, std::size_t size) {
    Out note(nikon);
    if (nikon) note.Raw(std::string("Nikon\0\x02\x10\0\0MM\0\x2A\0\0\0\x08", 18));
    note.U16(1);
    if (nikon) note.U16(0x0001).U16(kUndefined).U32(4).Raw("0210");
    else note.U16(0x0010).U16(kLong).U32(1).U32(0x80000281);  // the model ID
    note.U32(0);
    note.Zeros(size - note.size());
    return std::move(note.str());
}

// The TIFF structure of a camera's EXIF block: IFD0 with the camera and
// DateTime, the EXIF sub-directory with exposure data, both dates and a maker
// note, then IFD1 pointing at the thumbnail.
std::string ExifTiff(const DateTime& date, bool motorola, std::uint64_t v) {
    TiffWriter w(motorola);
    const std::string stamp = date.Format("yyyy:mm:dd hh:nn:ss");
    w.out().Raw(motorola ? "MM" : "II").U16(42).U32(8);

    std::vector<std::pair<std::uint16_t, std::size_t>> at;
    const std::size_t next0 = w.Ifd({TiffWriter::Ascii(0x010F, motorola ? "NIKON CORPORATION" : "Canon"),
                                     TiffWriter::Ascii(0x0110, motorola ? "NIKON D850" : "Canon EOS 5D Mark IV"),
                                     {0x0112, kShort, 1, w.Short(1)},
                                     {0x011A, kRational, 1, w.Rational(72, 1)},
                                     {0x011B, kRational, 1, w.Rational(72, 1)},
                                     {0x0128, kShort, 1, w.Short(2)},
                                     TiffWriter::Ascii(0x0132, stamp),
                                     {0x0213, kShort, 1, w.Short(2)},
                                     {0x8769, kLong, 1, w.Long(0)}},
                                    at);
    w.out().Patch32(Find(at, 0x8769), Size32(w.out().size()));

    const std::string makerNote = MakerNote(motorola, 3000 + static_cast<std::size_t>(v % 2000));
    std::string comment(264, '\0');
    w.Ifd({{0x829A, kRational, 1, w.Rational(1, 125 + static_cast<std::uint32_t>(v % 500))},
           {0x829D, kRational, 1, w.Rational(28, 10)},
           {0x8827, kShort, 1, w.Short(100 + static_cast<std::uint32_t>(v % 8) * 100)},
           {0x9000, kUndefined, 4, "0231"},
           TiffWriter::Ascii(0x9003, stamp),
           TiffWriter::Ascii(0x9004, stamp),
           {0x9101, kUndefined, 4, std::string("\1\2\3\0", 4)},
           {0x920A, kRational, 1, w.Rational(50, 1)},
           {0x927C, kUndefined, Size32(makerNote.size()), makerNote},
           {0x9286, kUndefined, Size32(comment.size()), comment},
           {0xA000, kUndefined, 4, "0100"},
           {0xA001, kShort, 1, w.Short(1)},
           {0xA002, kLong, 1, w.Long(6720)},
           {0xA003, kLong, 1, w.Long(4480)}},
          at);

    w.out().Patch32(next0, Size32(w.out().size()));
    const std::string thumb = Thumbnail(v);
    at.clear();
    w.Ifd({{0x0103, kShort, 1, w.Short(6)},
           {0x011A, kRational, 1, w.Rational(72, 1)},
           {0x011B, kRational, 1, w.Rational(72, 1)},
           {0x0128, kShort, 1, w.Short(2)},
           {0x0201, kLong, 1, w.Long(0)},
           {0x0202, kLong, 1, w.Long(Size32(thumb.size()))}},
          at);
    w.out().Patch32(Find(at, 0x0201), Size32(w.out().size()));
    w.out().Raw(thumb);
    return std::move(w.out().str());
}

// A RIFF chunk: four-character ID, little-endian size, data (even-sized here,
// so no pad byte is ever needed).
std::string Chunk(std::string_view id, std::string_view data) {
    Out o;
    o.Raw(id).U32(Size32(data.size())).Raw(data);
    if (data.size() & 1) o.Zeros(1);
    return std::move(o.str());
}
std::string List(std::string_view type, std::string_view body) { return Chunk("LIST", std::string(type) + std::string(body)); }
std::string Riff(std::string_view form, std::string_view body) { return Chunk("RIFF", std::string(form) + std::string(body)); }

std::string EvenText(std::string text) {
    text.push_back('\0');
    if (text.size() & 1) text.push_back('\0');
    return text;
}

// "Thu Jun  1 08:00:00 2023\n", as the C library's ctime writes it.
std::string CtimeText(const DateTime& date) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const DateFields f = date.Fields();
    const std::int64_t s = date.CivilSeconds();
    const std::int64_t days = (s >= 0 ? s : s - 86399) / 86400;
    const unsigned weekday = std::chrono::weekday(std::chrono::sys_days(std::chrono::days(days))).c_encoding();
    char text[40];
    std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %04d\n", kDays[weekday], kMonths[f.month - 1], f.day,
                  f.hour, f.minute, f.second, f.year);
    return text;
}

void WriteWhole(int fd, const std::string& bytes, const std::string& path) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
        done += static_cast<std::size_t>(n);
    }
}

void WriteNew(const std::string& path, const std::string& bytes) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + path + ": " + std::strerror(errno));
    try {
        WriteWhole(fd, bytes, path);
    } catch (...) {
        close(fd);
        throw;
    }
    if (close(fd) != 0) throw std::runtime_error("cannot close " + path + ": " + std::strerror(errno));
}

void MakeFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
        throw std::runtime_error("cannot create folder " + path + ": " + std::strerror(errno));
}

std::string FolderName(std::size_t folder) {
    char name[16];
    std::snprintf(name, sizeof name, "%03zuCANON", 100 + folder);
    return name;
}

}  // namespace

const char* KindName(CardKind kind) {
    switch (kind) {
        case CardKind::Jpeg: return "JPEG";
        case CardKind::JpegMotorola: return "JPEG (MM)";
        case CardKind::Avi: return "AVI";
        case CardKind::Wav: return "WAV";
        case CardKind::Crw: return "CRW";
    }
    return "?";
}

CardFile PlanFile(std::size_t index, const CardSpec& spec) {
    const std::size_t perFolder = std::clamp<std::size_t>(spec.perFolder, 1, 9999);
    CardFile file;
    // In every hundred files: 3 movies, 3 sound memos, 4 raw files, and JPEGs,
    // a tenth of them from a camera that writes Motorola byte order.
    const std::size_t r = index % 100;
    const char* prefix = "IMG_";
    const char* ext = "JPG";
    if (r == 17 || r == 50 || r == 83) {
        file.kind = CardKind::Avi, prefix = "MVI_", ext = "AVI";
    } else if (r == 33 || r == 66 || r == 99) {
        file.kind = CardKind::Wav, prefix = "SND_", ext = "WAV";
    } else if (r == 8 || r == 41 || r == 74 || r == 91) {
        file.kind = CardKind::Crw, prefix = "CRW_", ext = "CRW";
    } else if (r % 10 == 5) {
        file.kind = CardKind::JpegMotorola, prefix = "DSC_";
    }
    char name[32];
    std::snprintf(name, sizeof name, "%s%04zu.%s", prefix, index % 9999 + 1, ext);
    file.relPath = "DCIM/" + FolderName(index / perFolder) + "/" + name;
    // Seven seconds apart, and every tenth file in the same second as the one
    // before it (a burst), so that serial numbers come into play.
    static const DateTime kStart = *DateTime::FromFields(2023, 6, 1, 8, 0, 0);
    const std::int64_t step = static_cast<std::int64_t>(index) - (index % 10 == 9 ? 1 : 0);
    file.date = kStart.PlusSeconds(7 * step);
    return file;
}

std::string JpegFile(const DateTime& date, bool motorola, std::uint64_t v) {
    std::string s = "\xFF\xD8";
    s += Segment(0xE1, std::string("Exif\0\0", 6) + ExifTiff(date, motorola, v));
    s += ImageHeaders(6720, 4480);
    s.append(Entropy(100 * 1024 + static_cast<std::size_t>((v * 7919u) % (48 * 1024)), v));
    s += "\xFF\xD9";
    return s;
}

std::string AviFile(const DateTime& date, std::uint64_t v) {
    const std::uint32_t frames = 12 + static_cast<std::uint32_t>(v % 8);
    const std::uint32_t frameSize = 32 * 1024;
    Out avih;
    avih.U32(33333).U32(frameSize * 30).U32(0).U32(0x10).U32(frames).U32(0).U32(1).U32(frameSize)
        .U32(640).U32(480).Zeros(16);
    Out strh;
    strh.Raw("vidsMJPG").U32(0).U16(0).U16(0).U32(0).U32(1).U32(30).U32(0).U32(frames).U32(frameSize)
        .U32(0xFFFFFFFF).U32(0).U16(0).U16(0).U16(640).U16(480);
    Out strf;
    strf.U32(40).U32(640).U32(480).U16(1).U16(24).Raw("MJPG").U32(640 * 480 * 3).Zeros(16);
    // The camera's own stream data, with an EXIF-style date inside.
    const std::string strd = std::string("AVIFEXIF", 8) + std::string(8, '\0') +
                             EvenText(date.Format("yyyy:mm:dd hh:nn:ss")) + std::string(40, '\0');
    const std::string strl = List("strl", Chunk("strh", strh.str()) + Chunk("strf", strf.str()) + Chunk("strd", strd));
    const std::string hdrl = List("hdrl", Chunk("avih", avih.str()) + strl + Chunk("IDIT", EvenText(CtimeText(date))));
    const std::string info =
        List("INFO", Chunk("ISFT", EvenText("Ravlen bench")) + Chunk("ICRD", EvenText(date.Format("yyyy-mm-dd"))));
    std::string movi;
    Out index;
    for (std::uint32_t f = 0; f < frames; ++f) {
        index.Raw("00dc").U32(0x10).U32(Size32(movi.size() + 4)).U32(frameSize);
        movi += Chunk("00dc", Entropy(frameSize, v + f));
    }
    return Riff("AVI ", hdrl + info + List("movi", movi) + Chunk("idx1", index.str()));
}

std::string WavFile(const DateTime& date, std::uint64_t v) {
    Out fmt;
    fmt.U16(1).U16(1).U32(11025).U32(22050).U16(2).U16(16);
    const std::string info = List("INFO", Chunk("ICRD", EvenText(date.Format("yyyy-mm-dd"))));
    const std::string exif = List("exif", Chunk("etim", EvenText(date.Format("hh:nn:ss"))));
    const std::size_t samples = 100 * 1024 + static_cast<std::size_t>((v * 31u) % 40000) * 2;
    return Riff("WAVE", Chunk("fmt ", fmt.str()) + info + exif + Chunk("data", Entropy(samples & ~std::size_t{1}, v)));
}

std::string CrwFile(const DateTime& date, std::uint64_t v) {
    // The ImageProps heap: the camera name, image info and the capture time.
    Out props;
    const std::string camera = std::string("Canon\0Canon EOS D60\0", 20) + std::string(12, '\0');
    props.Raw(camera);
    props.U32(3072).U32(2048).U32(0).U32(0).U32(0).U32(0).U32(0);  // 28 bytes of image info
    const std::size_t capturedAt = props.size();
    props.U32(static_cast<std::uint32_t>(date.CivilSeconds())).U32(0).U32(0);
    const std::size_t propsTable = props.size();
    props.U16(3);
    props.U16(0x080A).U32(Size32(camera.size())).U32(0);
    props.U16(0x1810).U32(28).U32(Size32(camera.size()));
    props.U16(0x180E).U32(12).U32(Size32(capturedAt));
    props.U32(Size32(propsTable));

    // The root heap: raw sensor data, the thumbnail, the ImageProps heap.
    const std::string_view raw = Entropy(300000 + static_cast<std::size_t>(v % 50000) * 2, v);
    const std::string thumb = Thumbnail(v);
    Out heap;
    heap.Raw(raw).Raw(thumb).Raw(props.str());
    const std::size_t rootTable = heap.size();
    heap.U16(3);
    heap.U16(0x2005).U32(Size32(raw.size())).U32(0);
    heap.U16(0x2007).U32(Size32(thumb.size())).U32(Size32(raw.size()));
    heap.U16(0x300A).U32(Size32(props.size())).U32(Size32(raw.size() + thumb.size()));
    heap.U32(Size32(rootTable));

    Out file;
    file.Raw("II").U32(26).Raw("HEAPCCDR").U32(0x00010002).U32(0).U32(0);
    file.Raw(heap.str());
    return std::move(file.str());
}

std::string FileBytes(const CardFile& file, std::uint64_t variant) {
    switch (file.kind) {
        case CardKind::Jpeg: return JpegFile(file.date, false, variant);
        case CardKind::JpegMotorola: return JpegFile(file.date, true, variant);
        case CardKind::Avi: return AviFile(file.date, variant);
        case CardKind::Wav: return WavFile(file.date, variant);
        case CardKind::Crw: return CrwFile(file.date, variant);
    }
    return {};
}

Card BuildCard(const std::string& root, const CardSpec& spec) {
    Card card;
    card.root = root;
    card.files.reserve(spec.files);
    MakeFolder(root + "/DCIM");
    MakeFolder(root + "/DCIM/CANONMSC");
    std::string lastFolder;
    for (std::size_t i = 0; i < spec.files; ++i) {
        CardFile file = PlanFile(i, spec);
        const std::string folder = file.relPath.substr(0, file.relPath.rfind('/'));
        if (folder != lastFolder) {
            MakeFolder(root + "/" + folder);
            // The camera's catalog of the folder, which the default filters exclude.
            const std::string catalog = "DCIM/CANONMSC/M0" + folder.substr(5, 3) + ".CTG";
            WriteNew(root + "/" + catalog, std::string(512, '\0'));
            card.catalogs.push_back(catalog);
            lastFolder = folder;
        }
        const std::string bytes = FileBytes(file, i);
        WriteNew(root + "/" + file.relPath, bytes);
        file.size = bytes.size();
        card.bytes += bytes.size();
        card.files.push_back(std::move(file));
    }
    return card;
}

}  // namespace ravlen::bench
