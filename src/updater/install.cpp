// Reading the archive with minizip, refusing unsafe entries, extracting into a
// folder beside the program and swapping the files in, with every step undone
// when a later one fails.

#include <unzip.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <memory>
#include <optional>
#include <vector>

#include "updater/updater.hpp"

namespace fs = std::filesystem;

namespace tarrow::updater {

namespace {

// Files the user owns: an archive never overwrites them.
constexpr const char* kUserFiles[] = {"prefs.ini", "processes.txt", "PROCESSES.LOG", kArchiveName};
// Far beyond any release; an archive claiming more is refused before it fills the disk.
constexpr uint64_t kMaxTotalBytes = uint64_t{1} << 30;
constexpr unsigned kUnixHost = 3;
constexpr uint32_t kUnixTypeMask = 0170000, kUnixLink = 0120000, kUnixFile = 0100000,
                   kUnixFolder = 0040000;
constexpr uint32_t kWindowsReparsePoint = 0x400;

struct ZipCloser {
    void operator()(void* zip) const { unzClose(zip); }
};
using Zip = std::unique_ptr<void, ZipCloser>;

struct Entry {
    std::string name;         // as stored
    fs::path relative;        // checked, relative to the program's folder
    bool folder = false;
    bool executable = false;  // Unix mode with an execute bit
    uint64_t size = 0;
};

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The entry's path split at either slash; nothing when it is absolute, names a
// drive or stream (any colon), or climbs with "..".
std::optional<fs::path> SafeRelativePath(const std::string& name) {
    if (name.empty() || name.front() == '/' || name.front() == '\\') return std::nullopt;
    if (name.find(':') != std::string::npos) return std::nullopt;
    fs::path path;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("/\\", start);
        if (end == std::string::npos) end = name.size();
        const std::string part = name.substr(start, end - start);
        if (part == "..") return std::nullopt;
        if (!part.empty() && part != ".") path /= fs::path(std::u8string(part.begin(), part.end()));
        start = end + 1;
    }
    if (path.empty()) return std::nullopt;
    return path;
}

std::string ReadEntryName(void* zip, unz_file_info64& info) {
    if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) return {};
    std::string name(info.size_filename, '\0');
    if (unzGetCurrentFileInfo64(zip, &info, name.data(), static_cast<uLong>(name.size()), nullptr, 0,
                                nullptr, 0) != UNZ_OK)
        return {};
    return name;
}

// Every entry of the archive, checked; fails on the first unsafe one.
std::string ListEntries(void* zip, std::vector<Entry>& entries) {
    uint64_t total = 0;
    for (int status = unzGoToFirstFile(zip); status != UNZ_END_OF_LIST_OF_FILE;
         status = unzGoToNextFile(zip)) {
        if (status != UNZ_OK) return "Tarrow.zip is damaged.";
        unz_file_info64 info{};
        Entry entry;
        entry.name = ReadEntryName(zip, info);
        if (entry.name.empty()) return "Tarrow.zip is damaged.";
        const auto relative = SafeRelativePath(entry.name);
        if (!relative) return "Tarrow.zip holds an unsafe entry, " + entry.name + ".";
        entry.relative = *relative;
        const uint32_t mode = static_cast<uint32_t>(info.external_fa >> 16) & kUnixTypeMask;
        const bool unixHost = (info.version >> 8) == kUnixHost;
        if ((info.external_fa & kWindowsReparsePoint) != 0 || (unixHost && mode == kUnixLink))
            return "Tarrow.zip holds a link, " + entry.name + ".";
        if (unixHost && mode != 0 && mode != kUnixFile && mode != kUnixFolder)
            return "Tarrow.zip holds a special file, " + entry.name + ".";
        entry.folder = entry.name.back() == '/' || entry.name.back() == '\\' ||
                       (unixHost && mode == kUnixFolder);
        entry.executable = unixHost && ((info.external_fa >> 16) & 0111) != 0;
        entry.size = info.uncompressed_size;
        total += entry.size;
        if (total > kMaxTotalBytes) return "Tarrow.zip is too large.";
        entries.push_back(std::move(entry));
    }
    return {};
}

bool IsUserFile(const fs::path& relative) {
    if (relative.has_parent_path()) return false;
    const std::string name = relative.string();
    return std::any_of(std::begin(kUserFiles), std::end(kUserFiles),
                       [&](const char* user) { return SameNameIgnoringCase(name, user); });
}

