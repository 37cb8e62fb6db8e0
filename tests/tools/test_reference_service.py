"""Self-test of the reference service: real sockets on loopback, inside tools/sandbox."""
import hashlib
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SERVICE = os.path.join(REPO, "tools", "reference_service")
SANDBOX = os.path.join(REPO, "tools", "sandbox")

UPDATE_ADDRS = ["127.0.0.21", "127.0.0.22"]
DETECT_ADDR = "127.0.0.31"
HEARTBEAT_ADDR = "127.0.0.11"

STORED_DIGEST = hashlib.md5(b"geheim").hexdigest()
SENT_PASSWD = hashlib.md5(STORED_DIGEST.encode("ascii")).hexdigest()


def scrambled(plain: bytes, shift: int) -> bytes:
    # Written out here rather than taken from the service, so a fault in its
    # scrambling helpers cannot cancel itself out.
    return bytes((b + shift) % 256 for b in plain)


def request_line(account=b"alice", domain=b"alice.korvalind.test", passwd=SENT_PASSWD.encode()):
    return (b"AuthCode=4301W&Session=kqx&Account=" + account + b"&Domain=" + domain +
            b"&ec=0&ec2=0&ec3=0&DNSDiff=0&DNSProblem=0&build=430701&os=(6.1)&lang=E&Passwd=" + passwd)


def exchange(address, port, data: bytes, timeout=5.0, half_close=False) -> bytes:
    """Send data and read until the service closes."""
    with socket.create_connection((address, port), timeout=timeout) as s:
        s.sendall(data)
        if half_close:
            s.shutdown(socket.SHUT_WR)
        out = b""
        while True:
            chunk = s.recv(4096)
            if not chunk:
                return out
            out += chunk


def wait_for(predicate, timeout=5.0, what="condition"):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.02)
    raise AssertionError("timed out waiting for " + what)


