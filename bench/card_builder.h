#pragma once
// A camera card made on disk for the benchmark: DCF folders under DCIM full
// of full-size JPEGs with EXIF dates, with some AVI movies, WAV sound memos
// and CRW raw files among them, each carrying a known recording date.

#include <cstdint>
#include <string>
#include <vector>

#include "model/date_time.h"

namespace ravlen::bench {

enum class CardKind { Jpeg, JpegMotorola, Avi, Wav, Crw };

const char* KindName(CardKind kind);

// One file of the card as the builder wrote it.
struct CardFile {
    std::string relPath;  // from the card's root, such as "DCIM/100CANON/IMG_0001.JPG"
    CardKind kind = CardKind::Jpeg;
    DateTime date;        // the recording date written into the file
    std::uint64_t size = 0;
};

struct CardSpec {
    std::size_t files = 10000;
    std::size_t perFolder = 500;  // files per DCF folder (100CANON, 101CANON, ...)
};

struct Card {
    std::string root;  // the card's root folder
    std::vector<CardFile> files;
    // Catalog files beside the DCF folders that the default exclude list
    // ("*.ctg") keeps out of every pass; their paths from the root.
    std::vector<std::string> catalogs;
    std::uint64_t bytes = 0;
};

// The kind, name and date of file i of a card: the layout alone, without
// writing anything.
CardFile PlanFile(std::size_t index, const CardSpec& spec);

// The bytes of one file of the given kind, carrying `date`; `variant` varies
// the image data so that files differ in size and content.
std::string JpegFile(const DateTime& date, bool motorola, std::uint64_t variant);
std::string AviFile(const DateTime& date, std::uint64_t variant);
std::string WavFile(const DateTime& date, std::uint64_t variant);
std::string CrwFile(const DateTime& date, std::uint64_t variant);
std::string FileBytes(const CardFile& file, std::uint64_t variant);

// Writes the card under root (which must exist and be empty). Throws
// std::runtime_error when the disk refuses.
Card BuildCard(const std::string& root, const CardSpec& spec);

}  // namespace ravlen::bench
