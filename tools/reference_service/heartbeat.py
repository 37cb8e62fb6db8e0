"""The heartbeat receiver (UDP 910): records every datagram, answers none."""
from . import connection
from .records import latin1, warn

MAX_DATAGRAM = 65535


def receive(sock, records):
    """Read one waiting datagram and record it; never raises."""
    try:
        data, peer = sock.recvfrom(MAX_DATAGRAM)
    except BlockingIOError:
        return
    except OSError as e:
        warn("heartbeat receive failed: %r" % e)
        return
    records.write({
        "server": "heartbeat",
        "local": connection.endpoint(sock.getsockname()),
        "peer": connection.endpoint(peer),
        "raw_hex": data.hex(),
        "shift": None,
        "line": latin1(data),
        "fields": {},
        "field_order": [],
        "pairs": [],
        "auth_ok": None,
        "reply": "",
        "mode": "record",
        "behaviour_from": None,
    })
