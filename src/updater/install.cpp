// Reading the archive with minizip, refusing unsafe entries, extracting into a
// folder beside the program and swapping the files in, with every step undone
// when a later one fails.

#include <unzip.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "updater/updater.hpp"

namespace fs = std::filesystem;

namespace tarrow::updater {

namespace {

// Files the user owns (canonical paths): an archive never writes them.
constexpr std::u16string_view kUserFiles[] = {u"prefs.ini", u"processes.txt", u"processes.log",
                                              u"tarrow.zip"};
// Far beyond any release; an archive claiming more is refused before it fills the disk.
constexpr uint64_t kMaxTotalBytes = uint64_t{1} << 30;
// Room for the rest of a failure text around a name.
constexpr size_t kMaxNameChars = 100;
constexpr unsigned kUnixHost = 3;
constexpr uint32_t kUnixTypeMask = 0170000, kUnixLink = 0120000, kUnixFile = 0100000,
                   kUnixFolder = 0040000;
constexpr uint32_t kWindowsReparsePoint = 0x400;

struct ZipCloser {
    void operator()(void* zip) const { unzClose(zip); }
};
using Zip = std::unique_ptr<void, ZipCloser>;

struct Entry {
    std::string name;         // as stored, every byte of it
    EntryPath path;           // checked
    fs::path relative;        // the parts as a path, relative to the program's folder
    bool userFile = false;    // one of kUserFiles: never written
    bool executable = false;  // Unix mode with an execute bit
    uint64_t size = 0;
};

std::string Shown(const std::string& name) { return EscapeName(name, kMaxNameChars); }

// The raw name, by the length the archive gives: a NUL inside stays visible.
bool ReadEntryName(void* zip, unz_file_info64& info, std::string& name) {
    if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) return false;
    name.assign(info.size_filename, '\0');
    if (name.empty()) return false;
    return unzGetCurrentFileInfo64(zip, &info, name.data(), static_cast<uLong>(name.size()), nullptr, 0,
                                   nullptr, 0) == UNZ_OK;
}

bool IsUserFile(const std::u16string& topKey) {
    return std::find(std::begin(kUserFiles), std::end(kUserFiles), topKey) != std::end(kUserFiles);
}

std::string CheckEntry(const unz_file_info64& info, Entry& entry) {
    const uint32_t mode = static_cast<uint32_t>(info.external_fa >> 16) & kUnixTypeMask;
    const bool unixHost = (info.version >> 8) == kUnixHost;
    auto path = CanonicalPath(entry.name, unixHost && mode == kUnixFolder);
    if (!path) return "Tarrow.zip holds an unsafe entry, " + Shown(entry.name) + ".";
    const std::u16string top = path->key.substr(0, path->key.find(u'/'));
    if (IsUserFile(top) && path->parts.size() > 1)
        return "Tarrow.zip holds an unsafe entry, " + Shown(entry.name) + ".";
    if ((info.external_fa & kWindowsReparsePoint) != 0 || (unixHost && mode == kUnixLink))
        return "Tarrow.zip holds a link, " + Shown(entry.name) + ".";
    if (unixHost && mode != 0 && mode != kUnixFile && mode != kUnixFolder)
        return "Tarrow.zip holds a special file, " + Shown(entry.name) + ".";
    entry.userFile = IsUserFile(top);
    for (const std::string& part : path->parts) entry.relative /= fs::path(std::u8string(part.begin(), part.end()));
    entry.path = std::move(*path);
    entry.executable = unixHost && ((info.external_fa >> 16) & 0111) != 0;
    entry.size = info.uncompressed_size;
    return {};
}

// One entry for one canonical path, and no file where another entry needs a folder.
std::string CheckClashes(const std::vector<Entry>& entries) {
    std::set<std::u16string> seen, files;
    for (const Entry& entry : entries) {
        if (!seen.insert(entry.path.key).second)
            return "Tarrow.zip holds two entries for one file, " + Shown(entry.name) + ".";
        if (!entry.path.folder) files.insert(entry.path.key);
    }
    for (const Entry& entry : entries) {
        for (size_t slash = entry.path.key.find(u'/'); slash != std::u16string::npos;
             slash = entry.path.key.find(u'/', slash + 1)) {
            if (files.count(entry.path.key.substr(0, slash)) != 0)
                return "Tarrow.zip holds a file where " + Shown(entry.name) + " needs a folder.";
        }
    }
    return {};
}

// Every entry of the archive, checked; fails on the first unsafe one.
std::string ListEntries(void* zip, std::vector<Entry>& entries) {
    uint64_t total = 0;
    for (int status = unzGoToFirstFile(zip); status != UNZ_END_OF_LIST_OF_FILE;
         status = unzGoToNextFile(zip)) {
        if (status != UNZ_OK) return "Tarrow.zip is damaged.";
        unz_file_info64 info{};
        Entry entry;
        if (!ReadEntryName(zip, info, entry.name)) return "Tarrow.zip is damaged.";
        if (std::string failure = CheckEntry(info, entry); !failure.empty()) return failure;
        total += entry.size;
        if (total > kMaxTotalBytes) return "Tarrow.zip is too large.";
        entries.push_back(std::move(entry));
    }
    return CheckClashes(entries);
}

enum class Extracted { kWhole, kDamaged, kNoSpace, kUnwritable };

bool OutOfSpace(const fs::path& target, int error) {
#ifdef EDQUOT
    if (error == EDQUOT) return true;
#endif
    if (error == ENOSPC) return true;
    std::error_code unknown;
    const fs::space_info space = fs::space(target.parent_path(), unknown);
    return !unknown && space.available < 64 * 1024;
}

// Writes the current entry to `target`, checking its checksum.
Extracted ExtractCurrent(void* zip, const fs::path& target) {
    if (unzOpenCurrentFile(zip) != UNZ_OK) return Extracted::kDamaged;
    errno = 0;
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    std::vector<char> buffer(64 * 1024);
    int n = 0;
    bool written = static_cast<bool>(out);
    while (written && (n = unzReadCurrentFile(zip, buffer.data(), static_cast<unsigned>(buffer.size()))) > 0)
        written = static_cast<bool>(out.write(buffer.data(), n));
    const bool intact = unzCloseCurrentFile(zip) == UNZ_OK;  // UNZ_CRCERROR on a damaged entry
    out.close();
    written = written && !out.fail();
    const int error = errno;
    if (!written) return OutOfSpace(target, error) ? Extracted::kNoSpace : Extracted::kUnwritable;
    return n == 0 && intact ? Extracted::kWhole : Extracted::kDamaged;
}

// A new empty folder `base`, or `base-N` when an old one cannot be removed (on
// Windows a running updater.exe left in it stays locked).
std::optional<fs::path> FreshFolder(const fs::path& base) {
    for (int i = 0; i < 100; ++i) {
        fs::path folder = base;
        if (i > 0) folder += std::to_string(-i);
        std::error_code error;
        fs::remove_all(folder, error);
        if (fs::create_directory(folder, error)) return folder;
    }
    return std::nullopt;
}

std::string InstallEntries(void* zip, const std::vector<Entry>& entries, const fs::path& folder,
                           const std::string& programName) {
    const auto staging = FreshFolder(folder / ".tarrow-update");
    const auto backup = FreshFolder(folder / ".tarrow-old");
    if (!staging || !backup) return "no temporary folder could be made beside Tarrow.";
    struct Cleanup {
        fs::path folder, staging, backup;
        ~Cleanup() {
            // An undo that could not finish still needs the kept copies.
            if (HasUnfinishedSwap(folder)) return;
            std::error_code ignored;
            fs::remove_all(staging, ignored);
            fs::remove_all(backup, ignored);
        }
    } cleanup{folder, *staging, *backup};

    std::vector<fs::path> files;
    std::vector<std::string> names;
    size_t index = 0;
    for (int status = unzGoToFirstFile(zip); status == UNZ_OK; status = unzGoToNextFile(zip), ++index) {
        const Entry& entry = entries.at(index);
        if (entry.userFile) continue;
        const fs::path target = *staging / entry.relative;
        std::error_code error;
        fs::create_directories(entry.path.folder ? target : target.parent_path(), error);
        if (error) return Shown(entry.name) + " could not be written.";
        if (entry.path.folder) continue;
        switch (ExtractCurrent(zip, target)) {
            case Extracted::kWhole: break;
            case Extracted::kDamaged: return "Tarrow.zip is damaged at " + Shown(entry.name) + ".";
            case Extracted::kNoSpace: return "not enough space on the disk for " + Shown(entry.name) + ".";
            case Extracted::kUnwritable: return Shown(entry.name) + " could not be written.";
        }
        const bool program = entry.path.parts.size() == 1 &&
                             (entry.path.parts[0] == programName || entry.path.parts[0] == "updater");
        fs::permissions(target, entry.executable || program ? fs::perms(0755) : fs::perms(0644), error);
        files.push_back(entry.relative);
        names.push_back(entry.name);
    }
    if (index != entries.size()) return "Tarrow.zip is damaged.";

    std::vector<size_t> order(files.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return files[a] < files[b]; });
    std::vector<fs::path> sorted;
    for (size_t i : order) sorted.push_back(files[i]);
    fs::path failed;
    if (!SwapIn(folder, *staging, *backup, sorted, failed)) {
        const auto at = std::find(files.begin(), files.end(), failed);
        const std::string name = at == files.end() ? std::string() : names[static_cast<size_t>(at - files.begin())];
        return Shown(name) + " could not be replaced.";
    }
    return {};
}

}  // namespace

std::string InstallArchive(const fs::path& archive, const fs::path& folder,
                           const std::string& programName) {
    try {
        Zip zip(unzOpen64(archive.string().c_str()));
        if (!zip) return "Tarrow.zip could not be opened.";
        std::vector<Entry> entries;
        if (std::string failure = ListEntries(zip.get(), entries); !failure.empty()) return failure;
        const bool hasProgram = std::any_of(entries.begin(), entries.end(), [&](const Entry& e) {
            return !e.path.folder && e.path.parts.size() == 1 && e.path.parts[0] == programName;
        });
        if (!hasProgram) return "Tarrow.zip does not hold " + programName + ".";
        return InstallEntries(zip.get(), entries, folder, programName);
    } catch (const std::exception&) {
        return "Tarrow.zip could not be unpacked.";
    }
}

}  // namespace tarrow::updater
