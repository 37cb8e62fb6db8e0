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


def handle(sock, local, peer, store, records, read_timeout):
    """Serve one connection; never raises."""
    connection.serve_guarded(lambda sock, peer: _handle(sock, local, peer, store, records, read_timeout),
                             "update", sock, peer)


def _handle(sock, local, peer, store, records, read_timeout):
    store.refresh()
    data, complete, rest = connection.read_line(sock, read_timeout)
    line = data[:-1] if complete else data
    record = connection.new_record("update", local, peer, data, rest, complete)
    shift, plain = wire.descramble(line)
    if shift is None:
        record.update(shift=None, **wire.line_record(latin1(line), []), auth_ok=None)
        connection.close_unanswered(sock, record, records)
        return

    text = latin1(plain)
    pairs = wire.parse_fields(text)
    record.update(shift=shift, **wire.line_record(text, pairs))
    if not complete:
        # No line end before close or timeout: the request never finished, so
        # no behaviour is used up and nothing is answered.
        record.update(auth_ok=None)
        connection.close_unanswered(sock, record, records)
        return

    behaviour, source, accounts = store.choose("update", local[0])
    auth_ok = wire.check_login(accounts, pairs)
    mode = behaviour["mode"]
    if auth_ok is False and mode in _LOGIN_MODES:
        mode = "wrong_login"
    reply = build_reply(mode, behaviour, peer[0])
    record.update(auth_ok=auth_ok, reply=reply, mode=mode, behaviour_from=source)
    # Written before any delay or byte of the reply, so a test that saw the
    # client react to the reply always finds the record.
    records.write(record)
    connection.answer(sock, reply, mode, behaviour)
