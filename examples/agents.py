"""Register agents with the mesh and route calls to them.

The mesh checks that a call may go ahead and marks the agent running; the
application then makes the call itself, guided by the routing descriptor.
"""

import json
from typing import Any

from orvel_mesh import OrvelMesh


class Customer:
    """An agent of the application: one instance per customer."""

    def __init__(self, customer_id: str) -> None:
        self.customer_id = customer_id

    def checkout(self, cart: int) -> str:
        return f"{self.customer_id} checked out cart {cart}"


def call_agent(mesh: OrvelMesh, agents: dict[str, Customer], agent_id: str, method: str, **kwargs: Any) -> Any:
    """Ask the mesh to route the call, then dispatch it to the Python object."""
    descriptor = mesh.route_agent_call("Customer", agent_id, method, json.dumps(kwargs))
    print("route:", descriptor)
    route = json.loads(descriptor)
    return getattr(agents[route["agent_id"]], route["method"])(**kwargs)


def agent_ids(mesh: OrvelMesh, status: str | None = None) -> list[str]:
    # The registry promises no order, so sort for stable output.
    return sorted(agent["agent_id"] for agent in json.loads(mesh.list_agents("Customer", status)))


def main() -> None:
    mesh = OrvelMesh("shop")
    customers = {customer_id: Customer(customer_id) for customer_id in ("customer-123", "customer-456")}

    for instance, customer_id in enumerate(customers):
        entry = json.loads(mesh.register_agent("Customer", customer_id, instance, '{"region": "eu"}'))
        print(f"registered {entry['agent_id']}: instance {entry['instance']}, status {entry['status']}, "
              f"metadata {entry['metadata']}")

    try:
        mesh.register_agent("Customer", "customer-123")
    except RuntimeError as duplicate:
        print("refused:", duplicate)

    print(call_agent(mesh, customers, "customer-123", "checkout", cart=7))
    print("running:", agent_ids(mesh, "running"))
    print("all:", agent_ids(mesh))

    mesh.update_agent_status("customer-456", "stopped")
    try:
        call_agent(mesh, customers, "customer-456", "checkout", cart=8)
    except KeyError as refused:
        print("refused:", refused.args[0])

    try:
        mesh.update_agent_status("customer-456", "paused")
    except ValueError as unknown:
        print("refused:", unknown)

    mesh.deregister_agent("customer-456")
    print("customer-456 after deregistering:", mesh.get_agent("customer-456"))
    print(repr(mesh))


if __name__ == "__main__":
    main()
