// A file's path as the operating system spells it: UTF-16 code units, carried unchanged
// from the dialog, the edit box or the dropped file to the file call. A path never passes
// through GBK on its way: a name may hold characters GBK lacks (Hangul, CJK Extension B),
// and each of them would come back as "?", naming another file that is not there.
#pragma once

#include <compare>
#include <string>
#include <string_view>
#include <utility>

namespace platform {

class Path {
  public:
    Path() = default;
    explicit Path(std::u16string units) : units_(std::move(units)) {}

    // From program texts, a name typed in a test, a file on a native disk.
    static Path fromUtf8(const std::string& utf8);

    const std::u16string& units() const { return units_; }
    bool empty() const { return units_.empty(); }
    // For a message that names the file.
    std::string utf8() const;

    // Whether the name ends with `ending`, an ASCII text such as ".txt", without regard to
    // ASCII case. Trailing dots and spaces are passed over, as the system drops them when
    // it opens the name ("a.txt." is a.txt), except after the "\\?\" prefix, which keeps
    // a name as it is.
    bool endsWith(std::string_view ending) const;

    friend bool operator==(const Path&, const Path&) = default;
    friend std::strong_ordering operator<=>(const Path& a, const Path& b) {
        return a.units_ <=> b.units_;
    }

  private:
    std::u16string units_;
};

}  // namespace platform
