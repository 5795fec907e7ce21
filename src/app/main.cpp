#include "app/application.hpp"

int main() {
    auto platform = tarrow::CreatePlatform();
    const int code = tarrow::RunTarrow(*platform, tarrow::ThisBuildProfile());
    platform->EndProcess(code);
}
