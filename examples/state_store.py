"""Keep application state in the mesh's key/value store.

Values go in as JSON text and come back in the mesh's canonical form; keys
are listed by prefix, sorted.
"""

import json

from orvel_mesh import OrvelMesh


def increment(mesh: OrvelMesh, key: str) -> int:
    """A counter kept in the store: a missing key counts as 0."""
    current = mesh.state_get(key)
    value = 1 if current is None else json.loads(current) + 1
    mesh.state_set(key, json.dumps(value))
    return int(value)


def main() -> None:
    mesh = OrvelMesh("shop")

    mesh.state_set("cart:7", '{ "owner": "customer-123", "items": [3, 1.50] }')
    mesh.state_set("cart:12", '{"owner": "customer-456", "items": []}')
    mesh.state_set("session:customer-123", '"5c1f"')
    print("cart:7 =", mesh.state_get("cart:7"))

    text = mesh.state_get("cart:7")
    if text is not None:
        print("owner of cart:7:", json.loads(text)["owner"])

    print("carts:", mesh.state_keys("cart:"))
    print("all keys:", mesh.state_keys())

    for _ in range(3):
        increment(mesh, "visits")
    print("visits =", mesh.state_get("visits"))

    mesh.state_delete("cart:12")
    mesh.state_delete("cart:12")  # deleting a missing key is not an error
    print("cart:12 exists:", mesh.state_exists("cart:12"), "| value:", mesh.state_get("cart:12"))

    try:
        mesh.state_set("cart:7", "{'owner': 'nobody'}")
    except ValueError as unreadable:
        print("refused:", unreadable)
    print("cart:7 unchanged:", mesh.state_get("cart:7"))


if __name__ == "__main__":
    main()
