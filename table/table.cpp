#include "table/table.h"

#include <algorithm>

namespace {

const std::string kNoText;
// In a set of field ids: the data file gave no fields (only a network).
constexpr std::uint32_t kNoFields = 0xFFFFFFFFu;

// FNV-1a: short texts, and no dependence on the standard library's choice.
std::uint32_t hashOf(std::string_view text) {
    std::uint32_t h = 2166136261u;
    for (const char c : text) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    return h;
}

template <std::size_t N>
std::uint32_t hashOf(const std::array<std::uint32_t, N>& ids) {
    std::uint32_t h = 2166136261u;
    for (const std::uint32_t id : ids) h = (h ^ id) * 16777619u;
    return h;
}

// Open addressing with linear probing over `index` (a power of two long, kept at most half
// full): the place of the entry that `equal` accepts, or of the free slot where it goes.
template <class Equal>
std::size_t probe(const std::vector<std::uint32_t>& index, std::uint32_t hash, Equal&& equal) {
    const std::size_t mask = index.size() - 1;
    std::size_t at = hash & mask;
    while (index[at] != 0 && !equal(index[at] - 1)) at = (at + 1) & mask;
    return at;
}

template <class Hash>
void rehash(std::vector<std::uint32_t>& index, std::size_t entries, Hash&& hashOfEntry) {
    std::vector<std::uint32_t> grown(index.empty() ? 16 : index.size() * 2, 0);
    for (std::uint32_t id = 0; id < entries; ++id)
        grown[probe(grown, hashOfEntry(id), [](std::uint32_t) { return false; })] = id + 1;
    index.swap(grown);
}

}  // namespace

std::string shownLocation(const RowView& row) {
    std::string out(row.text);
    if (row.source == Source::DataFile) out += kDataFileMark;
    return out;
}

TextPool::TextPool() {
    slots_.push_back({0, 0});
    grow();
}

void TextPool::grow() {
    rehash(index_, slots_.size(), [this](std::uint32_t id) { return hashOf((*this)[id]); });
}

std::uint32_t TextPool::intern(std::string_view text) {
    if (text.empty()) return 0;
    const std::uint32_t hash = hashOf(text);
    const std::size_t at =
        probe(index_, hash, [&](std::uint32_t id) { return (*this)[id] == text; });
    if (index_[at] != 0) return index_[at] - 1;
    const auto id = static_cast<std::uint32_t>(slots_.size());
    slots_.push_back({bytes_.add(text), static_cast<std::uint32_t>(text.size())});
    index_[at] = id + 1;
    if (slots_.size() * 2 > index_.size()) grow();
    return id;
}

RowView RowStore::operator[](std::size_t index) const {
    const Slot& s = rows_[index];
    RowView view{
        firstId_ + index, address(index), texts_[s.text], source(index), std::nullopt, 0, {}, 1};
    if (const FieldIds* ids = idsOf(index)) {
        // A set with only a network holds no fields: the data file did not place the address.
        bool any = false;
        for (std::size_t f = 0; f < kFieldCount; ++f) any = any || (*ids)[f] != kNoFields;
        if (any) {
            FieldViews& fields = view.fields.emplace();
            for (std::size_t f = 0; f < kFieldCount; ++f)
                fields[f] = (*ids)[f] == kNoFields ? std::string_view() : texts_[(*ids)[f]];
        }
        view.asn = (*ids)[kAsnAt];
        view.organisation = texts_[(*ids)[kOrganisationAt]];
    }
    view.hits = hits(index);
    return view;
}

const RowStore::FieldIds* RowStore::idsOf(std::size_t index) const {
    const std::uint32_t place = rows_[index].answer & kFieldsMask;
    return place == 0 ? nullptr : &fields_[place - 1];
}

std::uint32_t RowStore::asn(std::size_t index) const {
    const FieldIds* ids = idsOf(index);
    return ids ? (*ids)[kAsnAt] : 0;
}

std::string_view RowStore::organisation(std::size_t index) const {
    const FieldIds* ids = idsOf(index);
    return ids ? texts_[(*ids)[kOrganisationAt]] : std::string_view();
}

std::uint32_t RowStore::hits(std::size_t index) const {
    const auto at = std::lower_bound(
        hits_.begin(), hits_.end(),
        std::pair<std::uint32_t, std::uint32_t>(static_cast<std::uint32_t>(index), 0));
    return at != hits_.end() && at->first == index ? at->second : 1;
}

void RowStore::setHits(std::size_t index, std::uint32_t hits) {
    const auto row = static_cast<std::uint32_t>(index);
    auto at = std::lower_bound(hits_.begin(), hits_.end(),
                               std::pair<std::uint32_t, std::uint32_t>(row, 0));
    const bool there = at != hits_.end() && at->first == row;
    if (hits <= 1) {
        if (there) hits_.erase(at);
    } else if (there) {
        at->second = hits;
    } else {
        hits_.insert(at, {row, hits});
    }
}

void RowStore::reserve(std::size_t rows, std::size_t addressBytes) {
    rows_.reserve(rows);
    addresses_.reserve(addressBytes);
}

