#include "app/settings/job_codes.h"

#include <algorithm>

namespace ravlen {

std::vector<std::string> RecentJobCodes(const std::string& stored) {
    std::vector<std::string> codes;
    std::string code;
    bool any = false;
    for (std::size_t i = 0; i < stored.size(); ++i) {
        const char c = stored[i];
        if (c == '\\' && i + 1 < stored.size()) {
            code.push_back(stored[++i]);
            any = true;
        } else if (c == '|') {
            if (!code.empty()) codes.push_back(std::move(code));
            code.clear();
        } else {
            code.push_back(c);
            any = true;
        }
    }
    if (any && !code.empty()) codes.push_back(std::move(code));
    if (codes.size() > kRecentJobCodes) codes.resize(kRecentJobCodes);
    return codes;
}

std::string RememberJobCode(const std::string& stored, const std::string& code) {
    std::vector<std::string> codes = RecentJobCodes(stored);
    if (code.empty()) return stored;
    codes.erase(std::remove(codes.begin(), codes.end(), code), codes.end());
    codes.insert(codes.begin(), code);
    if (codes.size() > kRecentJobCodes) codes.resize(kRecentJobCodes);
    std::string text;
    for (const std::string& c : codes) {
        if (!text.empty()) text.push_back('|');
        for (const char ch : c) {
            if (ch == '|' || ch == '\\') text.push_back('\\');
            text.push_back(ch);
        }
    }
    return text;
}

}  // namespace ravlen
