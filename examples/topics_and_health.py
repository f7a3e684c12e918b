"""Publish to topics and read the mesh's health snapshot.

Topics come into being on their first publish. Nothing in the process
subscribes, so every publish reaches 0 receivers.
"""

import json

from orvel_mesh import OrvelMesh


def ready(mesh: OrvelMesh) -> bool:
    """A readiness check an application could serve: no agent in error."""
    agents_in_error: int = json.loads(mesh.health_snapshot())["agents"]["error"]
    return agents_in_error == 0


def main() -> None:
    mesh = OrvelMesh("shop", '{"app_name": "shop", "agents": ["Customer"], "functions": ["checkout"]}')
    print("plan:", mesh.plan_json())
    print("snapshot:", mesh.health_snapshot())

    for topic, payload in [("orders", '{"order": 7, "total": 12.50}'), ("orders", '{"order": 8}'), ("audit", '"login"')]:
        print(f"publish to {topic!r}: {mesh.publish(topic, payload)} receivers")

    try:
        mesh.publish("alerts", "{oops}")
    except ValueError as unreadable:
        print("refused:", unreadable)

    mesh.register_agent("Customer", "customer-123")
    mesh.register_agent("Customer", "customer-456")
    mesh.route_agent_call("Customer", "customer-123", "checkout")
    mesh.update_agent_status("customer-456", "error")
    mesh.state_set("cart:7", "[3]")
    mesh.start_migration("counter.Counts", "sqlite", "redis")

    snapshot = mesh.health_snapshot()
    print("snapshot:", snapshot)
    print("topics:", json.loads(snapshot)["channels"]["topics"])
    print("ready:", ready(mesh))
    mesh.update_agent_status("customer-456", "idle")
    print("ready after recovery:", ready(mesh))


if __name__ == "__main__":
    main()
