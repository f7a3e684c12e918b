// Migration records, their JSON form and the stage machine.
#include <cstdint>
#include <limits>
#include <string>

#include "check.hpp"
#include "clock.hpp"
#include "error.hpp"
#include "fault.hpp"
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

// Copies, so no check holds a reference into a finished result.
std::string record(MigrationEngine& engine, const std::string& name) {
    auto found = engine.get(name);
    if (!found.ok()) return found.error().message();
    return found.value().value_or("<absent>");
}

std::string listing(MigrationEngine& engine) {
    auto list = engine.list();
    return list.ok() ? list.value() : list.error().message();
}

// Either the record's "stage" member or the error's text.
std::string outcome(const Result<std::string>& result) {
    return result.ok() ? "stage " + member(result.value(), "stage") : result.error().message();
}

template <class Operation>
bool faults(Operation operation) {
    try {
        operation();
    } catch (const InternalFault&) {
        return true;
    }
    return false;
}

// A record of `name` brought to `stage` the only ways the engine allows.
void bring_to(MigrationEngine& engine, const std::string& name, int stage) {
    CHECK(engine.start(name, "sqlite", "redis").ok());
    if (stage == 0) CHECK(engine.rollback(name).ok());
    for (int k = 1; k < stage; ++k) CHECK(engine.advance(name, 0, 0).ok());
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

void new_record() {
    MigrationEngine engine("myapp");
    auto started = engine.start("counter.Counts", "sqlite", "redis");
    CHECK(started.ok());
    const std::string& json = started.value();
    CHECK(json.starts_with("{\"variable_name\":\"counter.Counts\",\"source_backend\":\"sqlite\","
                           "\"target_backend\":\"redis\",\"stage\":1,\"stage_name\":\"shadow_write\",\"started_at\":\""));
    CHECK(json.ends_with(",\"discrepancy_count\":0,\"keys_migrated\":0,\"app_name\":\"myapp\"}"));
    CHECK_EQ(member(json, "started_at"), member(json, "advanced_at"));
    CHECK_EQ(record(engine, "counter.Counts"), json);
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
            CHECK_EQ(outcome(engine.start("v", "x", "y")), expected_start);
        }
        {
            MigrationEngine engine("app");
            bring_to(engine, "v", stage);
            CHECK_EQ(outcome(engine.advance("v", 0, 0)), expected_advance);
        }
        {
            MigrationEngine engine("app");
            bring_to(engine, "v", stage);
            CHECK_EQ(outcome(engine.rollback("v")), expected_rollback);
        }
    }
    MigrationEngine engine("app");
    CHECK_EQ(outcome(engine.advance("a\"b", 1, 1)), std::string("Migration error: No migration in progress for 'a\"b'"));
    CHECK_EQ(outcome(engine.rollback("v")), std::string("Migration error: No migration in progress for 'v'"));
    CHECK(engine.advance("v", 0, 0).error().kind() == ErrorKind::Migration);
    CHECK_EQ(record(engine, "v"), std::string("<absent>"));
}

void failed_operations_change_nothing() {
    MigrationEngine engine("app");
    bring_to(engine, "v", 6);
    const std::string before = record(engine, "v");
    CHECK(!engine.advance("v", 5, 5).ok());
    CHECK(!engine.rollback("v").ok());
    CHECK_EQ(record(engine, "v"), before);
}

void totals_add_up_and_survive_rollback() {
    MigrationEngine engine("app");
    CHECK(engine.start("v", "a", "b").ok());
    CHECK(engine.advance("v", 3, 10).ok());
    auto second = engine.advance("v", 2, 5);
    CHECK_EQ(member(second.value(), "discrepancy_count"), std::string("5"));
    CHECK_EQ(member(second.value(), "keys_migrated"), std::string("15"));
    auto rolled_back = engine.rollback("v");
    CHECK_EQ(member(rolled_back.value(), "stage_name"), std::string("\"shadow_read\""));
    CHECK_EQ(member(rolled_back.value(), "discrepancy_count"), std::string("5"));
    CHECK_EQ(member(rolled_back.value(), "keys_migrated"), std::string("15"));
    CHECK_EQ(member(rolled_back.value(), "started_at"), member(record(engine, "v"), "started_at"));
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
        CHECK(engine.start("v", "a", "b").ok());
        CHECK(engine.advance("v", c.first, c.first).ok());
        auto result = engine.advance("v", c.second, c.second);
        CHECK(result.ok());
        CHECK_EQ(member(result.value(), "stage"), std::string("3"));
        CHECK_EQ(member(result.value(), "discrepancy_count"), std::string(c.total));
        CHECK_EQ(member(result.value(), "keys_migrated"), std::string(c.total));
    }
}

