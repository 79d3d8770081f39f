#include "platform/path.h"

#include "text/codepage.h"

namespace platform {

Path Path::fromUtf8(const std::string& utf8) {
    return Path(codepage::utf8ToUtf16(utf8));
}

std::string Path::utf8() const {
    return codepage::utf16ToUtf8(units_);
}

bool Path::endsWith(std::string_view ending) const {
    std::u16string_view name = units_;
    if (!name.starts_with(u"\\\\?\\"))
        while (!name.empty() && (name.back() == u'.' || name.back() == u' ')) name.remove_suffix(1);
    if (name.size() < ending.size()) return false;
    name = name.substr(name.size() - ending.size());
    for (std::size_t i = 0; i < ending.size(); ++i) {
        // Compared as code units: a unit outside ASCII never matches an ASCII letter, not
        // even one whose low byte is that letter (U+FF54, full-width "t").
        char16_t unit = name[i];
        if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit + 32);
        char wanted = ending[i];
        if (wanted >= 'A' && wanted <= 'Z') wanted = static_cast<char>(wanted + 32);
        if (unit != static_cast<unsigned char>(wanted)) return false;
    }
    return true;
}

}  // namespace platform
