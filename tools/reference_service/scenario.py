"""The scenario file DIR/scenario.json: validation, reloading and the choice of behaviour."""
import json
import os
import threading
from collections import deque

UPDATE_MODES = ("success", "wrong_login", "deactivated", "refuse", "silent_close", "silent", "garbage", "raw")
DETECT_MODES = ("answer", "refuse", "silent_close", "silent", "garbage", "raw")

_COMMON_KEYS = {"mode", "text", "pieces", "gap_ms", "delay_ms", "end"}
_UPDATE_KEYS = _COMMON_KEYS | {"ip", "fields", "mess"}
_DETECT_KEYS = _COMMON_KEYS | {"address", "sequence"}


class ScenarioError(ValueError):
    pass


def _latin1_text(value, where):
    if not isinstance(value, str):
        raise ScenarioError("%s: expected a text, got %s" % (where, json.dumps(value)))
    try:
        value.encode("latin-1")
    except UnicodeEncodeError:
        raise ScenarioError("%s: text has characters beyond U+00FF (replies are single bytes)" % where)
    return value


def _number(value, where, minimum, integer=False):
    ok = isinstance(value, int) if integer else isinstance(value, (int, float))
    if not ok or isinstance(value, bool) or value < minimum:
        kind = "an integer" if integer else "a number"
        raise ScenarioError("%s: expected %s of at least %s, got %s" % (where, kind, minimum, json.dumps(value)))
    return value


def parse_behaviour(raw, server, where):
    """A behaviour stands alone: keys it leaves out take the defaults, not another entry's."""
    if not isinstance(raw, dict):
        raise ScenarioError("%s: expected an object" % where)
    allowed = _UPDATE_KEYS if server == "update" else _DETECT_KEYS
    unknown = sorted(set(raw) - allowed)
    if unknown:
        raise ScenarioError("%s: unknown key(s) %s (known: %s)" % (where, ", ".join(unknown), ", ".join(sorted(allowed))))
    modes = UPDATE_MODES if server == "update" else DETECT_MODES
    b = {
        "mode": modes[0],
        "text": None,
        "pieces": 1,
        "gap_ms": 0,
        "delay_ms": 0,
        "end": "\n",
    }
    if "mode" in raw:
        if raw["mode"] not in modes:
            raise ScenarioError("%s.mode: %s is not one of %s" % (where, json.dumps(raw["mode"]), ", ".join(modes)))
        b["mode"] = raw["mode"]
    if "text" in raw:
        b["text"] = _latin1_text(raw["text"], where + ".text")
    if "pieces" in raw:
        b["pieces"] = _number(raw["pieces"], where + ".pieces", 1, integer=True)
    for key in ("gap_ms", "delay_ms"):
        if key in raw:
            b[key] = _number(raw[key], "%s.%s" % (where, key), 0)
    if "end" in raw:
        b["end"] = _latin1_text(raw["end"], where + ".end")
    if server == "update":
        b["ip"] = _latin1_text(raw.get("ip", "peer"), where + ".ip")
        b["mess"] = None if raw.get("mess") is None else _latin1_text(raw["mess"], where + ".mess")
        b["fields"] = []
        fields = raw.get("fields", [])
        if not isinstance(fields, list):
            raise ScenarioError("%s.fields: expected a list of [key, value] pairs" % where)
        for i, pair in enumerate(fields):
            w = "%s.fields[%d]" % (where, i)
            if not isinstance(pair, list) or len(pair) != 2:
                raise ScenarioError("%s: expected a [key, value] pair" % w)
            key, value = pair
            if isinstance(value, (int, float)) and not isinstance(value, bool):
                value = str(value)
            b["fields"].append((_latin1_text(key, w + "[0]"), _latin1_text(value, w + "[1]")))
    else:
        b["address"] = _latin1_text(raw.get("address", "peer"), where + ".address")
        seq = raw.get("sequence")
        if seq is not None:
            if not isinstance(seq, list) or not seq:
                raise ScenarioError("%s.sequence: expected a non-empty list of addresses" % where)
            seq = [_latin1_text(a, "%s.sequence[%d]" % (where, i)) for i, a in enumerate(seq)]
        b["sequence"] = seq
    return b


def _parse_server(raw, server):
    if raw is None:
        raw = {}
    if not isinstance(raw, dict):
        raise ScenarioError("%s: expected an object" % server)
    unknown = sorted(set(raw) - {"default", "by_address", "queue"})
    if unknown:
        raise ScenarioError("%s: unknown key(s) %s (known: default, by_address, queue)" % (server, ", ".join(unknown)))
    default = parse_behaviour(raw.get("default", {}), server, server + ".default")
    by_address = {}
    by_raw = raw.get("by_address", {})
    if not isinstance(by_raw, dict):
        raise ScenarioError("%s.by_address: expected an object of address -> behaviour" % server)
    for address, entry in by_raw.items():
        by_address[address] = parse_behaviour(entry, server, "%s.by_address[%s]" % (server, address))
    queue = []
    queue_raw = raw.get("queue", [])
    if not isinstance(queue_raw, list):
        raise ScenarioError("%s.queue: expected a list of behaviours" % server)
    for i, entry in enumerate(queue_raw):
        where = "%s.queue[%d]" % (server, i)
        b = parse_behaviour(entry, server, where)
        # A refusal means no listener, which cannot be taken back after one
        # connection; by_address or default say it for as long as needed.
        if b["mode"] == "refuse":
            raise ScenarioError("%s: refuse cannot be queued (use by_address or default)" % where)
        queue.append(b)
    return {"default": default, "by_address": by_address, "queue": queue}


