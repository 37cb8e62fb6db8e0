"""The update exchange (TCP 900): one scrambled request line, one reply line."""
from . import connection, wire
from .records import latin1

# Modes that answer with an address line; a failed login turns them into wrong_login.
_LOGIN_MODES = ("success", "deactivated")


def build_reply(mode, behaviour, peer_ip) -> str:
    if mode in ("success", "wrong_login", "deactivated"):
        ip = peer_ip if behaviour["ip"] == "peer" else behaviour["ip"]
        text = "IP:" + ip
        if mode == "wrong_login":
            text += " C1:3"
        elif mode == "deactivated":
            text += " C1:1"
        for key, value in behaviour["fields"]:
            text += " %s:%s" % (key, value)
        if behaviour["mess"] is not None:
            text += " MESS:" + behaviour["mess"]
        return text + behaviour["end"]
    return connection.fault_reply(behaviour)


def _read_request(data, complete):
    line = data[:-1] if complete else data
    shift, plain = wire.descramble(line)
    if shift is None:
        return dict(shift=None, **wire.line_record(latin1(line), []), auth_ok=None), None
    text = latin1(plain)
    pairs = wire.parse_fields(text)
    fields = dict(shift=shift, **wire.line_record(text, pairs), auth_ok=None)
    # No line end before close or timeout: the request never finished, so no
    # behaviour is used up and nothing is answered.
    return fields, (pairs if complete else None)


def _respond(pairs, behaviour, accounts, peer_ip):
    auth_ok = wire.check_login(accounts, pairs)
    mode = behaviour["mode"]
    if auth_ok is False and mode in _LOGIN_MODES:
        mode = "wrong_login"
    return mode, build_reply(mode, behaviour, peer_ip), {"auth_ok": auth_ok}


handle = connection.LineServer("update", "update", _read_request, _respond).handle
