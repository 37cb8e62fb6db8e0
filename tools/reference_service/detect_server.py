"""The address detection exchange (TCP 901): a plain request line, the address back."""
from . import connection, wire
from .records import latin1


def build_reply(behaviour, peer_ip) -> str:
    mode = behaviour["mode"]
    if mode == "answer":
        address = peer_ip if behaviour["address"] == "peer" else behaviour["address"]
        return address + behaviour["end"]
    return connection.fault_reply(behaviour)


def _read_request(data, complete):
    line = data[:-1] if complete else data
    if line.endswith(b"\r"):
        line = line[:-1]
    text = latin1(line)
    pairs = wire.parse_fields(text) if text else []
    fields = dict(shift=None, **wire.line_record(text, pairs), auth_ok=None)
    # The client went away (or never spoke): nobody to answer.
    return fields, (text if data else None)


def _respond(_request, behaviour, _accounts, peer_ip):
    return behaviour["mode"], build_reply(behaviour, peer_ip), {}


handle = connection.LineServer("detect", "detection", _read_request, _respond).handle
