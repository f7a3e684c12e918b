"""Before anything is timed: every contender must give the same answers, or the suite
would compare work of different kinds."""

import json

from cases import (AGENT, DOCUMENTS, KEY, MESH, ORJSON, PAYLOAD, REFERENCE, SMALL_VALUE, fill_state, keys_prefix,
                   new_contender, read_document)

STAMPS = ("registered_at", "last_active")


def answers(mesh):
    """What a contender answers to each timed call, in comparable form."""
    mesh.state_set(KEY, SMALL_VALUE)
    registered = json.loads(mesh.register_agent("Worker", AGENT))
    found = {
        "state_exists hit": mesh.state_exists(KEY),
        "state_exists miss": mesh.state_exists("user:missing"),
        "state_get": mesh.state_get(KEY),
        "get_agent miss": mesh.get_agent("agent-missing"),
        "register_agent": {name: value for name, value in registered.items() if name not in STAMPS},
        "route_agent_call": mesh.route_agent_call("Worker", AGENT, "checkout"),
        "deregister_agent": mesh.deregister_agent(AGENT),
        "get_agent after deregister": mesh.get_agent(AGENT),
        "publish": mesh.publish("orders", PAYLOAD),
    }
    for document in DOCUMENTS:
        mesh.state_set("doc", read_document(document))
        # Float texts may differ between writers; the values they stand for may not.
        found[f"canonicalise {document}"] = json.loads(mesh.state_get("doc"))
    fill_state(mesh, 200)
    found["state_keys"] = mesh.state_keys(keys_prefix())
    return found


def check_contenders_agree():
    expected = answers(new_contender(REFERENCE))
    if len(expected["state_keys"]) != 10:
        raise SystemExit(f"the listing should select 10 keys, not {expected['state_keys']}")
    for contender in (MESH, ORJSON):
        found = answers(new_contender(contender))
        differing = [name for name in expected if found[name] != expected[name]]
        if differing:
            raise SystemExit(f"{contender} disagrees with the reference on: {', '.join(differing)}")
    print("contenders agree on every timed call")