// Writes the current entry to `target`; false on a read error or a wrong checksum.
bool ExtractCurrent(void* zip, const fs::path& target) {
    if (unzOpenCurrentFile(zip) != UNZ_OK) return false;
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    std::vector<char> buffer(64 * 1024);
    int n = 0;
    bool ok = static_cast<bool>(out);
    while (ok && (n = unzReadCurrentFile(zip, buffer.data(), static_cast<unsigned>(buffer.size()))) > 0)
        ok = static_cast<bool>(out.write(buffer.data(), n));
    const bool intact = unzCloseCurrentFile(zip) == UNZ_OK;  // UNZ_CRCERROR on a damaged entry
    out.close();
    return ok && n == 0 && intact && !out.fail();
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

// Moves each staged file over its old copy (kept aside in `backup`); on a
// failure every move so far is undone in reverse.
class Swap {
public:
    Swap(fs::path folder, fs::path staging, fs::path backup)
        : folder_(std::move(folder)), staging_(std::move(staging)), backup_(std::move(backup)) {}

    bool Place(const fs::path& relative) {
        const fs::path target = folder_ / relative;
        std::error_code error;
        if (fs::exists(fs::symlink_status(target, error))) {
            const fs::path aside = backup_ / relative;
            fs::create_directories(aside.parent_path(), error);
            fs::rename(target, aside, error);
            if (error) return false;
            steps_.push_back({aside, target});
        }
        fs::create_directories(target.parent_path(), error);
        fs::rename(staging_ / relative, target, error);
        if (error) return false;
        steps_.push_back({target, staging_ / relative});
        return true;
    }

    void Undo() {
        for (auto step = steps_.rbegin(); step != steps_.rend(); ++step) {
            std::error_code error;
            fs::rename(step->from, step->to, error);
        }
        steps_.clear();
    }

private:
    struct Step {
        fs::path from, to;  // undoing moves `from` back to `to`
    };
    fs::path folder_, staging_, backup_;
    std::vector<Step> steps_;
};

std::string InstallEntries(void* zip, const std::vector<Entry>& entries, const fs::path& folder,
                           const std::string& programName) {
    const auto staging = FreshFolder(folder / ".tarrow-update");
    const auto backup = FreshFolder(folder / ".tarrow-old");
    if (!staging || !backup) return "no temporary folder could be made beside Tarrow.";
    struct Cleanup {
        fs::path staging, backup;
        ~Cleanup() {
            std::error_code ignored;
            fs::remove_all(staging, ignored);
            fs::remove_all(backup, ignored);
        }
    } cleanup{*staging, *backup};

    std::vector<fs::path> files;
    size_t index = 0;
    for (int status = unzGoToFirstFile(zip); status == UNZ_OK; status = unzGoToNextFile(zip), ++index) {
        const Entry& entry = entries.at(index);
        if (IsUserFile(entry.relative)) continue;
        const fs::path target = *staging / entry.relative;
        std::error_code error;
        fs::create_directories(entry.folder ? target : target.parent_path(), error);
        if (error) return entry.name + " could not be written.";
        if (entry.folder) continue;
        if (!ExtractCurrent(zip, target)) return "Tarrow.zip is damaged at " + entry.name + ".";
        const bool program = !entry.relative.has_parent_path() &&
                             (entry.relative == programName || entry.relative == "updater");
        fs::permissions(target,
                        entry.executable || program ? fs::perms(0755) : fs::perms(0644), error);
        files.push_back(entry.relative);
    }
    if (index != entries.size()) return "Tarrow.zip is damaged.";

    std::sort(files.begin(), files.end());
    Swap swap(folder, *staging, *backup);
    for (const fs::path& file : files) {
        if (!swap.Place(file)) {
            swap.Undo();
            return file.generic_string() + " could not be replaced.";
        }
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
            return !e.folder && e.relative == programName;
        });
        if (!hasProgram) return "Tarrow.zip does not hold " + programName + ".";
        return InstallEntries(zip.get(), entries, folder, programName);
    } catch (const std::exception&) {
        return "Tarrow.zip could not be unpacked.";
    }
}

}  // namespace tarrow::updater
