#pragma once
// Hotkey registration, refused for the scripted ids and recorded.

#include <set>
#include <string>
#include <vector>

#include "platform/fakes/fake_role.hpp"
#include "platform/platform_services.hpp"

namespace tarrow::testing {

struct Registration {
    int id = 0;
    uint32_t modifiers = 0;
    uint8_t virtualKey = 0;
    std::u16string label;
};

template <class Base = FakeRole<Keyboard>>
class FakeKeyboard : public Base {
public:
    using Base::Base;

    // --- scripted inputs ---
    std::set<int> failingHotkeys;
    std::u16string layoutName = u"00000409";

    // --- recorded outputs ---
    std::vector<Registration> registrations;  // successful and failed, in order

    bool RegisterHotkey(int id, uint32_t modifiers, uint8_t virtualKey,
                        std::u16string_view label) override {
        log_.calls.push_back("RegisterHotkey " + std::to_string(id));
        registrations.push_back({id, modifiers, virtualKey, std::u16string(label)});
        return failingHotkeys.count(id) == 0;
    }

    std::u16string KeyboardLayoutName() override { return layoutName; }

protected:
    using Base::log_;
};

}  // namespace tarrow::testing
