// The swap of a release's files, with a plan on disk so that it can always be
// undone: written before the first move, it names every file that will be
// replaced, whether an old copy existed (kept under the same path in the backup
// folder) and every folder the swap creates. The old file stays in place until
// the new one replaces it in one step, so no name is ever missing. A failure, or the next start after
// the updater was killed half way, puts back exactly what moved.

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <set>

#include "updater/updater.hpp"

namespace fs = std::filesystem;

namespace tarrow::updater {

namespace {

constexpr const char* kPlanName = ".tarrow-plan";
constexpr const char* kPlanDraftName = ".tarrow-plan.new";
// A copy across file systems is made under this suffix, then renamed, so the
// real name only ever holds a whole file.
constexpr const char* kPartSuffix = ".tarrow-part";

struct PlannedFile {
    fs::path relative;
    bool hadOld = false;
};

struct Plan {
    fs::path staging, backup;     // relative to the folder
    std::vector<fs::path> folders;  // created by the swap, parents first
    std::vector<PlannedFile> files;
};

fs::path FromUtf8(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }

std::string ToUtf8(const fs::path& path) {
    const std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

bool Exists(const fs::path& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

// Tests stop the updater after this many steps of the swap, as a kill would.
class Steps {
public:
    Steps() {
        const char* stop = std::getenv("TARROW_UPDATER_STOP_AT_STEP");
        stopAt_ = stop != nullptr ? std::atoi(stop) : 0;
    }
    void Done() {
        if (++done_ != stopAt_) return;
#ifdef SIGKILL
        std::raise(SIGKILL);
#endif
        std::_Exit(137);
    }

private:
    int stopAt_ = 0, done_ = 0;
};

// `from` put in place of `to` (replacing it in one step), by a rename, or where
// that cannot cross file systems by a whole copy renamed in and then the removal of `from`.
bool Move(const fs::path& from, const fs::path& to) {
    std::error_code error;
    fs::rename(from, to, error);
    if (!error) return true;
    if (error != std::errc::cross_device_link) return false;
    fs::path part = to;
    part += kPartSuffix;
    fs::remove(part, error);
    if (!fs::copy_file(from, part, error)) {
        fs::remove(part, error);
        return false;
    }
    fs::rename(part, to, error);
    if (error) {
        fs::remove(part, error);
        return false;
    }
    return fs::remove(from, error) && !error;
}

// A copy of the old file at `kept` while the old one stays in place: a hard
// link, or a whole copy where a link cannot (or on Windows should not) be made.
bool Keep(const fs::path& target, const fs::path& kept) {
    std::error_code error;
    fs::create_directories(kept.parent_path(), error);
    if (error || Exists(kept)) return false;
    if (fs::is_symlink(fs::symlink_status(target, error))) {
        fs::copy_symlink(target, kept, error);
        return !error;
    }
#ifndef _WIN32
    // On Windows a link to a running program could not be removed afterwards.
    fs::create_hard_link(target, kept, error);
    if (!error) return true;
#endif
    fs::path part = kept;
    part += kPartSuffix;
    fs::remove(part, error);
    if (!fs::copy_file(target, part, error) || error) return false;
    fs::rename(part, kept, error);
    return !error;
}

bool WritePlan(const fs::path& folder, const Plan& plan) {
    const fs::path draft = folder / kPlanDraftName;
    {
        std::ofstream out(draft, std::ios::binary | std::ios::trunc);
        out << "tarrow-plan\nstaging " << ToUtf8(plan.staging) << "\nbackup " << ToUtf8(plan.backup) << '\n';
        for (const fs::path& created : plan.folders) out << "folder " << ToUtf8(created) << '\n';
        for (const PlannedFile& file : plan.files)
            out << "file " << (file.hadOld ? 1 : 0) << ' ' << ToUtf8(file.relative) << '\n';
        out << "end\n";
        out.close();
        if (out.fail()) return false;
    }
    // The plan appears whole or not at all.
    std::error_code error;
    fs::rename(draft, folder / kPlanName, error);
    return !error;
}

std::optional<Plan> ReadPlan(const fs::path& folder) {
    std::ifstream in(folder / kPlanName, std::ios::binary);
    if (!in) return std::nullopt;
    Plan plan;
    std::string line;
    bool ended = false;
    while (std::getline(in, line)) {
        if (line == "end") ended = true;
        else if (line.starts_with("staging ")) plan.staging = FromUtf8(line.substr(8));
        else if (line.starts_with("backup ")) plan.backup = FromUtf8(line.substr(7));
        else if (line.starts_with("folder ")) plan.folders.push_back(FromUtf8(line.substr(7)));
        else if (line.starts_with("file ") && line.size() > 7)
            plan.files.push_back({FromUtf8(line.substr(7)), line[5] == '1'});
    }
    if (!ended || plan.staging.empty() || plan.backup.empty()) return std::nullopt;
    return plan;
}

// Puts back every file the plan names, removes the folders it created, then
// the plan itself. Each step may be repeated after a kill with the same end.
// A file that cannot be put back (on Windows, a program still running) leaves
// the plan and the kept copies for the next start; then false.
bool Undo(const fs::path& folder, const Plan& plan) {
    std::error_code error;
    bool whole = true;
    for (auto file = plan.files.rbegin(); file != plan.files.rend(); ++file) {
        const fs::path target = folder / file->relative;
        const fs::path kept = folder / plan.backup / file->relative;
        fs::path part = target;
        part += kPartSuffix;
        fs::remove(part, error);
        // A running file the swap moved aside goes back under its own name (it
        // can be renamed while it runs, not removed), so nothing is left behind.
        fs::path movedAside = kept;
        movedAside += ".running";
        if (Exists(movedAside) && Move(movedAside, target)) {
            fs::remove(kept, error);
            continue;
        }
        if (Exists(kept)) {
            if (Move(kept, target)) continue;
            // A running file cannot be replaced but can be moved aside.
            fs::path running = kept;
            running += ".undone";
            fs::remove(running, error);
            fs::rename(target, running, error);
            if (error || !Move(kept, target)) whole = false;
        } else if (!file->hadOld) {
            fs::remove(target, error);
            if (Exists(target)) whole = false;
        }
    }
    if (!whole) return false;
    for (auto created = plan.folders.rbegin(); created != plan.folders.rend(); ++created)
        fs::remove(folder / *created, error);  // only while empty
    fs::remove(folder / kPlanName, error);
    fs::remove_all(folder / plan.staging, error);
    fs::remove_all(folder / plan.backup, error);
    return true;
}

// The new file in place of the old. A running program file cannot be
// replaced on Windows, but it can be moved aside: then it is, under a name of
// its own beside the kept copy.
bool Place(const fs::path& from, const fs::path& target, const fs::path& kept, bool hadOld) {
    std::error_code error;
    fs::create_directories(target.parent_path(), error);
    if (!hadOld && Exists(target)) return false;
    if (Move(from, target)) return true;
    if (!hadOld) return false;
    fs::path running = kept;
    running += ".running";
    fs::rename(target, running, error);
    return !error && Move(from, target);
}

}  // namespace

bool SwapIn(const fs::path& folder, const fs::path& staging, const fs::path& backup,
            const std::vector<fs::path>& files, fs::path& failedFile) {
    Plan plan{staging.filename(), backup.filename(), {}, {}};
    std::set<fs::path> planned;
    std::error_code error;
    for (const fs::path& file : files) {
        const fs::path target = folder / file;
        // A folder of the user's where the release has a file stays as it is.
        if (fs::is_directory(fs::symlink_status(target, error))) {
            failedFile = file;
            return false;
        }
        plan.files.push_back({file, Exists(target)});
        fs::path prefix;
        for (const fs::path& part : file.parent_path()) {
            prefix /= part;
            if (!Exists(folder / prefix) && planned.insert(prefix).second) plan.folders.push_back(prefix);
        }
    }
    fs::remove(folder / kPlanDraftName, error);
    Steps steps;
    if (!WritePlan(folder, plan)) {
        fs::remove(folder / kPlanDraftName, error);
        failedFile = files.empty() ? fs::path() : files.front();
        return false;
    }
    steps.Done();
    for (const PlannedFile& file : plan.files) {
        const fs::path target = folder / file.relative;
        const fs::path kept = backup / file.relative;
        // Each old file is kept once; nothing is ever moved onto a kept copy.
        bool placed = !file.hadOld || Keep(target, kept);
        if (placed && file.hadOld) steps.Done();
        placed = placed && Place(staging / file.relative, target, kept, file.hadOld);
        if (!placed) {
            Undo(folder, plan);
            failedFile = file.relative;
            return false;
        }
        steps.Done();
    }
    fs::remove(folder / kPlanName, error);
    steps.Done();
    return true;
}

bool HasUnfinishedSwap(const fs::path& folder) { return Exists(folder / kPlanName); }

bool UndoUnfinishedSwap(const fs::path& folder) {
    std::error_code error;
    fs::remove(folder / kPlanDraftName, error);
    if (const auto plan = ReadPlan(folder)) return Undo(folder, *plan);
    if (Exists(folder / kPlanName)) {
        // Not a plan this updater wrote: leave the files alone, drop the note.
        fs::remove(folder / kPlanName, error);
    }
    return true;
}

}  // namespace tarrow::updater
