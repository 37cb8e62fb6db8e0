"""Command line, start-up checks and the main loop."""
import argparse
import json
import os
import selectors
import shutil
import signal
import subprocess
import sys
import threading
import time

from . import detect_server, heartbeat, update_server
from .listeners import Listeners, check_loopback
from .records import RecordLog, warn
from .scenario import ScenarioStore, load_scenario_file

# Host addresses of tools/sandbox-hosts and the fallback lists of cmake/Endpoints.cmake.
DEFAULT_UPDATE = ["127.0.0.21", "127.0.0.22", "127.0.0.23"] + ["127.0.1.%d" % i for i in range(1, 7)]
DEFAULT_DETECT = ["127.0.0.31"] + ["127.0.2.%d" % i for i in range(1, 5)]
DEFAULT_HEARTBEAT = ["127.0.0.11"]

# The service's own ports.
UPDATE_PORT = 900
DETECT_PORT = 901
HEARTBEAT_PORT = 910
READ_TIMEOUT_SECONDS = 10.0
MAX_PORT = 65535

POLL_SECONDS = 0.1
# How long a stop waits for exchanges still under way.
WORKER_STOP_SECONDS = 2.0
SANDBOX_SCRIPT = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "sandbox")

EXIT_STARTUP = 1
EXIT_USAGE = 2
EXIT_OUTSIDE_SANDBOX = 3


def _address_list(values, default):
    if not values:
        return list(default)
    out = []
    for value in values:
        for part in value.split(","):
            part = part.strip()
            if part:
                address = check_loopback(part)
                if address not in out:
                    out.append(address)
    return out


def _port(text):
    port = int(text)
    if not 0 <= port <= MAX_PORT:
        raise argparse.ArgumentTypeError("port %s is outside 0..%d" % (text, MAX_PORT))
    return port


def parse_args(argv):
    p = argparse.ArgumentParser(
        prog="python3 tools/reference_service",
        description="Stand-in for the service's update, detection and heartbeat servers (loopback only, inside tools/sandbox).")
    p.add_argument("--dir", required=True, help="working folder: ready, records.jsonl, scenario.json")
    p.add_argument("--scenario", metavar="FILE", help="copy FILE to DIR/scenario.json at start")
    p.add_argument("--log", action="store_true", help="print one line per exchange on stdout")
    p.add_argument("--update-addr", action="append", metavar="ADDR[,ADDR...]",
                   help="update listen addresses (default: %s)" % ",".join(DEFAULT_UPDATE))
    p.add_argument("--detect-addr", action="append", metavar="ADDR[,ADDR...]",
                   help="detection listen addresses (default: %s)" % ",".join(DEFAULT_DETECT))
    p.add_argument("--heartbeat-addr", action="append", metavar="ADDR[,ADDR...]",
                   help="heartbeat listen addresses (default: %s)" % ",".join(DEFAULT_HEARTBEAT))
    p.add_argument("--update-port", type=_port, default=UPDATE_PORT,
                   help="TCP port of the update server (0: any free port)")
    p.add_argument("--detect-port", type=_port, default=DETECT_PORT,
                   help="TCP port of the detection server (0: any free port)")
    p.add_argument("--heartbeat-port", type=_port, default=HEARTBEAT_PORT,
                   help="UDP port of the heartbeat receiver (0: any free port)")
    p.add_argument("--read-timeout", type=float, default=READ_TIMEOUT_SECONDS, metavar="SECONDS",
                   help="how long to wait for a request line (default %g)" % READ_TIMEOUT_SECONDS)
    args = p.parse_args(argv)
    try:
        args.addresses = {
            "update": _address_list(args.update_addr, DEFAULT_UPDATE),
            "detect": _address_list(args.detect_addr, DEFAULT_DETECT),
            "heartbeat": _address_list(args.heartbeat_addr, DEFAULT_HEARTBEAT),
        }
    except ValueError as e:
        p.error(str(e))
    if args.read_timeout <= 0:
        p.error("--read-timeout must be above 0")
    return args


def inside_sandbox() -> bool:
    try:
        return subprocess.run([SANDBOX_SCRIPT, "--check"], stdin=subprocess.DEVNULL).returncode == 0
    except OSError as e:
        warn("cannot run %s --check: %s" % (SANDBOX_SCRIPT, e))
        return False


