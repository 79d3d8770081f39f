// Several location files answering as one, in the order the user has them: the answer and
// its fields from the first file that places the address with a real record, coordinates
// and the like from the first that has them.
#pragma once

#include <memory>
#include <vector>

#include "ipdata/ipdata.h"

namespace ipdata {

class Layered final : public Database {
  public:
    // At most 255 files (Place::layer); the first is the one searches walk.
    explicit Layered(std::vector<std::shared_ptr<const Database>> files);

    std::optional<Place> locate(const ip::Address& address) const override;
    // The answering file's extras, what it lacks of coordinates from the first other file
    // that has them for the address.
    Extras extras(const ip::Address& address, const Place& place) const override;
    bool hasExtras() const override { return anyExtras_; }

    // Searches, counts and the version are the first file's: a firewall list of one file's
    // ranges, not of ranges that overlap from several.
    void searchEach(const std::vector<std::string>& keywords,
                    const std::function<void(Range&)>& each,
                    const std::stop_token& stop) const override {
        files_.front()->searchEach(keywords, each, stop);
    }
    void searchWhere(const std::function<bool(const FieldViews&)>& match,
                     const std::function<void(Range&)>& each,
                     const std::stop_token& stop) const override {
        files_.front()->searchWhere(match, each, stop);
    }
    std::size_t rangeCount() const override { return files_.front()->rangeCount(); }
    std::string_view formatName() const override { return files_.front()->formatName(); }
    std::optional<std::string> versionText() const override {
        return files_.front()->versionText();
    }

    const std::vector<std::shared_ptr<const Database>>& files() const { return files_; }

  private:
    std::vector<std::shared_ptr<const Database>> files_;
    bool anyExtras_ = false;
};

// Whether `place` is a real answer: a record that names something (not "0" everywhere, not
// a placeholder the file gives for the addresses it does not know).
bool placesSomething(const Place& place);

}  // namespace ipdata