std::uint32_t RowStore::fieldsOf(const Answer& answer) {
    if (!answer.fields && !answer.network) return 0;
    FieldIds ids{};
    for (std::size_t f = 0; f < kFieldCount; ++f)
        ids[f] = answer.fields ? texts_.intern((*answer.fields)[f]) : kNoFields;
    if (answer.network) {
        ids[kAsnAt] = answer.network->number;
        ids[kOrganisationAt] = texts_.intern(answer.network->organisation);
    }
    if (fieldsIndex_.empty()) rehash(fieldsIndex_, 0, [](std::uint32_t) { return 0u; });
    const std::size_t at = probe(fieldsIndex_, hashOf(ids),
                                 [&](std::uint32_t place) { return fields_[place] == ids; });
    if (fieldsIndex_[at] != 0) return fieldsIndex_[at];
    fields_.push_back(ids);
    const auto place = static_cast<std::uint32_t>(fields_.size());
    fieldsIndex_[at] = place;
    if (fields_.size() * 2 > fieldsIndex_.size())
        rehash(fieldsIndex_, fields_.size(),
               [this](std::uint32_t p) { return hashOf(fields_[p]); });
    return place;
}

void RowStore::push(std::string_view address, const Answer& answer) {
    rows_.push_back({addresses_.add(address), 0, 0});
    setAnswer(rows_.size() - 1, answer);
}

RowStore::Stored RowStore::store(const Answer& answer) {
    const std::uint32_t text = texts_.intern(answer.text);
    const std::uint32_t fields = fieldsOf(answer);
    return {text, static_cast<std::uint32_t>(answer.source) << kFieldsBits | fields};
}

void RowStore::setAnswer(std::size_t index, const Answer& answer) {
    setStored(index, store(answer));
}

QueryTable::QueryTable(std::array<std::string, kColumns> headers)
    : headers_(std::move(headers)), rows_(std::make_shared<RowStore>()) {}

RowStore& QueryTable::writable() {
    // Only the window thread takes snapshots, so a count of 1 seen here stays 1.
    if (rows_.use_count() > 1) rows_ = std::make_shared<RowStore>(*rows_);
    return *rows_;
}

std::string_view QueryTable::cell(std::size_t index, int column) const {
    if (index >= rows_->size()) return {};
    if (column == 0) return rows_->address(index);
    if (column == 1) return rows_->text(index);
    return {};
}

const std::string& QueryTable::header(int column) const {
    return column >= 0 && column < kColumns ? headers_[static_cast<std::size_t>(column)] : kNoText;
}

void QueryTable::replace(const std::vector<RowCells>& rows) {
    RowStore fresh;
    std::size_t bytes = 0;
    for (const RowCells& cells : rows) bytes += cells[0].size();
    fresh.reserve(rows.size(), bytes);
    for (const RowCells& cells : rows) fresh.push(cells[0], {cells[1]});
    replaceRows(std::move(fresh));
}

void QueryTable::replaceRows(RowStore rows) {
    rows.firstId_ = nextId_;
    nextId_ += rows.size();
    rows_ = std::make_shared<RowStore>(std::move(rows));
    changed({true, 0});
}

RowId QueryTable::append(std::string_view address, const Answer& answer) {
    RowStore& rows = writable();
    if (rows.empty()) rows.firstId_ = nextId_;
    const RowId id = nextId_++;
    rows.push(address, answer);
    changed({true, rows.size() - 1, true});
    return id;
}

RowId QueryTable::append(std::string_view address, const Answer& answer, std::uint32_t hits) {
    RowStore& rows = writable();
    if (rows.empty()) rows.firstId_ = nextId_;
    const RowId id = nextId_++;
    rows.push(address, answer);
    rows.setHits(rows.size() - 1, hits);
    changed({true, rows.size() - 1, true});
    return id;
}

std::optional<std::size_t> QueryTable::indexOf(RowId id) const {
    const RowId first = rows_->firstId();
    if (id < first || id - first >= rows_->size()) return std::nullopt;
    return static_cast<std::size_t>(id - first);
}

bool QueryTable::setAnswer(RowId id, const Answer& answer) {
    const std::optional<std::size_t> index = indexOf(id);
    if (!index) return false;
    writable().setAnswer(*index, answer);
    changed({false, *index});
    return true;
}

std::size_t QueryTable::setAnswers(const SharedAnswers& shared) {
    std::size_t written = 0;
    // Each answer stored once, when a row still there first takes it; the rows copied from
    // a snapshot only when one is.
    constexpr RowStore::Stored kNotYet{~0u, ~0u};
    std::vector<RowStore::Stored> stored(shared.answers.size(), kNotYet);
    for (const auto& [id, place] : shared.rows) {
        const std::optional<std::size_t> index = indexOf(id);
        if (!index || place >= shared.answers.size()) continue;
        RowStore& rows = writable();
        RowStore::Stored& s = stored[place];
        if (s.text == kNotYet.text) s = rows.store(shared.answers[place]);
        rows.setStored(*index, s);
        ++written;
    }
    if (written > 0) changed({true, 0});
    return written;
}

std::vector<PendingRow> QueryTable::pending(bool alsoFromData) const {
    std::vector<PendingRow> out;
    const RowStore& rows = *rows_;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows.text(i).empty() || (alsoFromData && rows.source(i) == Source::DataFile))
            out.push_back({rows.firstId() + i, std::string(rows.address(i))});
    }
    return out;
}

void QueryTable::changed(const Change& change) const {
    if (listener_) listener_(change);
}
