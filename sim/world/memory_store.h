#pragma once
// The local file of save and get, in memory: what the target held before the run, what
// was written since the last restart, and what a commit put in the target's place.

#include "core/board_engine.h"

#include <optional>
#include <string>

namespace vantor::sim::world {

class MemoryStore : public core::JobStore {
public:
    // `before`: the target's content; none when there is no file.
    explicit MemoryStore(std::optional<std::string> before) : before_(std::move(before)) {}

    bool open() override {
        opened_ = true;
        return true;
    }
    bool write(std::string_view bytes) override {
        pending_.append(bytes);
        return true;
    }
    bool restart() override {
        pending_.clear();
        return true;
    }
    bool commit() override {
        committed_ = std::move(pending_);
        pending_.clear();
        return true;
    }
    std::string abandon(bool keep) override {
        ++abandoned_;
        return keep && !pending_.empty() ? target() + ".part" : std::string();
    }
    std::string target() const override { return "local.file"; }
    std::string errorString() const override { return {}; }
    std::int64_t size() const override { return std::int64_t(pending_.size()); }
    bool targetExisted() const override { return before_.has_value(); }
    bool targetHasContent() const override { return before_ && !before_->empty(); }

    bool opened() const { return opened_; }
    // What a commit put in the target's place; none while nothing was committed.
    const std::optional<std::string>& committed() const { return committed_; }
    int abandoned() const { return abandoned_; }

private:
    std::optional<std::string> before_;
    std::string pending_;
    std::optional<std::string> committed_;
    bool opened_ = false;
    int abandoned_ = 0;
};

} // namespace vantor::sim::world
