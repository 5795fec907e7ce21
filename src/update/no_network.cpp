// Built instead of http.cpp where no libcurl was found (a Windows cross-build
// made before its libcurl exists): every request fails, so every check ends
// silently and no archive is ever created.

#include "update/update.hpp"

namespace tarrow {

MemoryResponse FetchToMemory(const HttpRequest&) { return {u"0", {}}; }

bool FetchToFile(Files&, const HttpRequest&, std::u16string_view) { return false; }

UpdateNetwork CurlNetwork() {
    UpdateNetwork network;
    network.fetchToMemory = &FetchToMemory;
    network.fetchToFile = &FetchToFile;
    return network;
}

}  // namespace tarrow
