"""A small model of one mesh's state, driven by a sequence of random method calls: every
call's result or exception is compared with the model's, and so are the counts, the
listings and the records after every step.

`Session(mesh_class, testing)` runs one sequence; `testing` is the fault-injection module
or None. Each step draws its method and arguments from a `Source` (the fuzzer's bytes).
"""

import json
import re

import json_model

STATUSES = ("starting", "running", "idle", "stopping", "stopped", "error")
STAGES = ("idle", "shadow_write", "shadow_read", "dual_read", "new_primary", "cleanup", "done")
U32_MAX = 2**32 - 1
U64_MAX = 2**64 - 1
TIMESTAMP = re.compile(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d{3}|\.\d{6}|\.\d{9})?\+00:00")

# Small pools, so that calls meet the same names again.
NAMES = ("a", "b", "", "é", "a\x00b", 'q"\\', "\U0001f600", "A")
TYPES = ("T", "U", "")
STATUS_TEXTS = STATUSES + ("Running", "", "bogus")
DOCUMENTS = ("1", "null", ' {"b": [1, 2.50], "a": {}} ', '"x\\u00e9\\n"', "-0", "18446744073709551616",
             "[true,false]", "{", "", "[1,]", "nul", '{"a":1,"a":2}', "1e400", '"\\ud800"')
RECORD_FIELDS = ("variable_name", "source_backend", "target_backend", "stage", "stage_name", "started_at",
                 "advanced_at", "discrepancy_count", "keys_migrated", "app_name")
COUNTS = (0, 1, 7, U32_MAX, U32_MAX + 1, U64_MAX, U64_MAX + 1, -1, True)

POISONED = {
    "registry": (RuntimeError, "State error: registry lock poisoned"),
    "state": (RuntimeError, "State error: state lock poisoned"),
    "migrations": (ValueError, "Migration error: lock poisoned"),
    "channels": (RuntimeError, "Channel error: channel lock poisoned"),
}


class Source:
    """Choices drawn from the fuzzer's bytes; zeros once they run out."""

    def __init__(self, data):
        self.data = data
        self.at = 0

    def more(self):
        return self.at < len(self.data)

    def byte(self):
        value = self.data[self.at] if self.more() else 0
        self.at += 1
        return value

    def pick(self, options):
        return options[self.byte() % len(options)]


def canonical(document):
    """The stored text of a document, or None when it is refused."""
    try:
        return json_model.write(json_model.read(document))
    except json_model.Refused:
        return None


def quoted_status(text):
    escapes = {'"': '\\"', "\\": "\\\\", "\t": "\\t", "\r": "\\r", "\n": "\\n", "\0": "\\0"}
    return '"' + "".join(escapes.get(c, c) for c in text) + '"'


class Expect:
    """What a call must do: return `value` (or pass `check`), or raise `error` with exactly
    `message` or with a text starting with `prefix`. `before_lock` marks failures found
    before the component is reached, which a poisoned component does not change."""

    def __init__(self, value=None, error=None, message=None, prefix=None, check=None, before_lock=False):
        self.value, self.error, self.message, self.prefix, self.check = value, error, message, prefix, check
        self.before_lock = before_lock


def unreadable():
    return Expect(error=ValueError, prefix="Serialization error: ", before_lock=True)