// Every stage change renews advanced_at and only it; the shifted clock makes each
// reading distinct.
void stage_changes_stamp_advanced_at() {
    MigrationEngine engine("app");
    const std::string started = engine.start("v", "a", "b").value();
    shift_clock(3600);
    const std::string advanced = engine.advance("v", 0, 0).value();
    shift_clock(7200);
    const std::string rolled_back = engine.rollback("v").value();
    shift_clock(0);
    CHECK_EQ(member(advanced, "started_at"), member(started, "started_at"));
    CHECK_EQ(member(rolled_back, "started_at"), member(started, "started_at"));
    CHECK(member(advanced, "advanced_at") != member(started, "advanced_at"));
    CHECK(member(rolled_back, "advanced_at") != member(advanced, "advanced_at"));
    CHECK_EQ(member(rolled_back, "advanced_at"), member(record(engine, "v"), "advanced_at"));
}

void restart_after_completion_replaces_the_record() {
    MigrationEngine engine("app");
    CHECK(engine.start("v", "a", "b").ok());
    for (int k = 0; k < 5; ++k) CHECK(engine.advance("v", 1, 1).ok());
    auto restarted = engine.start("v", "c", "d");
    CHECK_EQ(member(restarted.value(), "stage"), std::string("1"));
    CHECK_EQ(member(restarted.value(), "source_backend"), std::string("\"c\""));
    CHECK_EQ(member(restarted.value(), "keys_migrated"), std::string("0"));
    const std::string list = listing(engine);
    CHECK_EQ(list, "[" + restarted.value() + "]");
}

void counting_and_listing() {
    MigrationEngine engine("app");
    CHECK_EQ(listing(engine), std::string("[]"));
    CHECK_EQ(engine.active_count(), 0u);
    bring_to(engine, "idle", 0);
    bring_to(engine, "middle", 3);
    bring_to(engine, "finished", 6);
    CHECK_EQ(engine.active_count(), 2u);
    const std::string list = listing(engine);
    for (const char* name : {"idle", "middle", "finished"}) {
        CHECK(list.find(record(engine, name)) != std::string::npos);
    }
    CHECK(list.starts_with("[{") && list.ends_with("}]"));
    CHECK(engine.start("a.B", "x", "y").ok());
    CHECK(engine.start("a.b", "x", "y").ok());
    CHECK_EQ(engine.active_count(), 4u);
}

void poisoned_by_an_abandoned_change(const std::string& site) {
    MigrationEngine engine("app");
    bring_to(engine, "v", 2);
    fault::arm(site);
    CHECK(faults([&] {
        if (site == "migrations.start") (void)engine.start("w", "a", "b");
        if (site == "migrations.advance") (void)engine.advance("v", 1, 1);
        if (site == "migrations.rollback") (void)engine.rollback("v");
    }));
    const std::string poisoned = "Migration error: lock poisoned";
    CHECK_EQ(engine.start("w", "a", "b").error().message(), poisoned);
    CHECK_EQ(engine.advance("v", 0, 0).error().message(), poisoned);
    CHECK_EQ(engine.rollback("v").error().message(), poisoned);
    CHECK_EQ(engine.get("v").error().message(), poisoned);
    CHECK_EQ(engine.list().error().message(), poisoned);
    CHECK(engine.get("v").error().kind() == ErrorKind::Migration);
    CHECK_EQ(engine.active_count(), 0u);
}

void abandoned_read_does_not_poison() {
    MigrationEngine engine("app");
    bring_to(engine, "v", 2);
    fault::arm("migrations.get");
    CHECK(faults([&] { (void)engine.get("v"); }));
    CHECK_EQ(member(record(engine, "v"), "stage"), std::string("2"));
    CHECK_EQ(engine.active_count(), 1u);
}

// The clock is read under the exclusive lock, so a clock before 1970 poisons.
void clock_before_1970_poisons() {
    MigrationEngine engine("app");
    shift_clock(-100LL * 365 * 86400);
    const bool faulted = faults([&] { (void)engine.start("v", "a", "b"); });
    shift_clock(0);
    CHECK(faulted);
    CHECK_EQ(engine.list().error().message(), std::string("Migration error: lock poisoned"));
}

}  // namespace

int main() {
    stage_texts();
    json_form();
    new_record();
    stage_machine();
    failed_operations_change_nothing();
    totals_add_up_and_survive_rollback();
    totals_saturate();
    stage_changes_stamp_advanced_at();
    restart_after_completion_replaces_the_record();
    counting_and_listing();
    for (const char* site : {"migrations.start", "migrations.advance", "migrations.rollback"}) {
        poisoned_by_an_abandoned_change(site);
    }
    abandoned_read_does_not_poison();
    clock_before_1970_poisons();
    return check::report("migrations");
}
