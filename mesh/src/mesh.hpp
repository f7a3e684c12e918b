// The mesh: the deployment plan and the four components, living as long as its owner.
#pragma once

#include <string>
#include <string_view>

#include "channel/hub.hpp"
#include "error.hpp"
#include "migrations.hpp"
#include "plan.hpp"
#include "registry.hpp"
#include "state.hpp"

namespace orvel {

class Mesh {
public:
    // The plan for the constructor's arguments: the default plan named `app_name` for
    // empty plan text, otherwise the plan read from the text.
    static Result<Plan> plan_for(std::string_view app_name, std::string_view plan_json);

    // `app_name` names the migration engine when the plan names no application.
    Mesh(Plan plan, std::string_view app_name);
    Mesh(const Mesh&) = delete;
    Mesh& operator=(const Mesh&) = delete;

    const std::string& app_name() const { return plan_.app_name; }
    std::string plan_json() const { return write_plan(plan_); }
    std::string repr();
    std::string health_snapshot();

    AgentRegistry& registry() { return registry_; }
    StateStore& state() { return state_; }
    MigrationEngine& migrations() { return migrations_; }
    ChannelHub& channels() { return channels_; }

private:
    Plan plan_;
    MigrationEngine migrations_;
    AgentRegistry registry_;
    StateStore state_;
    ChannelHub channels_;
};

}  // namespace orvel
