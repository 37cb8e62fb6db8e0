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
    record = connection.new_record("detect", local, peer, data, rest, complete)
    record.update(shift=None, **wire.line_record(text, pairs), auth_ok=None)
    if not data:
        # The client went away (or never spoke): nobody to answer.
        connection.close_unanswered(sock, record, records)
        return
    behaviour, source, _ = store.choose("detect", local[0])
    reply = build_reply(behaviour, peer[0])
    record.update(reply=reply, mode=behaviour["mode"], behaviour_from=source)
    records.write(record)
    connection.answer(sock, reply, behaviour["mode"], behaviour)
