// Fuzz target for the prefs.ini reader and writer: any bytes parse without a
// crash or a hang, every value survives the integer conversion, what the
// writer writes reads back as the same groups, comments and keys, and a file
// kept in its own encoding (UTF-16, UTF-8 without mark) is saved in place.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/text.hpp"
#include "settings/ini.hpp"

namespace {

void Check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "ini fuzz: %s\n", what);
    std::abort();
}

// As the program reads the file: by byte-order mark, then valid UTF-8, else
// the ANSI code page (Latin-1 here, like the fake platform's).
tarrow::IniText Decode(std::string_view bytes) {
    tarrow::IniText decoded = tarrow::DecodeIniBytes(bytes);
    if (decoded.encoding != tarrow::IniEncoding::Ansi) return decoded;
    for (const char c : bytes)
        decoded.text.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return decoded;
}

// What a save does to a file kept in its own encoding: one key renamed and
// given a new value, a key added to its group, and a new group at the end.
void CheckSavedInPlace(std::string_view bytes, const tarrow::IniText& read,
                       const tarrow::IniDocument& document) {
    using tarrow::IniEncoding;
    const bool utf16 = read.encoding == IniEncoding::Utf16Le || read.encoding == IniEncoding::Utf16Be;
    if (!utf16 && read.encoding != IniEncoding::Utf8) return;
    // A last odd byte of UTF-16 is no character; everything else comes back.
    const size_t whole = utf16 ? bytes.size() & ~size_t{1} : bytes.size();
    Check(tarrow::EncodeIniText(read.text, read.encoding) == bytes.substr(0, whole), "decoding lost bytes");
    Check(tarrow::WriteIniOver(read.text, document) == read.text, "unchanged save moved bytes");

    tarrow::IniDocument edited = document;
    for (tarrow::IniGroup& group : edited.groups) {
        if (!group.named) continue;
        for (tarrow::IniLine& line : group.lines) {
            if (line.isComment) continue;
            line.name = tarrow::LowerText(line.name);
            line.value.assign(1, u'1');
            break;
        }
        group.lines.push_back({false, u"pc_cpu_monitor", u"0"});
        break;
    }
    edited.groups.push_back({true, u"monitors", {{false, u"pc_memory_monitor", u"1"}}});
    const std::u16string saved = tarrow::WriteIniOver(read.text, edited);
    Check(tarrow::ParseIni(saved) == edited, "saved text reads back differently");
    const tarrow::IniText again = tarrow::DecodeIniBytes(tarrow::EncodeIniText(saved, read.encoding));
    Check(again.encoding == read.encoding && again.text == saved, "encoding lost on save");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const tarrow::IniText read = Decode(bytes);
    const std::u16string& text = read.text;
    tarrow::ParseIniInteger(text);

    const tarrow::IniDocument document = tarrow::ParseIni(text);
    Check(!document.groups.empty() && !document.groups[0].named, "leading group missing");
    for (const tarrow::IniGroup& group : document.groups) {
        Check(group.name.find_first_of(u"]\r\n") == std::u16string::npos, "group name");
        if (group.named) Check(tarrow::FindIniGroup(document, group.name) != nullptr, "lookup");
        for (const tarrow::IniLine& line : group.lines) {
            Check(line.name.find_first_of(u"\r\n") == std::u16string::npos, "line break kept");
            if (line.isComment) continue;
            Check(line.name.find(u'=') == std::u16string::npos, "key name holds =");
            tarrow::ParseIniInteger(line.value);
        }
    }

    CheckSavedInPlace(bytes, read, document);
    // UTF-16 files are only ever saved in place: their text may hold unpaired
    // surrogates, which no UTF-8 text can carry.
    if (read.encoding == tarrow::IniEncoding::Utf16Le || read.encoding == tarrow::IniEncoding::Utf16Be)
        return 0;

    const std::string written = tarrow::WriteIni(document);
    Check(written.substr(0, 5) == std::string(tarrow::kUtf8Bom) + "\r\n", "written start");
    const tarrow::IniDocument again = tarrow::ParseIni(Decode(written).text);
    Check(again == document, "written text reads back differently");
    Check(tarrow::WriteIni(again) == written, "second write differs");
    return 0;
}