def _next_seq(path) -> int:
    """Continue after the last record of an earlier run in the same folder."""
    last = 0
    try:
        with open(path, "r", encoding="ascii", errors="replace") as f:
            for line in f:
                try:
                    last = max(last, int(json.loads(line)["seq"]))
                except (ValueError, KeyError, TypeError):
                    pass
    except FileNotFoundError:
        pass
    return last


class Service:
    def __init__(self, args):
        self.args = args
        self.dir = os.path.abspath(args.dir)
        self.ready_path = os.path.join(self.dir, "ready")
        self.scenario_path = os.path.join(self.dir, "scenario.json")
        self.records_path = os.path.join(self.dir, "records.jsonl")
        self.stop = threading.Event()
        self.selector = selectors.DefaultSelector()
        self.store = ScenarioStore(self.scenario_path, warn)
        self.records = None
        self.listeners = Listeners(self.selector, args.addresses, {
            "update": args.update_port, "detect": args.detect_port, "heartbeat": args.heartbeat_port})
        self.workers = set()
        self.workers_lock = threading.Lock()

    def write_state(self):
        state = {
            "pid": os.getpid(),
            "generation": self.store.generation,
            "scenario_error": self.store.error,
            "listening": self.listeners.listening(),
        }
        tmp = self.ready_path + ".tmp"
        with open(tmp, "w", encoding="ascii") as f:
            json.dump(state, f, ensure_ascii=True)
            f.write("\n")
        os.replace(tmp, self.ready_path)

    def _spawn(self, server, sock, local, peer):
        handler = update_server.handle if server == "update" else detect_server.handle

        def run():
            try:
                handler(sock, local, peer, self.store, self.records, self.args.read_timeout)
            finally:
                with self.workers_lock:
                    self.workers.discard(threading.current_thread())

        t = threading.Thread(target=run, name="%s-%s" % (server, peer[1]), daemon=True)
        with self.workers_lock:
            self.workers.add(t)
        t.start()

    def _accept(self, server, listener):
        try:
            sock, peer = listener.accept()
        except (BlockingIOError, InterruptedError):
            return
        except OSError as e:
            warn("accept on %s failed: %s" % (server, e))
            return
        sock.setblocking(True)
        self._spawn(server, sock, sock.getsockname(), peer)

    def start(self):
        os.makedirs(self.dir, exist_ok=True)
        try:
            os.remove(self.ready_path)
        except FileNotFoundError:
            pass
        if self.args.scenario:
            load_scenario_file(self.args.scenario)  # refuse a broken one before copying it
            shutil.copyfile(self.args.scenario, self.scenario_path)
        self.store.refresh()
        self.records = RecordLog(self.records_path, echo=self.args.log)
        self.records.continue_after(_next_seq(self.records_path))
        self.listeners.open_heartbeat()
        self.listeners.reconcile(self.store, strict=True)
        self.write_state()

    def loop(self):
        retry = False
        seen = self.store.generation
        while not self.stop.is_set():
            for key, _ in self.selector.select(POLL_SECONDS):
                server, _address = key.data
                if server == "heartbeat":
                    heartbeat.receive(key.fileobj, self.records)
                else:
                    self._accept(server, key.fileobj)
            self.store.refresh()
            # A handler thread may have taken in the change already, so go by
            # the generation rather than by what this refresh returned.
            if self.store.generation != seen or retry:
                seen = self.store.generation
                retry = not self.listeners.reconcile(self.store)
                self.write_state()

    def shutdown(self):
        try:
            os.remove(self.ready_path)
        except FileNotFoundError:
            pass
        self.listeners.close_all()
        with self.workers_lock:
            workers = list(self.workers)
        deadline = time.monotonic() + WORKER_STOP_SECONDS
        for t in workers:
            t.join(timeout=max(0.0, deadline - time.monotonic()))
        if self.records is not None:
            self.records.close()


def main(argv) -> int:
    args = parse_args(argv)
    if not inside_sandbox():
        warn("refusing to start outside the test sandbox: run it through tools/sandbox")
        return EXIT_OUTSIDE_SANDBOX
    service = Service(args)

    def on_signal(signum, _frame):
        service.stop.set()

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)
    try:
        service.start()
    except ValueError as e:  # ScenarioError, undecodable file
        warn("bad scenario %s: %s" % (args.scenario, e))
        service.shutdown()
        return EXIT_USAGE
    except OSError as e:
        warn(str(e))
        service.shutdown()
        return EXIT_STARTUP
    try:
        service.loop()
    finally:
        service.shutdown()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
