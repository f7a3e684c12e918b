// A change prepared under a component's exclusive lock and not yet made.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "lock.hpp"

namespace orvel {

// Holds the lock, the result for the caller, and the step that makes the change, for which
// everything has been allocated already. commit() makes the change; dropping the pending
// change instead lets the lock go with the component as it was. So a caller that cannot take
// the result (it ran out of memory turning it into its own form) leaves nothing done.
class [[nodiscard]] PendingChange {
public:
    // Nothing to change, only a result to give.
    explicit PendingChange(std::string result) : result_(std::move(result)) {}

    // `step(table)` makes the change and does not fail: it only moves what was prepared.
    template <class T, class Step>
    PendingChange(WriteGuard<T> table, std::string result, Step step)
        : result_(std::move(result)), change_(std::make_unique<Change<T, Step>>(std::move(table), std::move(step))) {}

    const std::string& result() const { return result_; }

    // Makes the change and lets the lock go.
    void commit() {
        if (change_) change_->make();
        change_.reset();
    }

private:
    struct AnyChange {
        virtual ~AnyChange() = default;
        virtual void make() = 0;
    };
    template <class T, class Step>
    struct Change final : AnyChange {
        Change(WriteGuard<T> held, Step made_by) : table(std::move(held)), step(std::move(made_by)) {}
        void make() override {
            table.begin_change();
            step(*table);
        }
        WriteGuard<T> table;
        Step step;
    };

    std::string result_;
    std::unique_ptr<AnyChange> change_;
};

}  // namespace orvel
