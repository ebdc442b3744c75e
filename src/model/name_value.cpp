#include "model/name_value.h"

#include "model/utf8.h"

namespace ravlen {

std::string NameValue(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        bool refused = u < 0x20 || u == 0x7F;
        switch (c) {
        case '\\': case '/': case ':': case '*': case '?': case '"': case '<': case '>': case '|': refused = true; break;
        default: break;
        }
        out.push_back(refused ? '-' : c);
    }
    const std::size_t first = out.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    out = out.substr(first, out.find_last_not_of(' ') - first + 1);
    constexpr std::size_t kMaxValue = 64;
    if (out.size() > kMaxValue) {
        std::size_t cut = 0;
        for (std::size_t i = 0; i < out.size();) {
            const std::size_t n = utf8::Next(out, i).length;
            if (i + n > kMaxValue) break;
            i += n;
            cut = i;
        }
        out.resize(cut);
        out.erase(out.find_last_not_of(' ') + 1);
    }
    // A value alone can make a whole folder's name: never "." or "..".
    if (out.find_first_not_of('.') == std::string::npos) out.assign(out.size(), '-');
    return out;
}

std::string ShortCameraName(std::string_view make, std::string_view model) {
    const auto lower = [](std::string_view s) {
        std::string out(s);
        for (char& c : out)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return out;
    };
    if (model.empty()) return std::string(make);
    if (make.empty()) return std::string(model);
    const std::string m = lower(model);
    const std::string word = lower(make.substr(0, make.find(' ')));
    if (m.starts_with(lower(make)) || m.starts_with(word)) return std::string(model);
    return std::string(make) + " " + std::string(model);
}

}  // namespace ravlen
