#include "platform/mount_drives.h"

#include <sys/statvfs.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <system_error>

namespace ravlen {

namespace fs = std::filesystem;

namespace {

struct MountEntry {
    std::string device;  // "major:minor"
    std::string mountPoint;
    std::string source;
};

bool IsOctal(char c) { return c >= '0' && c <= '7'; }

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// One line of mountinfo: "36 35 98:0 /mnt1 /mnt/parent rw,noatime master:1 - ext3 /dev/root rw".
// The optional fields before "-" vary in number.
bool ParseMountLine(const std::string& line, MountEntry& entry) {
    std::istringstream in(line);
    std::vector<std::string> fields;
    for (std::string field; in >> field;) fields.push_back(field);
    if (fields.size() < 9) return false;
    std::size_t separator = 6;
    while (separator < fields.size() && fields[separator] != "-") ++separator;
    if (separator + 2 >= fields.size()) return false;
    entry.device = fields[2];
    entry.mountPoint = UnescapeMountField(fields[4]);
    entry.source = UnescapeMountField(fields[separator + 2]);
    return entry.device.find(':') != std::string::npos && !entry.mountPoint.empty() &&
           entry.mountPoint.front() == '/';
}

std::string FirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) return {};
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) line.pop_back();
    return line;
}

// The block device's folder under sys/devices, or "" when the mount has none
// (proc, tmpfs, network shares...).
fs::path DeviceFolder(const std::string& sys, const MountEntry& entry) {
    std::error_code ec;
    if (entry.device.rfind("0:", 0) != 0) {
        fs::path folder = fs::canonical(fs::path(sys) / "dev/block" / entry.device, ec);
        if (!ec && fs::is_directory(folder, ec)) return folder;
    }
    // File systems with anonymous device numbers (btrfs, FUSE-mounted exFAT or
    // NTFS) still name their device as the mount source.
    if (entry.source.rfind("/dev/", 0) == 0) {
        fs::path device = fs::canonical(entry.source, ec);
        if (ec) device = entry.source;
        fs::path folder = fs::canonical(fs::path(sys) / "class/block" / device.filename(), ec);
        if (!ec && fs::is_directory(folder, ec)) return folder;
    }
    return {};
}

bool IsRemovableDisk(const std::string& sys, const fs::path& disk) {
    if (FirstLine(disk / "removable") == "1") return true;
    const std::string name = disk.filename().string();
    // Optical drives.
    if (name.rfind("sr", 0) == 0) return true;
    // SD cards in a built-in reader: the kernel never marks MMC disks
    // removable, but an SD card (unlike soldered eMMC) is.
    if (name.rfind("mmcblk", 0) == 0 && FirstLine(disk / "device/type") == "SD") return true;
    // Anything attached over USB (card readers, cameras, sticks).
    std::error_code ec;
    const fs::path root = fs::canonical(sys, ec);
    std::string where = disk.string();
    if (!ec && where.rfind(root.string(), 0) == 0) where.erase(0, root.string().size());
    return where.find("/usb") != std::string::npos;
}

std::string LabelOf(const std::string& byLabel, const std::string& deviceName) {
    std::error_code ec;
    for (fs::directory_iterator it(byLabel, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code linkError;
        const fs::path target = fs::read_symlink(it->path(), linkError);
        if (!linkError && target.filename() == deviceName) return UnescapeLabelName(it->path().filename().string());
    }
    return {};
}

}  // namespace

std::string UnescapeMountField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && IsOctal(field[i + 1]) && IsOctal(field[i + 2]) &&
            IsOctal(field[i + 3])) {
            out += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::string UnescapeLabelName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' && HexValue(name[i + 2]) >= 0 &&
            HexValue(name[i + 3]) >= 0) {
            out += static_cast<char>(HexValue(name[i + 2]) * 16 + HexValue(name[i + 3]));
            i += 3;
        } else {
            out += name[i];
        }
    }
    return out;
}

std::vector<DriveInfo> MountDriveList::Drives() {
    std::vector<DriveInfo> drives;
    std::ifstream table(roots_.mountInfo);
    std::set<std::string> seen;
    for (std::string line; std::getline(table, line);) {
        MountEntry entry;
        if (!ParseMountLine(line, entry)) continue;
        const fs::path device = DeviceFolder(roots_.sys, entry);
        if (device.empty()) continue;
        // A bind mount shows the same device again; the first mount stands for it.
        if (!seen.insert(device.string()).second) continue;

        std::error_code ec;
        const fs::path disk = fs::exists(device / "partition", ec) ? device.parent_path() : device;
        DriveInfo drive;
        drive.MountPoint = entry.mountPoint;
        drive.Removable = IsRemovableDisk(roots_.sys, disk);
        drive.VolumeLabel = LabelOf(roots_.byLabel, device.filename().string());
        struct statvfs info {};
        drive.Ready = statvfs(entry.mountPoint.c_str(), &info) == 0;
        drives.push_back(std::move(drive));
    }
    return drives;
}

}  // namespace ravlen
