// Fuzz target for the prefs.ini reader and writer: any bytes parse without a
// crash or a hang, every value survives the integer conversion, and what the
// writer writes reads back as the same groups, comments and keys.

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

// As the program reads the file: UTF-8 after a byte-order mark, else the ANSI
// code page (Latin-1 here, like the fake platform's).
std::u16string Decode(std::string_view bytes) {
    if (bytes.substr(0, tarrow::kUtf8Bom.size()) == tarrow::kUtf8Bom)
        return tarrow::Utf8ToUtf16(bytes.substr(tarrow::kUtf8Bom.size()));
    std::u16string text;
    for (const char c : bytes) text.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::u16string text = Decode(bytes);
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

    const std::string written = tarrow::WriteIni(document);
    Check(written.substr(0, 5) == std::string(tarrow::kUtf8Bom) + "\r\n", "written start");
    const tarrow::IniDocument again = tarrow::ParseIni(Decode(written));
    Check(again == document, "written text reads back differently");
    Check(tarrow::WriteIni(again) == written, "second write differs");
    return 0;
}