class Session:
    def __init__(self, mesh_class, testing=None):
        self.testing = testing
        self.mesh = mesh_class("myapp")
        self.agents = {}       # agent_id -> dict of the record's fields, timestamps included
        self.state = {}        # key -> canonical text
        self.migrations = {}   # variable -> dict of the record's fields
        self.topics = set()
        self.poisoned = set()

    # -- running ---------------------------------------------------------------------------

    def run(self, source, steps=60):
        for _ in range(steps):
            if not source.more():
                break
            self.step(source)
        self.check_everything()

    def step(self, source):
        operations = [self.register, self.update, self.deregister, self.get_agent, self.list_agents,
                      self.route, self.state_set, self.state_get, self.state_delete, self.state_exists,
                      self.state_keys, self.start, self.advance, self.rollback, self.get_migration,
                      self.publish, self.check_everything]
        if self.testing is not None:
            operations.append(self.fault)
        source.pick(operations)(source)

    def call(self, component, name, arguments, expect):
        """Calls a method and holds its outcome against `expect`, or against the poisoned
        error when the component is poisoned."""
        if component in self.poisoned and not expect.before_lock:
            expect = Expect(error=POISONED[component][0], message=POISONED[component][1])
        try:
            result = getattr(self.mesh, name)(*arguments)
        except Exception as raised:
            assert expect.error is not None, f"{name}{arguments!r} raised {raised!r}"
            assert type(raised) is expect.error, f"{name}{arguments!r} raised {raised!r}"
            if expect.message is not None:
                assert raised.args == (expect.message,), f"{name}{arguments!r}: {raised.args!r}"
            if expect.prefix is not None:
                assert str(raised).startswith(expect.prefix), f"{name}{arguments!r}: {raised}"
            return False
        assert expect.error is None, f"{name}{arguments!r} returned {result!r}, expected {expect.error}"
        if expect.check is not None:
            expect.check(result)
        else:
            assert result == expect.value, f"{name}{arguments!r} returned {result!r}, expected {expect.value!r}"
        return True

    # -- registry --------------------------------------------------------------------------

    def register(self, source):
        agent_id, agent_type = source.pick(NAMES), source.pick(TYPES)
        instance = source.pick(COUNTS)
        metadata = source.pick((None,) + DOCUMENTS)
        stored = "{}" if metadata is None else canonical(metadata)
        if not isinstance(instance, bool) and not 0 <= instance <= U32_MAX:
            message = "out of range integral type conversion attempted" if U32_MAX < instance <= U64_MAX else None
            expect = Expect(error=OverflowError, message=message, before_lock=True)
        elif stored is None:
            expect = unreadable()
        elif agent_id in self.agents:
            expect = Expect(error=RuntimeError, message=f"Agent '{agent_id}' is already registered")
        else:
            def check(text):
                entry = json.loads(text)
                assert entry["registered_at"] == entry["last_active"]
                assert TIMESTAMP.fullmatch(entry["registered_at"])
                self.agents[agent_id] = {"agent_type": agent_type, "status": "starting", "instance": int(instance),
                                         "registered_at": entry["registered_at"], "last_active": None,
                                         "metadata": stored}
                self.agent_matches(text)
            expect = Expect(check=check)
        self.call("registry", "register_agent", (agent_type, agent_id, instance, metadata), expect)

    def update(self, source):
        agent_id, status = source.pick(NAMES), source.pick(STATUS_TEXTS)
        if status not in STATUSES:
            expect = Expect(error=ValueError, message=f"Unknown status {quoted_status(status)}. "
                            "Valid values: starting, running, idle, stopping, stopped, error", before_lock=True)
        elif agent_id not in self.agents:
            expect = Expect(error=KeyError, message=f"Agent '/{agent_id}' not found in registry")
        else:
            expect = Expect()
        if self.call("registry", "update_agent_status", (agent_id, status), expect):
            self.agents[agent_id].update(status=status, last_active=None)

    def deregister(self, source):
        agent_id = source.pick(NAMES)
        if self.call("registry", "deregister_agent", (agent_id,), Expect()):
            self.agents.pop(agent_id, None)

    def get_agent(self, source):
        agent_id = source.pick(NAMES)
        if agent_id not in self.agents:
            self.call("registry", "get_agent", (agent_id,), Expect(None))
        else:
            self.call("registry", "get_agent", (agent_id,), Expect(check=self.agent_matches))

    def learn_last_active(self, entry):
        """A renewed last_active is known only once a record shows it."""
        known = self.agents[entry["agent_id"]]
        if known["last_active"] is None:
            assert TIMESTAMP.fullmatch(entry["last_active"]), entry
            known["last_active"] = entry["last_active"]

    def agent_matches(self, text):
        """`text` is exactly the record of a known agent."""
        entry = json.loads(text)
        self.learn_last_active(entry)
        assert text == self.agent_text(entry["agent_id"]), (text, self.agents[entry["agent_id"]])

    def agent_text(self, agent_id):
        known = self.agents[agent_id]
        return (f'{{"agent_id":{json_model.quote(agent_id)},"agent_type":{json_model.quote(known["agent_type"])},'
                f'"status":"{known["status"]}","instance":{known["instance"]},'
                f'"registered_at":"{known["registered_at"]}","last_active":"{known["last_active"]}",'
                f'"metadata":{known["metadata"]}}}')

    def list_agents(self, source):
        agent_type = source.pick((None,) + TYPES)
        status = source.pick((None,) + STATUS_TEXTS)
        wanted = {agent_id for agent_id, known in self.agents.items()
                  if agent_type in (None, known["agent_type"]) and status in (None, known["status"])}

        def check(text):
            entries = json.loads(text)
            listed = [entry["agent_id"] for entry in entries]
            assert sorted(listed) == sorted(wanted), (text, wanted)
            for entry in entries:
                self.learn_last_active(entry)
            assert text == "[" + ",".join(map(self.agent_text, listed)) + "]"
        self.call("registry", "list_agents", (agent_type, status), Expect(check=check))

    def route(self, source):
        agent_type, agent_id, method = source.pick(TYPES), source.pick(NAMES), source.pick(NAMES)
        arguments = source.pick(DOCUMENTS)
        known = self.agents.get(agent_id)
        if canonical(arguments) is None:
            expect = unreadable()
        elif known is None or known["status"] in ("stopped", "error"):
            expect = Expect(error=KeyError, message=f"Agent '{agent_type}/{agent_id}' not found in registry")
        else:
            expect = Expect(json_model.write({"agent_id": agent_id, "agent_type": agent_type, "method": method,
                                              "node": "localhost", "status": "routed"}))
        if self.call("registry", "route_agent_call", (agent_type, agent_id, method, arguments), expect) \
                and "registry" not in self.poisoned:
            known.update(status="running", last_active=None)

    # -- state -----------------------------------------------------------------------------

    def state_set(self, source):
        key, document = source.pick(NAMES), source.pick(DOCUMENTS)
        stored = canonical(document)
        expect = Expect() if stored is not None else unreadable()
        if self.call("state", "state_set", (key, document), expect):
            self.state[key] = stored

    def state_get(self, source):
        key = source.pick(NAMES)
        self.call("state", "state_get", (key,), Expect(self.state.get(key)))

    def state_delete(self, source):
        key = source.pick(NAMES)
        if self.call("state", "state_delete", (key,), Expect()):
            self.state.pop(key, None)

    def state_exists(self, source):
        key = source.pick(NAMES)
        self.call("state", "state_exists", (key,), Expect(key in self.state))

    def state_keys(self, source):
        prefix = source.pick(("",) + NAMES)
        wanted = sorted((key for key in self.state if key.encode().startswith(prefix.encode())), key=str.encode)
        self.call("state", "state_keys", (prefix,), Expect(wanted))

    # -- migrations ------------------------------------------------------------------------

    def record_check(self, name, fresh=False, **changes):
        """Checks a returned record against the known one with `changes` applied (or, when
        `fresh`, against `changes` alone), and keeps it."""
        def check(text):
            record = json.loads(text)
            expected = dict(changes) if fresh else dict(self.migrations[name], **changes)
            assert list(record) == list(RECORD_FIELDS), text
            assert record["stage_name"] == STAGES[expected["stage"]]
            assert TIMESTAMP.fullmatch(record["advanced_at"])
            if "started_at" in expected:
                assert record["started_at"] == expected["started_at"]
            else:
                assert record["started_at"] == record["advanced_at"]
            for field in RECORD_FIELDS[:4] + RECORD_FIELDS[7:]:
                assert record[field] == expected[field], (field, record, expected)
            self.migrations[name] = dict(expected, started_at=record["started_at"])
        return check

    def start(self, source):
        name, source_backend, target_backend = source.pick(NAMES), source.pick(NAMES), source.pick(NAMES)
        known = self.migrations.get(name)
        if known is not None and known["stage"] < 6:
            expect = Expect(error=ValueError, message=f"Migration error: Migration for '{name}' already in "
                            f"progress at stage {known['stage']} ({STAGES[known['stage']]})")
        else:
            expect = Expect(check=self.record_check(
                name, fresh=True, variable_name=name, source_backend=source_backend, target_backend=target_backend, stage=1,
                discrepancy_count=0, keys_migrated=0, app_name="myapp"))
        self.call("migrations", "start_migration", (name, source_backend, target_backend), expect)

    def advance(self, source):
        name, discrepancies, keys = source.pick(NAMES), source.pick(COUNTS), source.pick(COUNTS)
        known = self.migrations.get(name)
        if any(not isinstance(n, bool) and not 0 <= n <= U64_MAX for n in (discrepancies, keys)):
            expect = Expect(error=OverflowError, before_lock=True)
        elif known is None:
            expect = Expect(error=ValueError, message=f"Migration error: No migration in progress for '{name}'")
        elif known["stage"] == 6:
            expect = Expect(error=ValueError, message=f"Migration error: Migration for '{name}' is already complete")
        else:
            expect = Expect(check=self.record_check(
                name, stage=known["stage"] + 1,
                discrepancy_count=min(U64_MAX, known["discrepancy_count"] + discrepancies),
                keys_migrated=min(U64_MAX, known["keys_migrated"] + keys)))
        self.call("migrations", "advance_migration", (name, discrepancies, keys), expect)

    def rollback(self, source):
        name = source.pick(NAMES)
        known = self.migrations.get(name)
        if known is None:
            expect = Expect(error=ValueError, message=f"Migration error: No migration in progress for '{name}'")
        elif known["stage"] == 0:
            expect = Expect(error=ValueError,
                            message="Migration error: Already at initial stage \u2014 cannot roll back further")
        elif known["stage"] == 6:
            expect = Expect(error=ValueError, message="Migration error: Cannot roll back a completed migration")
        else:
            expect = Expect(check=self.record_check(name, stage=known["stage"] - 1))
        self.call("migrations", "rollback_migration", (name,), expect)

    def get_migration(self, source):
        name = source.pick(NAMES)
        if name in self.migrations:
            self.call("migrations", "get_migration", (name,), Expect(check=self.record_check(name)))
        else:
            self.call("migrations", "get_migration", (name,), Expect(None))

    # -- channels --------------------------------------------------------------------------

    def publish(self, source):
        topic, payload = source.pick(NAMES), source.pick(DOCUMENTS)
        if canonical(payload) is None:
            expect = unreadable()
        else:
            expect = Expect(0)
        if self.call("channels", "publish", (topic, payload), expect):
            self.topics.add(topic)

    # -- faults ----------------------------------------------------------------------------

    def fault(self, source):
        """Arms one fault site and makes the one call that reaches it."""
        site, component, exclusive, reach = source.pick(FAULTS)
        if component in self.poisoned:
            return
        self.testing.inject_fault(site)
        try:
            reach(self)
        except BaseException as raised:  # noqa: B036 - the fault is no Exception
            assert type(raised).__name__ == "PanicException" and not isinstance(raised, Exception), raised
            assert str(raised) == f"injected fault at {site}"
        else:
            raise AssertionError(f"the fault at {site} did not surface")
        if exclusive:
            self.poisoned.add(component)

    # -- whole-mesh checks -----------------------------------------------------------------

    def check_everything(self, source=None):
        agents = {} if "registry" in self.poisoned else self.agents
        statuses = [known["status"] for known in agents.values()]
        keys = 0 if "state" in self.poisoned else len(self.state)
        active = 0 if "migrations" in self.poisoned else sum(m["stage"] < 6 for m in self.migrations.values())
        topics = 0 if "channels" in self.poisoned else len(self.topics)
        snapshot = {"agents": {"error": statuses.count("error"), "idle": statuses.count("idle"),
                               "running": statuses.count("running"), "total": len(statuses)},
                    "app": "myapp", "channels": {"topics": topics}, "migrations": {"active": active},
                    "state": {"keys": keys}, "status": "ok"}
        assert self.mesh.health_snapshot() == json_model.write(snapshot)
        assert repr(self.mesh) == f'OrvelMesh(app="myapp", agents={len(statuses)}, state_keys={keys}, ' \
                                  f'migrations={active})'
        self.call("state", "state_keys", ("",), Expect(sorted(self.state, key=str.encode)))

        def listed(text):
            records = json.loads(text)
            assert sorted(record["variable_name"] for record in records) == sorted(self.migrations)
            for record in records:
                self.record_check(record["variable_name"])(json.dumps(record))
        self.call("migrations", "list_migrations", (), Expect(check=listed))


