#pragma once
// Files held in memory by path; some are scripted read-only, unreadable, failing
// to be replaced or full.

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/fakes/fake_role.hpp"
#include "platform/platform_services.hpp"

namespace tarrow::testing {

// A file of the fake open for writing; it takes `room` bytes, then no more.
class FakeOutputFile final : public OutputFile {
public:
    FakeOutputFile(std::string& target, std::mutex& lock, size_t room)
        : target_(target), lock_(lock), room_(room) {}
    size_t Write(std::string_view bytes) override {
        std::lock_guard<std::mutex> guard(lock_);
        const size_t taken = std::min(bytes.size(), room_);
        target_.append(bytes.substr(0, taken));
        room_ -= taken;
        return taken;
    }
    std::u16string FailureReason() const override { return u"No space left on device"; }

private:
    std::string& target_;
    std::mutex& lock_;
    size_t room_;
};

template <class Base = FakeRole<Files>>
class FakeFiles : public Base {
public:
    using Base::Base;

    // --- scripted inputs ---
    std::map<std::u16string, std::string> files;
    std::set<std::u16string> readOnlyFiles;
    std::set<std::u16string> unreadableFiles;
    // ReplaceFile fails before its rename (disk full): the old file stays.
    std::set<std::u16string> failingReplaces;
    // Writes to these files stop after this many bytes each open (disk full).
    std::map<std::u16string, size_t> fullFiles;

    // --- recorded outputs ---
    std::vector<std::u16string> fileProblems;  // the lines for standard error
    std::vector<size_t> readLimits;  // the byte limit of each read of an existing file

    FileReadResult ReadFile(std::u16string_view path, size_t maxBytes) override {
        const std::u16string key(path);
        log_.calls.push_back("ReadFile " + Narrow(path));
        if (unreadableFiles.count(key)) return {FileReadStatus::Unreadable, {}};
        std::lock_guard<std::mutex> guard(log_.lock);
        const auto it = files.find(key);
        if (it == files.end()) return {FileReadStatus::Missing, {}};
        readLimits.push_back(maxBytes);
        if (it->second.size() > maxBytes)
            return {FileReadStatus::Ok, it->second.substr(0, maxBytes), true};
        return {FileReadStatus::Ok, it->second};
    }

    bool ReplaceFile(std::u16string_view path, std::string_view bytes) override {
        const std::u16string key(path);
        log_.calls.push_back("ReplaceFile " + Narrow(path));
        if (readOnlyFiles.count(key) || unreadableFiles.count(key) || failingReplaces.count(key))
            return false;
        std::lock_guard<std::mutex> guard(log_.lock);
        files[key] = std::string(bytes);
        return true;
    }

    std::unique_ptr<OutputFile> OpenOutputFile(std::u16string_view path,
                                               OutputMode mode) override {
        const std::u16string key(path);
        log_.calls.push_back("OpenOutputFile " + Narrow(path));
        if (readOnlyFiles.count(key) || unreadableFiles.count(key)) return nullptr;
        std::lock_guard<std::mutex> guard(log_.lock);
        std::string& target = files[key];
        if (mode == OutputMode::Exclusive) target.clear();
        const auto full = fullFiles.find(key);
        const size_t room = full == fullFiles.end() ? SIZE_MAX : full->second;
        return std::make_unique<FakeOutputFile>(target, log_.lock, room);
    }

    bool DeleteFile(std::u16string_view path) override {
        std::lock_guard<std::mutex> guard(log_.lock);
        return files.erase(std::u16string(path)) > 0;
    }

    bool RenameFile(std::u16string_view from, std::u16string_view to) override {
        std::lock_guard<std::mutex> guard(log_.lock);
        log_.calls.push_back("RenameFile " + Narrow(from) + " " + Narrow(to));
        const auto it = files.find(std::u16string(from));
        if (it == files.end() || readOnlyFiles.count(std::u16string(to))) return false;
        std::string bytes = std::move(it->second);
        files.erase(it);
        files[std::u16string(to)] = std::move(bytes);
        return true;
    }

    // The fake's "ANSI" code page is Latin-1.
    std::u16string AnsiToUtf16(std::string_view bytes) override {
        std::u16string out;
        for (const char c : bytes)
            out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
        return out;
    }

    void ReportFileProblem(std::u16string_view line) override {
        std::lock_guard<std::mutex> guard(log_.lock);
        fileProblems.emplace_back(line);
    }

protected:
    using Base::log_;
};

}  // namespace tarrow::testing
