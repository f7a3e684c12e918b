"""Move a storage variable to a new backend, stage by stage, with a rollback.

The mesh keeps the record and enforces the stage order; the application does
the copying and comparing and reports what it saw with every advance.
"""

import json

from orvel_mesh import OrvelMesh

VARIABLE = "counter.Counts"


def show(action: str, record_json: str) -> None:
    record = json.loads(record_json)
    print(f"{action:<10} -> stage {record['stage']} {record['stage_name']:<12} "
          f"keys_migrated={record['keys_migrated']} discrepancy_count={record['discrepancy_count']}")


def main() -> None:
    mesh = OrvelMesh("shop")
    sqlite = {f"count:{n}": n * 10 for n in range(1, 6)}
    redis: dict[str, int] = {}

    show("start", mesh.start_migration(VARIABLE, "sqlite", "redis"))

    # shadow_write: new writes go to both backends; copy the existing keys.
    for key in list(sqlite)[:3]:
        redis[key] = sqlite[key]
    show("advance", mesh.advance_migration(VARIABLE, keys_migrated=3))

    # shadow_read: compare reads; two keys are missing on the new backend,
    # so go back to copying.
    missing = [key for key in sqlite if redis.get(key) != sqlite[key]]
    print(f"{len(missing)} keys differ: {missing}")
    show("rollback", mesh.rollback_migration(VARIABLE))

    for key in missing:
        redis[key] = sqlite[key]
    show("advance", mesh.advance_migration(VARIABLE, discrepancy_count=len(missing), keys_migrated=len(missing)))

    while True:
        current = mesh.get_migration(VARIABLE)
        if current is None or json.loads(current)["stage_name"] == "done":
            break
        show("advance", mesh.advance_migration(VARIABLE))

    try:
        mesh.advance_migration(VARIABLE)
    except ValueError as error:
        print("refused:", error)
    try:
        mesh.rollback_migration(VARIABLE)
    except ValueError as error:
        print("refused:", error)

    # A migration that is still at its first stage can only go back to idle once.
    show("start", mesh.start_migration("orders.Archive", "sqlite", "postgres"))
    show("rollback", mesh.rollback_migration("orders.Archive"))
    try:
        mesh.rollback_migration("orders.Archive")
    except ValueError as error:
        print("refused:", error)

    migrations = sorted(json.loads(mesh.list_migrations()), key=lambda record: record["variable_name"])
    print("migrations:", [(record["variable_name"], record["stage_name"]) for record in migrations])
    print(repr(mesh))


if __name__ == "__main__":
    main()
