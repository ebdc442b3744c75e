#pragma once
// A JPEG as a camera writes it: IFD0 names the camera (Make, Model), the Exif
// directory holds DateTimeOriginal and, when given, BodySerialNumber.

#include <string>
#include <utility>
#include <vector>

namespace ravlen::test {

inline std::string CameraJpeg(const std::string& date, const std::string& make, const std::string& model,
                              const std::string& serial = "") {
    const auto u16 = [](unsigned v) { return std::string{char(v & 0xFF), char(v >> 8)}; };
    const auto u32 = [&](unsigned v) { return u16(v & 0xFFFF) + u16(v >> 16); };
    using Texts = std::vector<std::pair<unsigned, std::string>>;
    Texts ifd0, exif{{0x9003, date}};
    if (!make.empty()) ifd0.emplace_back(0x010F, make);
    if (!model.empty()) ifd0.emplace_back(0x0110, model);
    if (!serial.empty()) exif.emplace_back(0xA431, serial);
    const auto size = [](const Texts& t, unsigned extra) { return 2 + 12 * unsigned(t.size() + extra) + 4; };
    const unsigned exifAt = 8 + size(ifd0, 1);
    unsigned dataAt = exifAt + size(exif, 0);
    std::string data;
    // A directory of ASCII entries whose texts go into `data` (four bytes or fewer in the entry itself).
    const auto directory = [&](const Texts& texts, bool pointer) {
        std::string out = u16(unsigned(texts.size() + (pointer ? 1 : 0)));
        for (const auto& [tag, text] : texts) {
            const auto count = unsigned(text.size() + 1);
            out += u16(tag) + u16(2) + u32(count);
            if (count <= 4) {
                out += text + std::string(4 - text.size(), '\0');
            } else {
                out += u32(dataAt + unsigned(data.size()));
                data += text + '\0';
            }
        }
        if (pointer) out += u16(0x8769) + u16(4) + u32(1) + u32(exifAt);
        return out + u32(0);
    };
    const std::string tiff = std::string("II*\0", 4) + u32(8) + directory(ifd0, true) + directory(exif, false);
    const std::string app1 = std::string("Exif\0\0", 6) + tiff + data;
    const auto length = static_cast<unsigned>(app1.size() + 2);
    return std::string("\xFF\xD8\xFF\xE1") + char(length >> 8) + char(length & 0xFF) + app1 + "\xFF\xD9";
}

}  // namespace ravlen::test
