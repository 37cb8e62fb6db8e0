"""Listening sockets per server and address, kept in line with the scenario."""
import ipaddress
import selectors
import socket

from .records import warn

SERVERS = ("update", "detect")
LISTEN_QUEUE = 64


def check_loopback(address):
    """Only loopback addresses may be served: nothing here may face a real network."""
    try:
        ip = ipaddress.IPv4Address(address)
    except ValueError:
        raise ValueError("%r is not an IPv4 address" % address)
    if not ip.is_loopback:
        raise ValueError("%s is outside 127.0.0.0/8" % address)
    return str(ip)


class Listeners:
    """TCP listeners of the update and detection servers plus the heartbeat sockets.

    An address whose standing behaviour is refuse has no listener at all, so a
    client gets a genuine refusal; the port it had is kept for reopening.
    """

    def __init__(self, selector, addresses, ports):
        self._selector = selector
        self._addresses = addresses  # server -> [address]
        self._ports = dict(ports)  # server -> requested port (0: any free one)
        self._bound = {}  # (server, address) -> port actually bound
        self._tcp = {}  # (server, address) -> socket
        self._udp = {}  # address -> socket

    def open_heartbeat(self):
        for address in self._addresses["heartbeat"]:
            sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            sock.bind((address, self._ports["heartbeat"]))
            sock.setblocking(False)
            self._udp[address] = sock
            self._selector.register(sock, selectors.EVENT_READ, ("heartbeat", address))

    def _open(self, server, address):
        port = self._bound.get((server, address), self._ports[server])
        sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        try:
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            sock.bind((address, port))
            sock.listen(LISTEN_QUEUE)
            sock.setblocking(False)
        except OSError:
            sock.close()
            raise
        self._bound[(server, address)] = sock.getsockname()[1]
        self._tcp[(server, address)] = sock
        self._selector.register(sock, selectors.EVENT_READ, (server, address))

    def _close(self, server, address):
        sock = self._tcp.pop((server, address))
        self._selector.unregister(sock)
        sock.close()

    def reconcile(self, store, strict=False) -> bool:
        """Open or close listeners to match the scenario; True when all wanted ones are up.

        strict raises on a bind failure (at start); later a failure is reported
        and retried on the next call.
        """
        all_up = True
        for server in SERVERS:
            for address in self._addresses[server]:
                wanted = store.standing_mode(server, address) != "refuse"
                present = (server, address) in self._tcp
                if wanted and not present:
                    try:
                        self._open(server, address)
                    except OSError as e:
                        port = self._bound.get((server, address), self._ports[server])
                        if strict:
                            raise OSError("cannot listen on %s:%d for %s: %s" % (address, port, server, e.strerror or e))
                        warn("cannot reopen %s:%d for %s: %s (retrying)" % (address, port, server, e))
                        all_up = False
                elif present and not wanted:
                    self._close(server, address)
        return all_up

    def listening(self):
        """server -> ["address:port", ...] of the sockets open now."""
        out = {server: [] for server in SERVERS + ("heartbeat",)}
        for (server, address), sock in self._tcp.items():
            out[server].append("%s:%d" % (address, sock.getsockname()[1]))
        for address, sock in self._udp.items():
            out["heartbeat"].append("%s:%d" % (address, sock.getsockname()[1]))
        for server in out:
            out[server].sort(key=lambda e: (ipaddress.IPv4Address(e.split(":")[0]), e))
        return out

    def close_all(self):
        for key in list(self._tcp):
            self._close(*key)
        for address, sock in list(self._udp.items()):
            self._selector.unregister(sock)
            sock.close()
        self._udp.clear()
