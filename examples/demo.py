"""A short tour of the mesh: agents, shared state, a migration, a topic, the snapshot."""

import json

import orvel_mesh
from orvel_mesh import OrvelMesh

mesh = OrvelMesh("shop", '{"app_name": "shop", "agents": ["Customer"]}')
print(f"orvel_mesh {orvel_mesh.__version__}: {mesh!r}")
print("plan:", mesh.plan_json())

print("\n-- agents")
print(mesh.register_agent("Customer", "customer-123", metadata_json='{"region": "eu"}'))
print(mesh.route_agent_call("Customer", "customer-123", "checkout", '{"cart": 7}'))
mesh.update_agent_status("customer-123", "idle")
print("idle agents:", json.loads(mesh.list_agents(status="idle"))[0]["agent_id"])

print("\n-- shared state")
mesh.state_set("cart:7", '{"items": [3, 1.50], "owner": "customer-123"}')
mesh.state_set("cart:8", "[]")
print("cart:7 =", mesh.state_get("cart:7"))
print("keys with prefix 'cart:':", mesh.state_keys("cart:"))

print("\n-- migration")
mesh.start_migration("counter.Counts", "sqlite", "redis")
for copied in (120, 80, 0, 0, 0):
    record = json.loads(mesh.advance_migration("counter.Counts", keys_migrated=copied))
    print(f"stage {record['stage']} {record['stage_name']:<12} keys_migrated={record['keys_migrated']}")

print("\n-- topics")
print("receivers reached:", mesh.publish("orders", '{"order": 7}'))

print("\n-- health")
print(mesh.health_snapshot())
print(repr(mesh))
