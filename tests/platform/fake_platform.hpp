#pragma once
// A scripted platform: the clock, events, dialog answers, processes, memory,
// power and files are set by the test; what the logic speaks, plays, copies
// and shows is recorded. Nothing sleeps: waiting moves the clock.
//
// It is the nine role fakes of fakes/ stacked into one PlatformServices, over
// one clock and one call log; a role's scripted inputs, records and helpers are
// those of its fake.

#include "platform/fakes/clipboard.hpp"
#include "platform/fakes/dialogs.hpp"
#include "platform/fakes/fake_clock.hpp"
#include "platform/fakes/fake_role.hpp"
#include "platform/fakes/files.hpp"
#include "platform/fakes/keyboard.hpp"
#include "platform/fakes/process_control.hpp"
#include "platform/fakes/speech_and_sound.hpp"
#include "platform/fakes/system_facts.hpp"
#include "platform/fakes/window_and_events.hpp"
#include "platform/fakes/workers.hpp"
#include "platform/platform_services.hpp"

namespace tarrow::testing {

// Each layer implements its own role's methods of PlatformServices.
using FakeRoles = FakeWindowAndEvents<FakeDialogs<FakeKeyboard<FakeWorkers<FakeSpeechAndSound<
    FakeClipboard<FakeProcessControl<FakeSystemFacts<FakeFiles<FakeRole<PlatformServices>>>>>>>>>>;

class FakePlatform final : public FakeAssembly<FakeRoles> {};

}  // namespace tarrow::testing
