"""The exchange log: one JSON object per line in DIR/records.jsonl."""
import json
import sys
import threading
import time


def latin1(data: bytes) -> str:
    """Each byte becomes the character of the same code, so nothing is lost."""
    return data.decode("latin-1")


class RecordLog:
    """Appends records with increasing seq, each flushed at once.

    The file stays ASCII: characters above 0x7F are written as \\u00XX escapes
    whose code is the byte value.
    """

    def __init__(self, path, echo=False):
        self._path = path
        self._echo = echo
        self._lock = threading.Lock()
        self._seq = 0
        self._file = open(path, "a", encoding="ascii", newline="\n")

    def continue_after(self, seq: int):
        with self._lock:
            self._seq = max(self._seq, seq)

    def write(self, record: dict) -> dict:
        with self._lock:
            self._seq += 1
            full = {"seq": self._seq, "time": time.time()}
            full.update(record)
            self._file.write(json.dumps(full, ensure_ascii=True) + "\n")
            self._file.flush()
            if self._echo:
                print(describe(full), flush=True)
            return full

    def close(self):
        with self._lock:
            self._file.close()


def describe(rec: dict) -> str:
    """One human-readable line per exchange, for --log."""
    head = "#%d %-9s %s <- %s" % (rec["seq"], rec["server"], rec["local"], rec["peer"])
    if rec["server"] == "heartbeat":
        return "%s datagram %r" % (head, rec["line"])
    parts = [head, "mode=%s" % rec.get("mode")]
    if rec["server"] == "update":
        parts.append("shift=%s" % rec.get("shift"))
        parts.append("auth=%s" % {True: "ok", False: "FAILED", None: "-"}[rec.get("auth_ok")])
        account = rec.get("fields", {}).get("Account")
        if account is not None:
            parts.append("account=%r" % account)
        if rec.get("shift") is None:
            parts.append("unreadable %r" % rec.get("line"))
    else:
        parts.append("request=%r" % rec.get("line"))
    parts.append("reply=%r" % rec.get("reply"))
    return " ".join(parts)


def warn(message: str):
    print("reference_service: " + message, file=sys.stderr, flush=True)
