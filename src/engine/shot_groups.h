#pragma once
// Files of one shot: a camera's RAW and JPEG of one press of the button get
// one serial number, and the sidecars that carry no date of their own (XMP,
// an Apple AAE edit file, a movie's THM thumbnail, a picture's WAV voice
// memo) follow their picture.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/file_facts.h"

namespace ravlen {

// A file of a folder's listing in the walk's order.
struct ShotMember {
    std::size_t file = 0;                 // its place in the listing
    std::optional<std::size_t> follows;   // the member of its cluster whose sidecar it is
};

// The files of one name apart from the extension: the files in their own
// right first, in listing order, then the sidecars that follow one of them.
using ShotCluster = std::vector<ShotMember>;

// The listing's files by name: each cluster stands where its first file
// stands. Without keepTogether every file is a cluster of its own.
std::vector<ShotCluster> ClusterShots(std::span<const std::string> names, bool keepTogether);

// The files of a cluster placed together under one serial number, as
// indexes of members, once each file has its timestamp: the timestamped
// files in their own right of one timestamp, each group followed by the
// timestamped sidecars of its files. Groups stand in the order of their
// first files.
std::vector<std::vector<std::size_t>> ShotGroups(const ShotCluster& cluster, std::span<const FileFacts> facts);

// A sidecar's record from its picture's: its own name, size, dates and
// extension, with everything its new name and its skipping are made of taken
// from the picture.
void FollowPicture(FileFacts& sidecar, const FileFacts& picture);

}  // namespace ravlen
