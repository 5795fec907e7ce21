#pragma once
// The profile of the release program, as the tests build their Application.

#include "app/application.hpp"

namespace tarrow::testing {

inline BuildProfile ReleaseProfile() {
    return {u"1.0.7", u"1.0.7, Build 222", false, {u"https://tarrow.example.com", ""}};
}

// The installed package's program: the same, with updates left to the package manager.
inline BuildProfile PackageProfile() {
    BuildProfile profile = ReleaseProfile();
    profile.packageBuild = true;
    return profile;
}

}  // namespace tarrow::testing