def _parse_accounts(raw):
    if raw is None:
        return {}
    if not isinstance(raw, dict):
        raise ScenarioError("accounts: expected an object of account -> {domain, passwd}")
    accounts = {}
    for name, entry in raw.items():
        where = "accounts[%s]" % name
        _latin1_text(name, where)
        if not isinstance(entry, dict):
            raise ScenarioError("%s: expected an object with passwd (and domain)" % where)
        unknown = sorted(set(entry) - {"domain", "passwd"})
        if unknown:
            raise ScenarioError("%s: unknown key(s) %s (known: domain, passwd)" % (where, ", ".join(unknown)))
        if "passwd" not in entry:
            raise ScenarioError("%s: passwd (the stored digest) is missing" % where)
        account = {"passwd": _latin1_text(entry["passwd"], where + ".passwd")}
        if entry.get("domain") is not None:
            account["domain"] = _latin1_text(entry["domain"], where + ".domain")
        accounts[name] = account
    return accounts


def parse_scenario(text: str) -> dict:
    try:
        raw = json.loads(text) if text.strip() else {}
    except json.JSONDecodeError as e:
        raise ScenarioError("not valid JSON: %s" % e)
    if not isinstance(raw, dict):
        raise ScenarioError("expected a JSON object at the top")
    unknown = sorted(set(raw) - {"accounts", "update", "detect"})
    if unknown:
        raise ScenarioError("unknown key(s) %s (known: accounts, update, detect)" % ", ".join(unknown))
    return {
        "accounts": _parse_accounts(raw.get("accounts")),
        "update": _parse_server(raw.get("update"), "update"),
        "detect": _parse_server(raw.get("detect"), "detect"),
    }


def load_scenario_file(path) -> dict:
    """UTF-8, or else Latin-1: a writer with Windows-1252 literals then gets
    every byte back unchanged in the replies."""
    with open(path, "rb") as f:
        data = f.read()
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError:
        text = data.decode("latin-1")
    return parse_scenario(text)


DEFAULT_SCENARIO = parse_scenario("{}")


class ScenarioStore:
    """The scenario in force, reread whenever the file's identity or size changes.

    A reload starts the queues and detection sequences afresh; a missing file
    means defaults, a broken one keeps the scenario that was in force.
    """

    def __init__(self, path, on_error):
        self._path = path
        self._on_error = on_error
        self._lock = threading.Lock()
        self._signature = ()
        self._scenario = DEFAULT_SCENARIO
        self._queues = {}
        self._counters = {}
        self.generation = 0
        self.error = None
        self._reset_state()

    def _reset_state(self):
        self._queues = {s: deque(self._scenario[s]["queue"]) for s in ("update", "detect")}
        self._counters = {}

    def _stat_signature(self):
        try:
            st = os.stat(self._path)
        except FileNotFoundError:
            return None
        return (st.st_mtime_ns, st.st_size, st.st_ino)

    def refresh(self) -> bool:
        """Reload when the file changed; True when a load was attempted."""
        with self._lock:
            signature = self._stat_signature()
            if signature == self._signature:
                return False
            self._signature = signature
            self.generation += 1
            if signature is None:
                self._scenario = DEFAULT_SCENARIO
                self.error = None
            else:
                try:
                    self._scenario = load_scenario_file(self._path)
                    self.error = None
                except FileNotFoundError:
                    self._scenario = DEFAULT_SCENARIO
                    self.error = None
                except (OSError, ScenarioError) as e:
                    self.error = "scenario.json ignored, previous scenario stays: %s" % e
                    self._on_error(self.error)
                    return True
            self._reset_state()
            return True

    def standing_mode(self, server, address):
        """The mode that by_address or default give an address (queues aside)."""
        with self._lock:
            part = self._scenario[server]
            return part["by_address"].get(address, part["default"])["mode"]

    def choose(self, server, address):
        """(behaviour, source, accounts) for one exchange; a queue entry is used up."""
        with self._lock:
            part = self._scenario[server]
            queue = self._queues[server]
            if queue:
                behaviour, source = queue.popleft(), "queue"
            elif address in part["by_address"]:
                behaviour, source = part["by_address"][address], "by_address"
            else:
                behaviour, source = part["default"], "default"
            behaviour = dict(behaviour)
            if server == "detect" and behaviour["sequence"] and source == "queue":
                behaviour["address"] = behaviour["sequence"][0]
            elif server == "detect" and behaviour["sequence"]:
                key = (source, address if source == "by_address" else None)
                n = self._counters.get(key, 0)
                self._counters[key] = n + 1
                seq = behaviour["sequence"]
                behaviour["address"] = seq[min(n, len(seq) - 1)]
            return behaviour, source, self._scenario["accounts"]
