"""The address detection exchange (TCP 901): a plain request line, the address back."""
from . import connection, wire
from .records import latin1


def build_reply(behaviour, peer_ip) -> str:
    mode = behaviour["mode"]
    if mode == "answer":
        address = peer_ip if behaviour["address"] == "peer" else behaviour["address"]
        return address + behaviour["end"]
    return connection.fault_reply(behaviour)


def handle(sock, local, peer, store, records, read_timeout):
    """Serve one connection; never raises."""
    connection.serve_guarded(lambda sock, peer: _handle(sock, local, peer, store, records, read_timeout),
                             "detection", sock, peer)


def _handle(sock, local, peer, store, records, read_timeout):
    store.refresh()
    data, complete, rest = connection.read_line(sock, read_timeout)
    line = data[:-1] if complete else data
    if line.endswith(b"\r"):
        line = line[:-1]
    text = latin1(line)
    pairs = wire.parse_fields(text) if text else []
    record = {
        "server": "detect",
        "local": connection.endpoint(local),
        "peer": connection.endpoint(peer),
        "raw_hex": data.hex(),
        "rest_hex": rest.hex(),
        "complete": complete,
        "shift": None,
        "line": text,
        "fields": wire.first_values(pairs),
        "field_order": [name for name, _ in pairs],
        "pairs": [list(p) for p in pairs],
        "auth_ok": None,
    }
    if not data:
        # The client went away (or never spoke): nobody to answer.
        record.update(reply="", mode=None, behaviour_from=None)
        records.write(record)
        connection.finish(sock)
        return
    behaviour, source, _ = store.choose("detect", local[0])
    reply = build_reply(behaviour, peer[0])
    record.update(reply=reply, mode=behaviour["mode"], behaviour_from=source)
    records.write(record)
    if behaviour["mode"] == "refuse":
        connection.abort(sock)
        return
    if behaviour["mode"] != "silent_close":
        connection.send_reply(sock, reply.encode("latin-1"), behaviour)
    connection.finish(sock)
