"""What an application would write without orvel_mesh: the same nineteen methods on plain
dicts, written straightforwardly. JSON goes through a pair of functions, so one class
serves as both the standard-library reference and the orjson one.
"""

import json
from datetime import datetime, timezone

STATUSES = ("starting", "running", "idle", "stopping", "stopped", "error")
STAGES = ("idle", "shadow_write", "shadow_read", "dual_read", "new_primary", "cleanup", "done")
DONE = len(STAGES) - 1
U64 = 1 << 64


def stdlib_codec():
    """(loads, dumps sorted, dumps in insertion order) on the json module."""

    def dumps_sorted(value):
        return json.dumps(value, sort_keys=True, separators=(",", ":"), ensure_ascii=False)

    def dumps_ordered(value):
        return json.dumps(value, separators=(",", ":"), ensure_ascii=False)

    return json.loads, dumps_sorted, dumps_ordered


def orjson_codec():
    """The same on orjson, decoded to str as the methods return text."""
    import orjson

    def dumps_sorted(value):
        return orjson.dumps(value, option=orjson.OPT_SORT_KEYS).decode()

    def dumps_ordered(value):
        return orjson.dumps(value).decode()

    return orjson.loads, dumps_sorted, dumps_ordered


def now():
    return datetime.now(timezone.utc).isoformat()


class ReferenceMesh:
    def __init__(self, app_name, plan_json="", codec=None):
        self._loads, self._dumps, self._dumps_record = codec or stdlib_codec()
        self.app_name = app_name
        stripped = plan_json.strip()
        self._plan = self._loads(stripped) if stripped and stripped != "{}" else {}
        self._agents = {}
        self._state = {}
        self._migrations = {}
        self._topics = {}

    # Agents

    def register_agent(self, agent_type, agent_id, instance=0, metadata_json=None):
        metadata = {} if metadata_json is None else self._loads(metadata_json)
        if agent_id in self._agents:
            raise RuntimeError(f"Agent '{agent_id}' is already registered")
        stamp = now()
        entry = {
            "agent_id": agent_id,
            "agent_type": agent_type,
            "status": "starting",
            "instance": instance,
            "registered_at": stamp,
            "last_active": stamp,
            "metadata": metadata,
        }
        self._agents[agent_id] = entry
        return self._dumps_record(entry)

    def update_agent_status(self, agent_id, status):
        if status not in STATUSES:
            raise ValueError(f"Unknown status {status!r}. Valid values: {', '.join(STATUSES)}")
        entry = self._agents.get(agent_id)
        if entry is None:
            raise KeyError(f"Agent '/{agent_id}' not found in registry")
        entry["status"] = status
        entry["last_active"] = now()

    def deregister_agent(self, agent_id):
        self._agents.pop(agent_id, None)

    def get_agent(self, agent_id):
        entry = self._agents.get(agent_id)
        return None if entry is None else self._dumps_record(entry)

    def list_agents(self, agent_type=None, status=None):
        return self._dumps_record([
            entry for entry in self._agents.values()
            if (agent_type is None or entry["agent_type"] == agent_type)
            and (status is None or entry["status"] == status)
        ])

    def route_agent_call(self, agent_type, agent_id, method, args_json="{}"):
        self._loads(args_json)
        entry = self._agents.get(agent_id)
        if entry is None or entry["status"] in ("stopped", "error"):
            raise KeyError(f"Agent '{agent_type}/{agent_id}' not found in registry")
        entry["status"] = "running"
        entry["last_active"] = now()
        return self._dumps({"status": "routed", "agent_type": agent_type, "agent_id": agent_id,
                            "method": method, "node": "localhost"})

    # State

    def state_get(self, key):
        try:
            value = self._state[key]
        except KeyError:
            return None
        return self._dumps(value)

    def state_set(self, key, value_json):
        self._state[key] = self._loads(value_json)

    def state_delete(self, key):
        self._state.pop(key, None)

    def state_exists(self, key):
        return key in self._state

    def state_keys(self, prefix=""):
        # Sorting str by code point is the byte order of their UTF-8.
        return sorted(key for key in self._state if key.startswith(prefix))

    # Migrations

    def start_migration(self, variable_name, source_backend, target_backend):
        record = self._migrations.get(variable_name)
        if record is not None and record["stage"] < DONE:
            raise ValueError(f"Migration error: Migration for '{variable_name}' already in progress "
                             f"at stage {record['stage']} ({record['stage_name']})")
        stamp = now()
        record = {
            "variable_name": variable_name,
            "source_backend": source_backend,
            "target_backend": target_backend,
            "stage": 1,
            "stage_name": STAGES[1],
            "started_at": stamp,
            "advanced_at": stamp,
            "discrepancy_count": 0,
            "keys_migrated": 0,
            "app_name": self._plan.get("app_name") or self.app_name,
        }
        self._migrations[variable_name] = record
        return self._dumps_record(record)

    def advance_migration(self, variable_name, discrepancy_count=0, keys_migrated=0):
        record = self._existing_migration(variable_name)
        if record["stage"] == DONE:
            raise ValueError(f"Migration error: Migration for '{variable_name}' is already complete")
        self._move(record, record["stage"] + 1)
        record["discrepancy_count"] = (record["discrepancy_count"] + discrepancy_count) % U64
        record["keys_migrated"] = (record["keys_migrated"] + keys_migrated) % U64
        return self._dumps_record(record)

    def rollback_migration(self, variable_name):
        record = self._existing_migration(variable_name)
        if record["stage"] == 0:
            raise ValueError("Migration error: Already at initial stage \u2014 cannot roll back further")
        if record["stage"] == DONE:
            raise ValueError("Migration error: Cannot roll back a completed migration")
        self._move(record, record["stage"] - 1)
        return self._dumps_record(record)

    def get_migration(self, variable_name):
        record = self._migrations.get(variable_name)
        return None if record is None else self._dumps_record(record)

    def list_migrations(self):
        return self._dumps_record(list(self._migrations.values()))

    def _existing_migration(self, variable_name):
        record = self._migrations.get(variable_name)
        if record is None:
            raise ValueError(f"Migration error: No migration in progress for '{variable_name}'")
        return record

    @staticmethod
    def _move(record, stage):
        record["stage"] = stage
        record["stage_name"] = STAGES[stage]
        record["advanced_at"] = now()

    # Topics: nobody subscribes in-process, so a topic is its (empty) list of subscribers.

    def publish(self, topic, payload_json):
        payload = self._loads(payload_json)
        subscribers = self._topics.get(topic)
        if subscribers is None:
            subscribers = self._topics[topic] = []
        if subscribers:
            message = (topic, payload, now())
            for queue in subscribers:
                queue.append(message)
        return len(subscribers)

    # Reporting

    def health_snapshot(self):
        statuses = [entry["status"] for entry in self._agents.values()]
        return self._dumps({
            "agents": {
                "error": statuses.count("error"),
                "idle": statuses.count("idle"),
                "running": statuses.count("running"),
                "total": len(statuses),
            },
            "app": self.app_name,
            "channels": {"topics": len(self._topics)},
            "migrations": {"active": sum(r["stage"] < DONE for r in self._migrations.values())},
            "state": {"keys": len(self._state)},
            "status": "ok",
        })

    def plan_json(self):
        plan = self._plan
        return self._dumps_record({
            "app_name": plan.get("app_name", ""),
            "backends": plan.get("backends", {}),
            "functions": plan.get("functions", []),
            "agents": plan.get("agents", []),
        })
