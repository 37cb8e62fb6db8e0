"""One TCP exchange: read the request line, send the reply in pieces, close politely."""
import socket
import struct
import time

from .records import warn

LINE_LIMIT = 65536
RECV_CHUNK = 4096
DRAIN_SECONDS = 1.0
# How long one piece of a reply may wait for room in the client's window.
SEND_SECONDS = 10.0
# How long a silent server keeps a connection open for a client that never closes it.
HOLD_SECONDS = 600.0


def read_line(sock, timeout):
    """Read up to the first LF, like a peer that reads a line.

    Returns (line, complete, rest): line includes the LF when one came,
    complete tells whether it did, rest holds bytes that arrived after it in
    the same reads (a scrambled byte 0x0A cuts the line there; rest shows the
    remainder). Stops on EOF, timeout or LINE_LIMIT bytes.
    """
    buf = b""
    deadline = time.monotonic() + timeout
    while b"\n" not in buf and len(buf) < LINE_LIMIT:
        left = deadline - time.monotonic()
        if left <= 0:
            break
        sock.settimeout(left)
        try:
            chunk = sock.recv(RECV_CHUNK)
        except (socket.timeout, OSError):
            break
        if not chunk:
            break
        buf += chunk
    cut = buf.find(b"\n")
    if cut < 0:
        return buf, False, b""
    return buf[: cut + 1], True, buf[cut + 1 :]


def split_pieces(data: bytes, pieces: int):
    """n parts of near-equal size, never an empty one."""
    n = max(1, min(pieces, len(data)))
    bounds = [len(data) * i // n for i in range(n + 1)]
    return [data[bounds[i] : bounds[i + 1]] for i in range(n)]


def send_reply(sock, data: bytes, behaviour):
    """Wait delay_ms, then send the reply in its pieces with gap_ms between them."""
    if behaviour.get("delay_ms"):
        time.sleep(behaviour["delay_ms"] / 1000.0)
    if not data:
        return
    sock.settimeout(SEND_SECONDS)
    # Without this, the kernel may join pieces that the test wants apart.
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    parts = split_pieces(data, behaviour.get("pieces", 1))
    for i, part in enumerate(parts):
        if i and behaviour.get("gap_ms"):
            time.sleep(behaviour["gap_ms"] / 1000.0)
        sock.sendall(part)


def finish(sock):
    """Close after our last byte without a reset.

    Closing with unread input makes the kernel send RST, which can cost the
    client the reply still in its buffer; so half-close and drain briefly.
    """
    try:
        sock.shutdown(socket.SHUT_WR)
        deadline = time.monotonic() + DRAIN_SECONDS
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                break
            sock.settimeout(left)
            if not sock.recv(RECV_CHUNK):
                break
    except OSError:
        pass
    finally:
        sock.close()


def hold(sock):
    """Keep the connection open without a word until the client closes it."""
    try:
        sock.settimeout(HOLD_SECONDS)
        while sock.recv(RECV_CHUNK):
            pass
    except OSError:
        pass
    finally:
        sock.close()


def abort(sock):
    """Close with a reset, the nearest thing to a refusal once accepted."""
    try:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    except OSError:
        pass
    sock.close()


def endpoint(address) -> str:
    return "%s:%d" % (address[0], address[1])


def new_record(server, local, peer, data, rest, complete):
    """The fields every exchange record begins with."""
    return {
        "server": server,
        "local": endpoint(local),
        "peer": endpoint(peer),
        "raw_hex": data.hex(),
        "rest_hex": rest.hex(),
        "complete": complete,
    }


def close_unanswered(sock, record, records):
    """Record an exchange that gets no reply, then close it."""
    record.update(reply="", mode=None, behaviour_from=None)
    records.write(record)
    finish(sock)


def answer(sock, reply, mode, behaviour):
    """Send the reply the way the mode asks for, then close."""
    if mode == "refuse":
        # Accepted just before the listener went away: reset instead.
        abort(sock)
        return
    if mode == "silent":
        hold(sock)
        return
    if mode != "silent_close":
        send_reply(sock, reply.encode("latin-1"), behaviour)
    finish(sock)


def fault_reply(behaviour) -> str:
    """The reply of the fault modes both servers share: garbage and raw."""
    if behaviour["mode"] == "garbage":
        text = behaviour["text"] if behaviour["text"] is not None else "garbage"
        return text + behaviour["end"]
    if behaviour["mode"] == "raw":
        return behaviour["text"] or ""
    return ""


class LineServer:
    """The exchange both TCP servers share: one request line in, at most one reply out.

    read_request(data, complete) -> (fields, request): the record's fields for
    the line that came (ending with auth_ok=None), and what respond needs, or
    None when nobody is to be answered. respond(request, behaviour, accounts,
    peer_ip) -> (mode, reply, fields): the mode used, the reply text and the
    record's fields that the answer decides.
    """

    def __init__(self, server, title, read_request, respond):
        self._server = server  # the scenario's and the records' name
        self._title = title  # the name in warnings
        self._read_request = read_request
        self._respond = respond

    def handle(self, sock, local, peer, store, records, read_timeout):
        """Serve one connection; never raises: a test peer must outlive any input."""
        try:
            self._serve(sock, local, peer, store, records, read_timeout)
        except Exception as e:
            warn("%s exchange with %s failed: %r" % (self._title, endpoint(peer), e))
            abort(sock)

    def _serve(self, sock, local, peer, store, records, read_timeout):
        store.refresh()
        data, complete, rest = read_line(sock, read_timeout)
        record = new_record(self._server, local, peer, data, rest, complete)
        fields, request = self._read_request(data, complete)
        record.update(fields)
        if request is None:
            close_unanswered(sock, record, records)
            return
        behaviour, source, accounts = store.choose(self._server, local[0])
        mode, reply, answer_fields = self._respond(request, behaviour, accounts, peer[0])
        record.update(answer_fields)
        record.update(reply=reply, mode=mode, behaviour_from=source)
        # Written before any delay or byte of the reply, so a test that saw the
        # client react to the reply always finds the record.
        records.write(record)
        answer(sock, reply, mode, behaviour)
