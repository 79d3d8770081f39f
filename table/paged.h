// Storage that grows by pages instead of by reallocation. A vector that doubles holds, for
// a moment, both its old and its new block, and afterwards up to half of it unused: for
// the rows of a large list (a reverse search gives some 370 000) that is tens of MB at the
// peak. Pages are never moved once full; only the last one grows, up to its fixed size.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <vector>

// A sequence of T in pages of 2^PageBits elements.
template <class T, int PageBits = 16>
class Paged {
  public:
    static constexpr std::size_t kPage = std::size_t{1} << PageBits;

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T& operator[](std::size_t i) { return pages_[i >> PageBits][i & (kPage - 1)]; }
    const T& operator[](std::size_t i) const { return pages_[i >> PageBits][i & (kPage - 1)]; }
    void push_back(const T& value) {
        if (pages_.empty() || pages_.back().size() == kPage) {
            pages_.emplace_back();
            // Past the first page the list is a long one: the page is taken whole at once.
            if (pages_.size() > 1) pages_.back().reserve(kPage);
        }
        pages_.back().push_back(value);
        ++size_;
    }
    // Room for `count` elements in all, where the first page holds them.
    void reserve(std::size_t count) {
        pages_.reserve((count + kPage - 1) / kPage);
        if (pages_.empty()) pages_.emplace_back();
        if (pages_.size() == 1) pages_.back().reserve(std::min(count, kPage));
    }

  private:
    std::vector<std::vector<T>> pages_;
    std::size_t size_ = 0;
};

// Texts end to end in pages of up to 1 MiB, each named by its place: its page in the top
// bits, its offset in the page below them. A text never lies across two pages; one longer
// than a page has a page of its own.
class PagedText {
  public:
    static constexpr int kOffsetBits = 20;
    static constexpr std::size_t kPageBytes = std::size_t{1} << kOffsetBits;
    static constexpr std::uint32_t kOffsetMask = (std::uint32_t{1} << kOffsetBits) - 1;

    // Appends `text`; its place. A text starts below kPageBytes in its page, so its offset
    // always fits below the page bits.
    std::uint32_t add(std::string_view text) {
        if (pages_.empty() || pages_.back().size() + text.size() >= kPageBytes) {
            // 4096 pages of 1 MiB fill the place's 32 bits: more than any process here holds.
            if (pages_.size() >= (std::size_t{1} << (32 - kOffsetBits))) throw std::bad_alloc();
            pages_.emplace_back();
            if (pages_.size() > 1) pages_.back().reserve(std::max(kPageBytes, text.size()));
        }
        std::string& page = pages_.back();
        if (page.size() + text.size() > page.capacity())  // the first page grows to its size
            page.reserve(
                std::min(kPageBytes, std::max(2 * page.capacity(), page.size() + text.size())));
        const auto place =
            static_cast<std::uint32_t>((pages_.size() - 1) << kOffsetBits | page.size());
        page.append(text);
        return place;
    }
    // Room for `bytes` in the first page.
    void reserve(std::size_t bytes) {
        if (pages_.empty()) pages_.emplace_back();
        if (pages_.size() == 1) pages_.back().reserve(std::min(bytes, kPageBytes - 1));
    }
    const char* at(std::uint32_t place) const {
        return pages_[place >> kOffsetBits].data() + (place & kOffsetMask);
    }
    static bool samePage(std::uint32_t a, std::uint32_t b) {
        return (a >> kOffsetBits) == (b >> kOffsetBits);
    }
    static std::size_t offset(std::uint32_t place) { return place & kOffsetMask; }
    // The length of the page that holds `place`.
    std::size_t pageLength(std::uint32_t place) const {
        return pages_[place >> kOffsetBits].size();
    }

  private:
    std::vector<std::string> pages_;
};
