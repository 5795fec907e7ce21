#pragma once
// The clipboard: every text set is kept in order, unless it is scripted to fail.

#include <string>
#include <vector>

#include "platform/fakes/fake_role.hpp"
#include "platform/platform_services.hpp"

namespace tarrow::testing {

template <class Base = FakeRole<Clipboard>>
class FakeClipboard : public Base {
public:
    using Base::Base;

    // --- scripted inputs ---
    bool clipboardFails = false;

    // --- recorded outputs ---
    std::vector<std::u16string> clipboard;  // every text set, in order

    bool SetClipboardText(std::u16string_view text) override {
        if (clipboardFails) return false;
        clipboard.emplace_back(text);
        return true;
    }
};

}  // namespace tarrow::testing
