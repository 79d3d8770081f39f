#include "tests/fakes/fake_clipboard.h"

namespace fake {

bool Clipboard::setText(const std::string& text) {
    std::lock_guard lock(mutex_);
    ++sets;
    if (busy) return false;
    content = text;
    hasText = true;
    return true;
}

bool Clipboard::getText(std::string& text) {
    std::lock_guard lock(mutex_);
    if (busy || !hasText) return false;
    text = content;
    return true;
}

}  // namespace fake
