// The one error value of every component, and the fault type for broken invariants.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>

namespace orvel {

enum class ErrorKind { AgentNotFound, AlreadyRegistered, State, Migration, Serialization, Channel };

class MeshError {
public:
    static MeshError agent_not_found(std::string agent_type, std::string agent_id);
    static MeshError already_registered(std::string agent_id);
    static MeshError state(std::string detail);
    static MeshError migration(std::string detail);
    static MeshError serialization(std::string detail);
    static MeshError channel(std::string detail);

    ErrorKind kind() const { return kind_; }
    // The variant's template filled with its fields.
    std::string message() const;

private:
    MeshError(ErrorKind kind, std::string first, std::string second = {})
        : kind_(kind), first_(std::move(first)), second_(std::move(second)) {}

    ErrorKind kind_;
    std::string first_;
    std::string second_;
};

// An operation abandoned because an invariant broke. Caught only by the calling frame;
// an exclusive lock it unwinds through stays poisoned.
class InternalFault : public std::runtime_error {
public:
    explicit InternalFault(const std::string& what) : std::runtime_error(what) { ++live_; }
    InternalFault(const InternalFault& other) noexcept : std::runtime_error(other) { ++live_; }
    InternalFault& operator=(const InternalFault&) = default;
    ~InternalFault() override { --live_; }

    // Faults made on this thread and not yet done with: one thrown is counted until its
    // handler ends, so a lock unwound by it can tell it from an allocation failure.
    static int live() { return live_; }

private:
    inline static thread_local int live_ = 0;
};

// Either a value or a MeshError.
template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(MeshError error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() { return std::get<0>(state_); }
    const T& value() const { return std::get<0>(state_); }
    T& operator*() { return value(); }
    T* operator->() { return &value(); }
    const MeshError& error() const { return std::get<1>(state_); }

private:
    std::variant<T, MeshError> state_;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(MeshError error) : error_(std::move(error)) {}

    bool ok() const { return !error_; }
    explicit operator bool() const { return ok(); }
    const MeshError& error() const { return *error_; }

private:
    std::optional<MeshError> error_;
};

}  // namespace orvel
