"""Byte-level helpers: the request scrambling, field parsing and the login check."""
import hashlib

AUTH_HEAD = b"AuthCode="
MIN_SHIFT = 1
MAX_SHIFT = 25


def scramble(plain: bytes, shift: int) -> bytes:
    """Every byte moves up by the shift, modulo 256 (the client's side)."""
    return bytes((b + shift) % 256 for b in plain)


def descramble(raw: bytes):
    """Return (shift, plain) for the one shift under which raw begins with AuthCode=.

    The first byte alone fixes the shift, so at most one candidate exists; the
    rest of the head confirms it. (None, None) when no shift in 1..25 fits.
    """
    if len(raw) < len(AUTH_HEAD):
        return None, None
    shift = (raw[0] - AUTH_HEAD[0]) % 256
    if not MIN_SHIFT <= shift <= MAX_SHIFT:
        return None, None
    plain = bytes((b - shift) % 256 for b in raw)
    if not plain.startswith(AUTH_HEAD):
        return None, None
    return shift, plain


def parse_fields(text: str):
    """Split on "&", then each part on its first "="; values are not escaped.

    Every part is kept, in order, also empty ones and ones without "=" (their
    value is empty), so nothing the client sent is lost.
    """
    pairs = []
    for part in text.split("&"):
        name, _, value = part.partition("=")
        pairs.append((name, value))
    return pairs


def first_values(pairs):
    """Name -> value of its first occurrence, in order of first appearance."""
    fields = {}
    for name, value in pairs:
        fields.setdefault(name, value)
    return fields


def expected_passwd(stored_digest: str) -> str:
    """The client hashes its stored digest text once more and sends the hex."""
    return hashlib.md5(stored_digest.encode("latin-1")).hexdigest()


def check_login(accounts, pairs):
    """True/False against the configured accounts; None when none are configured.

    The last Passwd and the first Account/Domain count: the client appends
    Passwd last, and an "&Passwd=" smuggled into an earlier value must not win.
    """
    if not accounts:
        return None
    fields = first_values(pairs)
    account = accounts.get(fields.get("Account"))
    if account is None:
        return False
    passwds = [value for name, value in pairs if name == "Passwd"]
    if not passwds or passwds[-1] != expected_passwd(account["passwd"]):
        return False
    domain = account.get("domain")
    if domain is not None and fields.get("Domain", "").lower() != domain.lower():
        return False
    return True


def line_record(text, pairs):
    """The record fields that show a request line and its name=value pairs."""
    return {
        "line": text,
        "fields": first_values(pairs),
        "field_order": [name for name, _ in pairs],
        "pairs": [list(p) for p in pairs],
    }