# site, component, whether the site holds the lock exclusively, the call that reaches it
FAULTS = (
    ("registry.register", "registry", True, lambda s: s.mesh.register_agent("T", "fault-new")),
    # A delete takes its exclusive hold only for what is there: "a" is made first.
    ("registry.deregister", "registry", True,
     lambda s: (s.mesh.get_agent("a") or s.mesh.register_agent("T", "a"), s.mesh.deregister_agent("a"))),
    ("registry.set_status", "registry", True, lambda s: s.mesh.update_agent_status("a", "idle")),
    ("registry.get", "registry", False, lambda s: s.mesh.get_agent("a")),
    ("state.set", "state", True, lambda s: s.mesh.state_set("a", "1")),
    ("state.remove", "state", True, lambda s: (s.mesh.state_set("a", "1"), s.mesh.state_delete("a"))),
    ("state.get", "state", False, lambda s: s.mesh.state_get("a")),
    ("migrations.start", "migrations", True, lambda s: s.mesh.start_migration("a", "x", "y")),
    ("migrations.advance", "migrations", True, lambda s: s.mesh.advance_migration("a")),
    ("migrations.rollback", "migrations", True, lambda s: s.mesh.rollback_migration("a")),
    ("migrations.get", "migrations", False, lambda s: s.mesh.get_migration("a")),
    ("channels.publish", "channels", True, lambda s: s.mesh.publish("a", "1")),
)
