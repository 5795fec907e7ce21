// What the braille display shows: the hold time, the texts waiting behind the
// one shown, and panning through a text longer than the display.

#include <algorithm>

#include "platform/linux/braille/braille.hpp"

namespace tarrow {

namespace {

// Far enough for any hold anyone sets, near enough that adding it to a clock
// reading cannot overflow.
constexpr int64_t kLongestHoldMs = int64_t{1000} * 60 * 60 * 24 * 365;

}  // namespace

void BrailleView::SetHold(int64_t holdMs) {
    hold_ = std::chrono::milliseconds(std::clamp<int64_t>(holdMs, 0, kLongestHoldMs));
}

void BrailleView::Show(std::wstring text, BrailleTime now) {
    shown_ = std::move(text);
    offset_ = 0;
    shownAt_ = now;
    ++version_;
}

void BrailleView::Add(std::wstring text, bool interrupt, BrailleTime now) {
    // With no hold, the text shown lasts only until the next one.
    if (interrupt || !shown_ || hold_.count() == 0) {
        waiting_.clear();
        Show(std::move(text), now);
        return;
    }
    if (waiting_.size() >= kWaitingCapacity) waiting_.pop_front();
    waiting_.push_back(std::move(text));
}

void BrailleView::PanRight(size_t width, BrailleTime now) {
    if (!shown_ || width == 0) return;
    if (offset_ + width < shown_->size()) {
        offset_ += width;
        ++version_;
    }
    shownAt_ = now;
}

void BrailleView::PanLeft(size_t width, BrailleTime now) {
    if (!shown_ || width == 0) return;
    if (offset_ > 0) {
        offset_ = offset_ > width ? offset_ - width : 0;
        ++version_;
    }
    shownAt_ = now;
}

void BrailleView::Tick(BrailleTime now) {
    const std::optional<BrailleTime> end = HoldEnd();
    if (!end || now < *end) return;
    if (waiting_.empty()) {
        shown_.reset();
        ++version_;
        return;
    }
    std::wstring next = std::move(waiting_.front());
    waiting_.pop_front();
    Show(std::move(next), now);
}

std::wstring BrailleView::Window(size_t width) const {
    if (!shown_ || offset_ >= shown_->size()) return {};
    return shown_->substr(offset_, width);
}

std::optional<BrailleTime> BrailleView::HoldEnd() const {
    if (!shown_ || hold_.count() == 0) return std::nullopt;
    return shownAt_ + hold_;
}

std::wstring BrailleText(std::u16string_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            out.push_back(static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00)));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            out.push_back(static_cast<wchar_t>(0xFFFD));
        } else {
            out.push_back(static_cast<wchar_t>(unit));
        }
    }
    return out;
}

}  // namespace tarrow