class ServiceRun:
    """One service process on free high ports, with its own working folder."""

    def __init__(self, scenario=None, extra_env=None, extra_args=()):
        self.dir = tempfile.mkdtemp(prefix="refsvc-")
        self.stderr_path = os.path.join(self.dir, "stderr.txt")
        args = [sys.executable, SERVICE, "--dir", self.dir,
                "--update-addr", ",".join(UPDATE_ADDRS), "--detect-addr", DETECT_ADDR,
                "--heartbeat-addr", HEARTBEAT_ADDR,
                "--update-port", "0", "--detect-port", "0", "--heartbeat-port", "0",
                "--read-timeout", "2"] + list(extra_args)
        if scenario is not None:
            self.write_scenario_file(scenario)
        env = dict(os.environ)
        env.update(extra_env or {})
        env = {k: v for k, v in env.items() if v is not None}
        self._stderr = open(self.stderr_path, "w")
        self.proc = subprocess.Popen(args, env=env, stdout=subprocess.DEVNULL, stderr=self._stderr)

    def path(self, name):
        return os.path.join(self.dir, name)

    def state(self):
        try:
            with open(self.path("ready")) as f:
                return json.load(f)
        except (FileNotFoundError, json.JSONDecodeError):
            return None

    def wait_ready(self):
        state = wait_for(lambda: self.state() or self.proc.poll() is not None, what="ready")
        if self.proc.poll() is not None:
            raise AssertionError("service exited early: " + self.stderr())
        self.ports = {}
        for server, endpoints in state["listening"].items():
            for endpoint in endpoints:
                address, port = endpoint.rsplit(":", 1)
                self.ports[(server, address)] = int(port)
        return self

    def port(self, server, address):
        return self.ports[(server, address)]

    def write_scenario_file(self, scenario):
        if isinstance(scenario, (dict, list)):
            scenario = json.dumps(scenario)
        data = scenario if isinstance(scenario, bytes) else scenario.encode("utf-8")
        tmp = self.path("scenario.json.tmp")
        with open(tmp, "wb") as f:
            f.write(data)
        os.replace(tmp, self.path("scenario.json"))

    def set_scenario(self, scenario):
        """Write it and wait until the service has taken it in."""
        before = self.state()["generation"]
        self.write_scenario_file(scenario)
        return wait_for(lambda: (s := self.state()) and s["generation"] > before and s,
                        what="scenario reload")

    def records(self):
        try:
            with open(self.path("records.jsonl")) as f:
                return [json.loads(line) for line in f]
        except FileNotFoundError:
            return []

    def wait_records(self, n):
        return wait_for(lambda: len(r := self.records()) >= n and r, what="%d records" % n)

    def stderr(self):
        self._stderr.flush()
        with open(self.stderr_path) as f:
            return f.read()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
        try:
            return self.proc.wait(timeout=5)
        finally:
            self._stderr.close()

    def cleanup(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        if not self._stderr.closed:
            self._stderr.close()
        shutil.rmtree(self.dir, ignore_errors=True)


class ServiceTest(unittest.TestCase):
    scenario = None

    def setUp(self):
        self.svc = ServiceRun(self.scenario)
        self.addCleanup(self.svc.cleanup)
        self.svc.wait_ready()

    def update(self, data, address=UPDATE_ADDRS[0], half_close=False):
        return exchange(address, self.svc.port("update", address), data, half_close=half_close)

    def detect(self, data=b"AuthCode=4301W&Session=kqx\r\n"):
        return exchange(DETECT_ADDR, self.svc.port("detect", DETECT_ADDR), data)


class UpdateExchangeTest(ServiceTest):
    scenario = {
        "accounts": {
            "alice": {"domain": "alice.korvalind.test", "passwd": STORED_DIGEST},
            "j\u00fcrgen": {"passwd": STORED_DIGEST},
        },
        "update": {"default": {"fields": [["DT", "PA"], ["SI", "1800"], ["MI", 60]], "mess": "Gr\u00fc\u00dfe"}},
    }

    def test_login_outcomes_across_shifts(self):
        ok_reply = "IP:127.0.0.1 DT:PA SI:1800 MI:60 MESS:Gr\u00fc\u00dfe\n"
        bad_reply = "IP:127.0.0.1 C1:3 DT:PA SI:1800 MI:60 MESS:Gr\u00fc\u00dfe\n"
        cases = [
            ("lowest shift", 1, request_line(), ok_reply, True, "success"),
            ("highest shift", 25, request_line(), ok_reply, True, "success"),
            ("domain compared without case", 9, request_line(domain=b"Alice.Korvalind.TEST"), ok_reply, True, "success"),
            ("Windows-1252 account", 12, request_line(account=b"j\xfcrgen", domain=b"x.test"), ok_reply, True, "success"),
            ("password sent unhashed", 13, request_line(passwd=STORED_DIGEST.encode()), bad_reply, False, "wrong_login"),
            ("unknown account", 4, request_line(account=b"bob"), bad_reply, False, "wrong_login"),
            ("other domain", 5, request_line(domain=b"bob.korvalind.test"), bad_reply, False, "wrong_login"),
            ("Passwd smuggled in the domain", 6,
             request_line(domain=b"alice.korvalind.test&Passwd=" + SENT_PASSWD.encode(), passwd=b"0" * 32),
             bad_reply, False, "wrong_login"),
        ]
        for i, (name, shift, plain, reply, auth_ok, mode) in enumerate(cases, start=1):
            with self.subTest(name):
                wire = scrambled(plain, shift) + b"\n"
                self.assertEqual(self.update(wire).decode("latin-1"), reply)
                rec = self.svc.wait_records(i)[i - 1]
                self.assertEqual(rec["server"], "update")
                self.assertEqual(rec["raw_hex"], wire.hex())
                self.assertEqual(rec["shift"], shift)
                self.assertEqual(rec["line"], plain.decode("latin-1"))
                self.assertEqual(rec["field_order"][:3], ["AuthCode", "Session", "Account"])
                self.assertEqual(rec["field_order"][-1], "Passwd")
                self.assertEqual(rec["fields"]["Session"], "kqx")
                self.assertEqual(rec["auth_ok"], auth_ok)
                self.assertEqual(rec["mode"], mode)
                self.assertEqual(rec["reply"], reply)
                self.assertEqual(rec["local"], "%s:%d" % (UPDATE_ADDRS[0], self.svc.port("update", UPDATE_ADDRS[0])))
                self.assertTrue(rec["peer"].startswith("127."))
        self.assertEqual([r["seq"] for r in self.svc.records()], list(range(1, len(cases) + 1)))

    def test_scrambled_line_feed_cuts_the_line_where_a_peer_would(self):
        # 0xF6 + 20 wraps to 0x0A: the service reads only up to that byte.
        plain = request_line(domain=b"w\xf6rth.test")
        wire = scrambled(plain, 20) + b"\n"
        cut = wire.index(b"\n")
        self.assertLess(cut, len(wire) - 1)
        self.assertEqual(self.update(wire), b"IP:127.0.0.1 C1:3 DT:PA SI:1800 MI:60 MESS:Gr\xfc\xdfe\n")
        rec = self.svc.wait_records(1)[0]
        self.assertTrue(rec["complete"])
        self.assertEqual(rec["raw_hex"], wire[: cut + 1].hex())
        self.assertEqual(rec["rest_hex"], wire[cut + 1:].hex())
        self.assertEqual(rec["line"], "AuthCode=4301W&Session=kqx&Account=alice&Domain=w")
        self.assertNotIn("Passwd", rec["fields"])
        self.assertIs(rec["auth_ok"], False)

    def test_unreadable_input_gets_no_answer_and_the_service_goes_on(self):
        cases = [
            ("plain text", b"hello world\n"),
            ("unscrambled request", request_line() + b"\n"),
            ("shift beyond 25", scrambled(request_line(), 26) + b"\n"),
            ("binary", bytes(range(256))),
            ("shorter than the head", b"Bu\n"),
            ("no line end before close", scrambled(b"AuthCode=1", 3)),
        ]
        for i, (name, data) in enumerate(cases, start=1):
            with self.subTest(name):
                self.assertEqual(self.update(data, half_close=True), b"")
                rec = self.svc.wait_records(i)[i - 1]
                self.assertIsNone(rec["mode"])
                self.assertEqual(rec["reply"], "")
                if name != "no line end before close":
                    self.assertIsNone(rec["shift"])
        rec = self.svc.records()[-1]
        self.assertFalse(rec["complete"])
        self.assertEqual(rec["shift"], 3)
        # Still serving: a proper request is answered.
        self.assertTrue(self.update(scrambled(request_line(), 2) + b"\n").startswith(b"IP:127.0.0.1 "))


class QueueTest(ServiceTest):
    scenario = {"update": {
        "default": {"ip": "203.0.113.7"},
        "by_address": {UPDATE_ADDRS[1]: {"mode": "garbage"}},
        "queue": [{"mode": "raw", "text": "IP:1.2.3.4"}, {"mode": "deactivated", "fields": [["M1", "x"]]},
                  {"mode": "silent_close"}, {"pieces": 4, "gap_ms": 30, "ip": "198.51.100.1"}],
    }}

    def test_queue_entries_are_used_once_in_order_before_other_rules(self):
        line = scrambled(request_line(), 11) + b"\n"
        expected = [
            (UPDATE_ADDRS[1], b"IP:1.2.3.4", "queue"),
            (UPDATE_ADDRS[0], b"IP:127.0.0.1 C1:1 M1:x\n", "queue"),
            (UPDATE_ADDRS[0], b"", "queue"),
            (UPDATE_ADDRS[1], b"IP:198.51.100.1\n", "queue"),
            (UPDATE_ADDRS[1], b"garbage\n", "by_address"),
            (UPDATE_ADDRS[0], b"IP:203.0.113.7\n", "default"),
        ]
        for i, (address, reply, source) in enumerate(expected, start=1):
            with self.subTest(i=i):
                self.assertEqual(self.update(line, address), reply)
                rec = self.svc.wait_records(i)[i - 1]
                self.assertEqual(rec["behaviour_from"], source)
                self.assertIsNone(rec["auth_ok"])  # no accounts: every login passes

    def test_reloading_the_scenario_restarts_the_queue(self):
        line = scrambled(request_line(), 11) + b"\n"
        self.assertEqual(self.update(line), b"IP:1.2.3.4")
        self.svc.set_scenario(self.scenario)
        self.assertEqual(self.update(line), b"IP:1.2.3.4")


class DetectionTest(ServiceTest):
    def test_default_answers_the_peer_address_and_records_the_request(self):
        self.assertEqual(self.detect(), b"127.0.0.1\n")
        rec = self.svc.wait_records(1)[0]
        self.assertEqual(rec["server"], "detect")
        self.assertEqual(rec["raw_hex"], b"AuthCode=4301W&Session=kqx\r\n".hex())
        self.assertEqual(rec["line"], "AuthCode=4301W&Session=kqx")
        self.assertEqual(rec["fields"], {"AuthCode": "4301W", "Session": "kqx"})
        self.assertEqual(rec["field_order"], ["AuthCode", "Session"])
        self.assertIsNone(rec["shift"])
        self.assertEqual(rec["mode"], "answer")

    def test_sequence_pieces_and_line_end(self):
        self.svc.set_scenario({"detect": {"default": {
            "sequence": ["203.0.113.7", "198.51.100.2"], "end": "\r\n", "pieces": 3, "gap_ms": 20}}})
        replies = [self.detect() for _ in range(3)]
        self.assertEqual(replies, [b"203.0.113.7\r\n", b"198.51.100.2\r\n", b"198.51.100.2\r\n"])

    def test_other_modes(self):
        cases = [
            ({"mode": "raw", "text": "1.2.3.4"}, b"1.2.3.4"),
            ({"mode": "garbage", "text": "<html>"}, b"<html>\n"),
            ({"mode": "silent_close"}, b""),
            ({"address": "203.0.113.50", "delay_ms": 50}, b"203.0.113.50\n"),
        ]
        for behaviour, reply in cases:
            with self.subTest(behaviour=behaviour):
                self.svc.set_scenario({"detect": {"default": behaviour}})
                self.assertEqual(self.detect(), reply)


class SilentTest(ServiceTest):
    def test_silent_servers_record_the_request_and_hold_the_connection_until_the_client_closes(self):
        self.svc.set_scenario({"update": {"default": {"mode": "silent"}}, "detect": {"default": {"mode": "silent"}}})
        exchanges = [("update", UPDATE_ADDRS[0], scrambled(request_line(), 5) + b"\n"),
                     ("detect", DETECT_ADDR, b"AuthCode=4301W&Session=kqx\r\n")]
        for i, (server, address, data) in enumerate(exchanges, start=1):
            with self.subTest(server):
                with socket.create_connection((address, self.svc.port(server, address)), timeout=5) as s:
                    s.sendall(data)
                    rec = self.svc.wait_records(i)[i - 1]
                    self.assertEqual((rec["server"], rec["mode"], rec["reply"]), (server, "silent", ""))
                    self.assertEqual(rec["fields"]["Session"], "kqx")
                    s.settimeout(0.5)
                    with self.assertRaises(socket.timeout):
                        s.recv(1)  # neither a byte nor a close
        # The held sessions end with the client's close; the service goes on.
        self.svc.set_scenario({})
        self.assertEqual(self.detect(), b"127.0.0.1\n")


class RefuseTest(ServiceTest):
    def test_refused_addresses_have_no_listener_until_the_scenario_lifts_it(self):
        quiet, refused = UPDATE_ADDRS
        port = self.svc.port("update", refused)
        line = scrambled(request_line(), 3) + b"\n"
        state = self.svc.set_scenario({"update": {"by_address": {refused: {"mode": "refuse"}}},
                                       "detect": {"default": {"mode": "refuse"}}})
        self.assertNotIn("%s:%d" % (refused, port), state["listening"]["update"])
        self.assertEqual(state["listening"]["detect"], [])
        with self.assertRaises(ConnectionRefusedError):
            self.update(line, refused)
        with self.assertRaises(ConnectionRefusedError):
            self.detect()
        self.assertTrue(self.update(line, quiet).startswith(b"IP:"))

        state = self.svc.set_scenario({})
        self.assertIn("%s:%d" % (refused, port), state["listening"]["update"])
        self.assertTrue(self.update(line, refused).startswith(b"IP:"))
        self.assertEqual(self.detect(), b"127.0.0.1\n")


    def test_change_taken_in_by_a_connection_still_closes_the_listener(self):
        quiet, refused = UPDATE_ADDRS
        line = scrambled(request_line(), 3) + b"\n"
        before = self.svc.state()["generation"]
        self.svc.write_scenario_file({"update": {"by_address": {refused: {"mode": "refuse"}}}})
        # This exchange rereads the file before the main loop's next poll does.
        self.assertTrue(self.update(line, quiet).startswith(b"IP:"))
        state = wait_for(lambda: (s := self.svc.state()) and s["generation"] > before and s,
                         what="listeners reconciled")
        self.assertNotIn(refused, " ".join(state["listening"]["update"]))
        with self.assertRaises(ConnectionRefusedError):
            self.update(line, refused)


class HeartbeatTest(ServiceTest):
    def test_each_datagram_is_recorded_byte_for_byte(self):
        port = self.svc.port("heartbeat", HEARTBEAT_ADDR)
        tokens = [b"abcdefghij0123456789", b"\xff\x00\x0a token"]
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            for token in tokens:
                s.sendto(token, (HEARTBEAT_ADDR, port))
        recs = self.svc.wait_records(2)
        self.assertEqual([r["raw_hex"] for r in recs], [t.hex() for t in tokens])
        self.assertEqual(recs[1]["line"], "\xff\x00\n token")
        self.assertEqual({r["server"] for r in recs}, {"heartbeat"})
        self.assertEqual(recs[0]["local"], "%s:%d" % (HEARTBEAT_ADDR, port))
        self.assertEqual(recs[0]["reply"], "")


class ScenarioFileTest(ServiceTest):
    scenario = {"update": {"default": {"ip": "203.0.113.9"}}}

    def test_broken_file_keeps_the_previous_scenario_and_a_missing_one_means_defaults(self):
        line = scrambled(request_line(), 8) + b"\n"
        broken = [
            "{\"update\": ",
            json.dumps({"update": {"default": {"mode": "sucess"}}}),
            json.dumps({"update": {"default": {"delay": 5}}}),
            json.dumps({"update": {"queue": [{"mode": "refuse"}]}}),
            json.dumps({"detect": {"default": {"text": "\u20ac"}}}),
        ]
        for text in broken:
            with self.subTest(text=text):
                state = self.svc.set_scenario(text)
                self.assertTrue(state["scenario_error"])
                self.assertEqual(self.update(line), b"IP:203.0.113.9\n")
        self.assertIn("sucess", self.svc.stderr())
        # A writer with Windows-1252 literals: the byte reaches the wire as it was.
        self.svc.set_scenario(b'{"update": {"default": {"mess": "Gr\xfc\xdfe"}}}')
        self.assertEqual(self.update(line), b"IP:127.0.0.1 MESS:Gr\xfc\xdfe\n")
        os.remove(self.svc.path("scenario.json"))
        self.assertEqual(self.update(line), b"IP:127.0.0.1\n")


class LifecycleTest(unittest.TestCase):
    def test_sigterm_ends_cleanly_and_removes_ready(self):
        svc = ServiceRun()
        self.addCleanup(svc.cleanup)
        svc.wait_ready()
        self.assertEqual(svc.stop(), 0)
        self.assertFalse(os.path.exists(svc.path("ready")))

    def test_refuses_to_start_outside_the_sandbox(self):
        svc = ServiceRun(extra_env={"KORVALIND_SANDBOX": None})
        self.addCleanup(svc.cleanup)
        self.assertEqual(svc.proc.wait(timeout=10), 3)
        self.assertFalse(os.path.exists(svc.path("ready")))

    def test_a_broken_initial_scenario_stops_the_start(self):
        bad = os.path.join(tempfile.mkdtemp(prefix="refsvc-bad-"), "s.json")
        self.addCleanup(shutil.rmtree, os.path.dirname(bad), True)
        with open(bad, "w") as f:
            f.write("{\"detect\": {\"default\": {\"mode\": \"answr\"}}}")
        svc = ServiceRun(extra_args=["--scenario", bad])
        self.addCleanup(svc.cleanup)
        self.assertEqual(svc.proc.wait(timeout=10), 2)
        self.assertIn("answr", svc.stderr())
        self.assertFalse(os.path.exists(svc.path("scenario.json")))


def inside_sandbox():
    return (os.environ.get("KORVALIND_SANDBOX") == "1" and
            subprocess.run([SANDBOX, "--check"], stderr=subprocess.DEVNULL).returncode == 0)


def write_report(path, result):
    """A GoogleTest-shaped XML report, so the suite summary counts every case."""
    import xml.etree.ElementTree as ET
    def case_id(test):  # a failed subTest counts against its test method
        return getattr(test, "test_case", test).id()

    outcome = {}
    for kind, entries in (("skipped", result.skipped), ("failure", result.failures), ("error", result.errors)):
        for test, _ in entries:
            outcome[case_id(test)] = kind
    counts = list(outcome.values())
    root = ET.Element("testsuites", tests=str(len(result.ran)), failures=str(counts.count("failure")),
                      errors=str(counts.count("error")), disabled="0", name="reference_service_selftest")
    suite = ET.SubElement(root, "testsuite", name="reference_service")
    for test_id in result.ran:
        case = ET.SubElement(suite, "testcase", name=test_id)
        if outcome.get(test_id):
            ET.SubElement(case, outcome[test_id])
    os.makedirs(os.path.dirname(path), exist_ok=True)
    ET.ElementTree(root).write(path, encoding="utf-8", xml_declaration=True)


class RecordingResult(unittest.TextTestResult):
    def startTest(self, test):
        super().startTest(test)
        self.ran = getattr(self, "ran", []) + [test.id()]


if __name__ == "__main__":
    if not inside_sandbox():
        print("refusing to run outside the test sandbox: use tools/sandbox", file=sys.stderr)
        sys.exit(2)
    runner = unittest.TextTestRunner(resultclass=RecordingResult, verbosity=1)
    result = unittest.main(testRunner=runner, exit=False).result
    if os.environ.get("KORVALIND_TEST_REPORT"):
        write_report(os.environ["KORVALIND_TEST_REPORT"], result)
    sys.exit(0 if result.wasSuccessful() else 1)
