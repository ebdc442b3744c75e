#include "engine/shot_groups.h"

#include <algorithm>
#include <array>
#include <unordered_map>

namespace ravlen {
namespace {

enum class Kind { Other, Movie, Sound, Xmp, Thumbnail, VoiceMemo };

bool SameText(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) {
               return lower(x) == lower(y);
           });
}

struct KindOf {
    std::string_view extension;
    Kind kind;
};
constexpr std::array kKinds{
    // An Apple edit file (.AAE) holds a picture's edits as an XMP sidecar
    // holds its metadata: it goes where the picture goes.
    KindOf{"xmp", Kind::Xmp},     KindOf{"aae", Kind::Xmp},
    KindOf{"thm", Kind::Thumbnail}, KindOf{"wav", Kind::VoiceMemo},
    KindOf{"avi", Kind::Movie},   KindOf{"mov", Kind::Movie},     KindOf{"mp4", Kind::Movie},
    KindOf{"m4v", Kind::Movie},   KindOf{"3gp", Kind::Movie},     KindOf{"3g2", Kind::Movie},
    KindOf{"mts", Kind::Movie},   KindOf{"m2ts", Kind::Movie},    KindOf{"mpg", Kind::Movie},
    KindOf{"mpeg", Kind::Movie},  KindOf{"mkv", Kind::Movie},     KindOf{"wmv", Kind::Movie},
    KindOf{"mp3", Kind::Sound},   KindOf{"m4a", Kind::Sound},     KindOf{"aac", Kind::Sound},
    KindOf{"flac", Kind::Sound},
};

Kind KindOfName(const std::string& name) {
    const std::string extension = ExtensionOf(name);
    for (const KindOf& k : kKinds)
        if (SameText(extension, k.extension)) return k.kind;
    return Kind::Other;
}

// Whether a file of kind `sidecar` follows one of kind `file`: an XMP (or
// AAE) any file, a THM a movie, a WAV a picture; never one sidecar another.
bool Follows(Kind sidecar, Kind file) {
    if (file == Kind::Xmp || file == Kind::Thumbnail || file == Kind::VoiceMemo) return false;
    switch (sidecar) {
        case Kind::Xmp: return true;
        case Kind::Thumbnail: return file == Kind::Movie;
        case Kind::VoiceMemo: return file == Kind::Other;
        default: return false;
    }
}

}  // namespace

std::vector<ShotCluster> ClusterShots(std::span<const std::string> names, bool keepTogether) {
    std::vector<ShotCluster> clusters;
    if (!keepTogether) {
        for (std::size_t i = 0; i < names.size(); ++i) clusters.push_back({ShotMember{i, {}}});
        return clusters;
    }
    std::unordered_map<std::string, std::size_t> byBase;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto [at, added] = byBase.try_emplace(BaseName(names[i]), clusters.size());
        if (added) clusters.emplace_back();
        clusters[at->second].push_back(ShotMember{i, {}});
    }
    for (ShotCluster& cluster : clusters) {
        if (cluster.size() == 1) continue;
        std::vector<Kind> kinds;
        for (const ShotMember& m : cluster) kinds.push_back(KindOfName(names[m.file]));
        // A sidecar follows the first file it can belong to; without one it is a file in its own right.
        ShotCluster files, sidecars;
        std::vector<std::size_t> picture(cluster.size(), cluster.size());
        for (std::size_t i = 0; i < cluster.size(); ++i)
            for (std::size_t j = 0; j < cluster.size() && picture[i] == cluster.size(); ++j)
                if (Follows(kinds[i], kinds[j])) picture[i] = j;
        std::vector<std::size_t> place(cluster.size());
        for (std::size_t i = 0; i < cluster.size(); ++i)
            if (picture[i] == cluster.size()) place[i] = files.size(), files.push_back(cluster[i]);
        for (std::size_t i = 0; i < cluster.size(); ++i)
            if (picture[i] != cluster.size()) sidecars.push_back(ShotMember{cluster[i].file, place[picture[i]]});
        files.insert(files.end(), sidecars.begin(), sidecars.end());
        cluster = std::move(files);
    }
    return clusters;
}

std::vector<std::vector<std::size_t>> ShotGroups(const ShotCluster& cluster, std::span<const FileFacts> facts) {
    std::vector<std::vector<std::size_t>> groups;
    std::vector<std::size_t> groupOf(cluster.size(), 0);
    for (std::size_t i = 0; i < cluster.size(); ++i) {
        if (!facts[i].Timestamped) continue;
        std::size_t g = 0;
        if (cluster[i].follows) {
            const std::size_t picture = *cluster[i].follows;
            if (!facts[picture].Timestamped) continue;
            g = groupOf[picture];
        } else {
            while (g < groups.size() && !(facts[groups[g].front()].TimestampDateTime == facts[i].TimestampDateTime))
                ++g;
            if (g == groups.size()) groups.emplace_back();
        }
        groupOf[i] = g;
        groups[g].push_back(i);
    }
    return groups;
}

void FollowPicture(FileFacts& sidecar, const FileFacts& picture) {
    sidecar.DCFFilename = picture.DCFFilename;
    sidecar.DCFBatch = picture.DCFBatch;
    sidecar.DCFVolume = picture.DCFVolume;
    sidecar.DCFVolumeDigits = picture.DCFVolumeDigits;
    sidecar.Timestamped = picture.Timestamped;
    sidecar.TimestampDateTime = picture.TimestampDateTime;
    sidecar.TimestampHasTime = picture.TimestampHasTime;
    sidecar.DateBeforeShift = picture.DateBeforeShift;
    sidecar.ShiftSeconds = picture.ShiftSeconds;
    sidecar.DateSource = picture.DateSource;
}

}  // namespace ravlen
