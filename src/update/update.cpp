#include "update/update.hpp"

#include <algorithm>
#include <utility>

#include "platform/text.hpp"

namespace tarrow {

namespace {

constexpr std::u16string_view kQuestionStart = u"There is a new version of Tarrow available, ";
constexpr std::u16string_view kQuestionEnd = u". Would you like to download it now?";

// Everything one worker needs, copied so that it never reads the program's
// records; only the speech output is reached, and only through the gate.
struct UpdateJob {
    UpdateServer server;
    std::u16string runningVersion;
    UpdateNetwork network;
    std::shared_ptr<WorkerGate> gate;
    bool quiet = false;
    int number = 0;  // this check's place among the run's checks
};

HttpRequest RequestFor(const UpdateJob& job, std::u16string_view path, const HttpLimits& limits) {
    return {job.server.baseUrl + std::u16string(path), limits, job.server.caFile};
}

// A running stop gives downloads this long to remove their own files.
constexpr std::chrono::milliseconds kDownloadStopLimit{3000};

// Each check downloads beside the archive into a file of its own, so that
// nothing but a whole archive ever bears the archive's name.
std::u16string PartFileName(int number) {
    return std::u16string(kArchiveFile) + u"." + Ascii(std::to_string(number)) + u".part";
}

// Downloads the archive and, when it is whole, hands it over: it takes the
// archive's name and the main thread is asked to start the updater and end.
// Any other outcome removes this check's file and nothing else.
HandOverResult DownloadAndHandOver(UpdateRoles roles, const UpdateJob& job,
                                   const HttpLimits& limits) {
    WorkerGate& gate = *job.gate;
    const std::u16string part = PartFileName(job.number);
    if (!gate.BeginDownload(part)) return HandOverResult::Refused;
    // However this ends, a stop waiting for it is told once the file is dealt with.
    struct Registration {
        WorkerGate& gate;
        const std::u16string& file;
        ~Registration() { gate.EndDownload(file); }
    } registration{gate, part};

    HttpRequest request = RequestFor(job, kArchivePath, limits);
    request.stop = [&gate] { return !gate.IsOpen(); };
    if (!job.network.fetchToFile(roles.files, request, part)) return HandOverResult::Failed;
    const HandOverResult result = gate.HandOver([&] {
        if (!roles.files.RenameFile(part, kArchiveFile)) return false;
        roles.events.PostExitRequest();
        return true;
    });
    if (result != HandOverResult::Done) roles.files.DeleteFile(part);
    return result;
}

void UpdateCheck(UpdateRoles roles, SpeechOutput& speech, const UpdateJob& job) {
    // This thread's limits, for both of its requests.
    const HttpLimits limits = kUpdateHttpLimits;
    WorkerGate& gate = *job.gate;

    const MemoryResponse version = job.network.fetchToMemory(RequestFor(job, kVersionPath, limits));
    if (version.status != u"200") return;
    if (version.body == job.runningVersion) {
        if (!job.quiet) gate.Run([&] { speech.Speak(u"No update available.", false); });
        return;
    }

    // A box holds this thread for as long as the user likes, so it cannot run
    // inside the gate; the platform keeps an open box safe through shutdown.
    if (!gate.IsOpen()) return;
    const std::u16string question =
        std::u16string(kQuestionStart) + version.body + std::u16string(kQuestionEnd);
    if (roles.dialogs.ShowMessage(u"Alert", question, kMbYesNo) != kIdYes) return;
    if (!gate.Run([&] { speech.Speak(u"Downloading update", false); })) return;
    if (DownloadAndHandOver(roles, job, limits) != HandOverResult::Failed) return;
    if (!gate.IsOpen()) return;
    roles.dialogs.ShowMessage(u"Download error", u"There was an error downloading Tarrow.zip.",
                              kMbOk);
}

}  // namespace

bool WorkerGate::Run(const std::function<void()>& action) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (closed_) return false;
        ++busy_;
    }
    struct Leave {
        WorkerGate& gate;
        ~Leave() {
            std::lock_guard<std::mutex> guard(gate.lock_);
            if (--gate.busy_ == 0) gate.idle_.notify_all();
        }
    } leave{*this};
    action();
    return true;
}

bool WorkerGate::IsOpen() const {
    std::lock_guard<std::mutex> guard(lock_);
    return !closed_;
}

void WorkerGate::Close() {
    std::unique_lock<std::mutex> guard(lock_);
    closed_ = true;
    idle_.wait(guard, [this] { return busy_ == 0; });
}

HandOverResult WorkerGate::HandOver(const std::function<bool()>& step) {
    HandOverResult result = HandOverResult::Refused;
    Run([&] {
        std::lock_guard<std::mutex> guard(handOverLock_);
        if (handedOver_) return;
        handedOver_ = step();
        result = handedOver_ ? HandOverResult::Done : HandOverResult::Failed;
    });
    return result;
}

bool WorkerGate::BeginDownload(const std::u16string& file) {
    std::lock_guard<std::mutex> guard(lock_);
    if (closed_) return false;
    downloads_.push_back(file);
    return true;
}

void WorkerGate::EndDownload(const std::u16string& file) {
    std::lock_guard<std::mutex> guard(lock_);
    const auto it = std::find(downloads_.begin(), downloads_.end(), file);
    if (it != downloads_.end()) downloads_.erase(it);
    idle_.notify_all();
}

std::vector<std::u16string> WorkerGate::AwaitDownloads(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> guard(lock_);
    idle_.wait_for(guard, limit, [this] { return downloads_.empty(); });
    return downloads_;
}

UpdateWorkers::UpdateWorkers(UpdateServer server, std::u16string runningVersion)
    : server(std::move(server)),
      runningVersion(std::move(runningVersion)),
      network(CurlNetwork()),
      gate(std::make_shared<WorkerGate>()) {}

// The records a worker may still reach are about to go.
UpdateWorkers::~UpdateWorkers() { gate->Close(); }

void StartUpdateCheck(UpdateRoles roles, SpeechOutput& speech, UpdateWorkers& workers, bool quiet) {
    if (!workers.gate->IsOpen()) return;
    if (!workers.networkPrepared) {
        // Before the first worker exists, so no thread uses the network unprepared.
        if (workers.network.prepare) workers.network.prepare();
        workers.networkPrepared = true;
    }
    auto job = std::make_shared<const UpdateJob>(
        UpdateJob{workers.server, workers.runningVersion, workers.network, workers.gate, quiet,
                  ++workers.checksStarted});
    roles.workers.StartWorker([roles, &speech, job]() noexcept {
        try {
            UpdateCheck(roles, speech, *job);
        } catch (...) {
            // Out of memory mid-check: the check ends silently, as a failed request does.
        }
    });
}

void StopUpdateWorkers(UpdateWorkers& workers) { workers.gate->Close(); }

void RemovePartialDownloads(Files& files, UpdateWorkers& workers) {
    // A download stuck past the limit: its file goes by name (the open file
    // goes with the process where the system allows no sooner).
    for (const std::u16string& file : workers.gate->AwaitDownloads(kDownloadStopLimit)) {
        files.DeleteFile(file);
    }
}

}  // namespace tarrow
