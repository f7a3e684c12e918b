// Migration records: their JSON form, the stage machine and the totals.
#include <cstdint>
#include <limits>
#include <string>

#include "check.hpp"
#include "clock.hpp"
#include "error.hpp"
#include "migration.hpp"
#include "migrations.hpp"

using namespace orvel;

namespace {

constexpr std::uint64_t max_u64 = std::numeric_limits<std::uint64_t>::max();

// The text of one member of a record's JSON form, as written.
std::string member(const std::string& json, const std::string& name) {
    const std::string opener = "\"" + name + "\":";
    const auto start = json.find(opener);
    if (start == std::string::npos) return "<missing>";
    auto at = start + opener.size();
    if (json[at] == '"') return json.substr(at, json.find('"', at + 1) - at + 1);
    return json.substr(at, json.find_first_of(",}", at) - at);
}

// A copy, so no check holds a reference into a finished result.
std::string record(MigrationEngine& engine, const std::string& name) {
    auto found = engine.get(name);
    if (!found.ok()) return found.error().message();
    return found.value().value_or("<absent>");
}

// Either the record's "stage" member or the error's text.
std::string outcome(const Result<std::string>& result) {
    return result.ok() ? "stage " + member(result.value(), "stage") : result.error().message();
}

// A record of `name` brought to `stage` the only ways the engine allows.
void bring_to(MigrationEngine& engine, const std::string& name, int stage) {
    CHECK(check::committed(engine.start(name, "sqlite", "redis")).ok());
    if (stage == 0) CHECK(check::committed(engine.rollback(name)).ok());
    for (int k = 1; k < stage; ++k) CHECK(check::committed(engine.advance(name, 0, 0)).ok());
}

void stage_texts() {
    const char* names[] = {"idle", "shadow_write", "shadow_read", "dual_read", "new_primary", "cleanup", "done"};
    for (int stage = 0; stage < 7; ++stage) {
        CHECK_EQ(std::string(stage_name(static_cast<MigrationStage>(stage))), std::string(names[stage]));
    }
}

void json_form() {
    MigrationState state;
    state.variable_name = "a\"b\n";
    state.source_backend = "sqlite";
    state.target_backend = "";
    state.stage = MigrationStage::Done;
    state.started_at = Timestamp{0, 0};
    state.advanced_at = Timestamp{86400, 250'000'000};
    state.discrepancy_count = max_u64;
    state.keys_migrated = 7;
    state.app_name = "\xc3\xa9";
    std::string json;
    append_json(json, state);
    CHECK_EQ(json, std::string("{\"variable_name\":\"a\\\"b\\n\",\"source_backend\":\"sqlite\",\"target_backend\":\"\","
                               "\"stage\":6,\"stage_name\":\"done\",\"started_at\":\"1970-01-01T00:00:00+00:00\","
                               "\"advanced_at\":\"1970-01-02T00:00:00.250+00:00\","
                               "\"discrepancy_count\":18446744073709551615,\"keys_migrated\":7,"
                               "\"app_name\":\"\xc3\xa9\"}"));
}

// Every cell of the stage machine: each stage 0..6 met by each operation.
void stage_machine() {
    const std::string in_progress = "Migration error: Migration for 'v' already in progress at stage ";
    const std::string names[] = {"idle", "shadow_write", "shadow_read", "dual_read", "new_primary", "cleanup", "done"};
    for (int stage = 0; stage <= 6; ++stage) {
        const std::string expected_start =
            stage < 6 ? in_progress + std::to_string(stage) + " (" + names[stage] + ")" : "stage 1";
        const std::string expected_advance =
            stage < 6 ? "stage " + std::to_string(stage + 1) : "Migration error: Migration for 'v' is already complete";
        const std::string expected_rollback =
            stage == 0   ? "Migration error: Already at initial stage \xe2\x80\x94 cannot roll back further"
            : stage == 6 ? "Migration error: Cannot roll back a completed migration"
                         : "stage " + std::to_string(stage - 1);
        {
            MigrationEngine engine("app");
            bring_to(engine, "v", stage);
            CHECK_EQ(outcome(check::committed(engine.start("v", "x", "y"))), expected_start);
        }
        {
            MigrationEngine engine("app");
            bring_to(engine, "v", stage);
            CHECK_EQ(outcome(check::committed(engine.advance("v", 0, 0))), expected_advance);
        }
        {
            MigrationEngine engine("app");
            bring_to(engine, "v", stage);
            CHECK_EQ(outcome(check::committed(engine.rollback("v"))), expected_rollback);
        }
    }
    MigrationEngine engine("app");
    CHECK_EQ(outcome(check::committed(engine.advance("a\"b", 1, 1))), std::string("Migration error: No migration in progress for 'a\"b'"));
    CHECK_EQ(outcome(check::committed(engine.rollback("v"))), std::string("Migration error: No migration in progress for 'v'"));
    CHECK(check::committed(engine.advance("v", 0, 0)).error().kind() == ErrorKind::Migration);
    CHECK_EQ(record(engine, "v"), std::string("<absent>"));
}

// Totals stop at the largest count instead of wrapping; the advance itself still happens.
void totals_saturate() {
    struct Case {
        std::uint64_t first;
        std::uint64_t second;
        const char* total;
    };
    const Case cases[] = {
        {max_u64 - 1, 1, "18446744073709551615"},
        {max_u64 - 1, 2, "18446744073709551615"},
        {max_u64, max_u64, "18446744073709551615"},
        {max_u64, 0, "18446744073709551615"},
        {1, 2, "3"},
    };
    for (const Case& c : cases) {
        MigrationEngine engine("app");
        CHECK(check::committed(engine.start("v", "a", "b")).ok());
        CHECK(check::committed(engine.advance("v", c.first, c.first)).ok());
        auto result = check::committed(engine.advance("v", c.second, c.second));
        CHECK(result.ok());
        CHECK_EQ(member(result.value(), "stage"), std::string("3"));
        CHECK_EQ(member(result.value(), "discrepancy_count"), std::string(c.total));
        CHECK_EQ(member(result.value(), "keys_migrated"), std::string(c.total));
    }
}

}  // namespace

int main() {
    stage_texts();
    json_form();
    stage_machine();
    totals_saturate();
    return check::report("migrations");
}
