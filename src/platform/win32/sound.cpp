// The Windows side of the cue engine: cue files read with Win32 calls; the
// engine plays on the default device of the first Windows audio system that
// opens (WASAPI, DirectSound or WinMM).

#include <cstdint>
#include <vector>

#include "platform/audio/audio_session.hpp"
#include "platform/win32/handles.hpp"
#include "platform/win32/wide.hpp"
#include "platform/win32/win32_platform.hpp"

namespace tarrow {

namespace win32 {

namespace {

// Cues are short; this only keeps a stray huge file from eating the memory.
constexpr LONGLONG kMaxCueFileBytes = 64 << 20;

// The whole of a file on disk (not a pipe or a device), or false.
bool ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& out) {
    const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || GetFileType(file.get()) != FILE_TYPE_DISK) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxCueFileBytes) return false;
    out.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < out.size()) {
        DWORD got = 0;
        if (!ReadFile(file.get(), out.data() + done, static_cast<DWORD>(out.size() - done), &got,
                      nullptr) ||
            got == 0) {
            break;
        }
        done += got;
    }
    out.resize(done);  // a file that shrank while read is taken as it was read
    return true;
}

}  // namespace

}  // namespace win32

// No context of our own: miniaudio's default order of the enabled systems.
bool Win32Platform::StartAudio() { return StartCueEngine(*audio_, nullptr); }

CueId Win32Platform::LoadCue(std::u16string_view path) {
    return LoadCueWith(*audio_, [path](std::vector<uint8_t>& bytes) {
        return win32::ReadWholeFile(win32::ToWide(path), bytes);
    });
}

void Win32Platform::PlayCue(CueId id) { PlayLoadedCue(*audio_, id); }

}  // namespace tarrow
