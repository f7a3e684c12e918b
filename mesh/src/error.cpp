#include "error.hpp"

namespace orvel {

MeshError MeshError::agent_not_found(std::string agent_type, std::string agent_id) {
    return {ErrorKind::AgentNotFound, std::move(agent_type), std::move(agent_id)};
}
MeshError MeshError::already_registered(std::string agent_id) {
    return {ErrorKind::AlreadyRegistered, std::move(agent_id)};
}
MeshError MeshError::state(std::string detail) { return {ErrorKind::State, std::move(detail)}; }
MeshError MeshError::migration(std::string detail) { return {ErrorKind::Migration, std::move(detail)}; }
MeshError MeshError::serialization(std::string detail) { return {ErrorKind::Serialization, std::move(detail)}; }
MeshError MeshError::channel(std::string detail) { return {ErrorKind::Channel, std::move(detail)}; }

std::string MeshError::message() const {
    switch (kind_) {
    case ErrorKind::AgentNotFound: return "Agent '" + first_ + "/" + second_ + "' not found in registry";
    case ErrorKind::AlreadyRegistered: return "Agent '" + first_ + "' is already registered";
    case ErrorKind::State: return "State error: " + first_;
    case ErrorKind::Migration: return "Migration error: " + first_;
    case ErrorKind::Serialization: return "Serialization error: " + first_;
    case ErrorKind::Channel: return "Channel error: " + first_;
    }
    return first_;
}

}  // namespace orvel
