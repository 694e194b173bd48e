"""Reads the registry files that wineserver saves in a prefix (system.reg, user.reg, userdef.reg).

Each file holds sections "[key\\path] stamp" followed by values:
    "name"="text"          REG_SZ (stored data: UTF-16LE text plus its terminating NUL)
    "name"=str(N):"text"   string data of type N (2 REG_EXPAND_SZ, 7 REG_MULTI_SZ)
    "name"=dword:0000000a  REG_DWORD
    "name"=hex:01,02       REG_BINARY; hex(N): for any other type; lines may end in a
                           backslash and go on in the next line
    @=...                  the key's default value
Strings escape \\\\, \\", C escapes (\\n, \\t, ...), octal \\NNN and \\xHHHH.
"""

from dataclasses import dataclass

TYPE_NAMES = {0: "REG_NONE", 1: "REG_SZ", 2: "REG_EXPAND_SZ", 3: "REG_BINARY", 4: "REG_DWORD",
              7: "REG_MULTI_SZ", 11: "REG_QWORD"}
_C_ESCAPES = {"a": "\a", "b": "\b", "t": "\t", "n": "\n", "v": "\v", "f": "\f", "r": "\r",
              "e": "\x1b"}
_HEX_DIGITS = "0123456789abcdefABCDEF"


class RegFileError(ValueError):
    pass


@dataclass(frozen=True)
class RegValue:
    type_code: int
    data: bytes

    @property
    def type_name(self):
        return TYPE_NAMES.get(self.type_code, f"type {self.type_code}")

    def text(self):
        """The data read as a UTF-16 string up to its first NUL (for the string types)."""
        decoded = self.data.decode("utf-16-le", errors="replace")
        return decoded.split("\0", 1)[0]

    def to_json(self):
        result = {"type": self.type_name, "type_code": self.type_code, "hex": self.data.hex()}
        if self.type_code in (1, 2, 7):
            result["string"] = self.text()
        if self.type_code == 4 and len(self.data) == 4:
            result["dword"] = int.from_bytes(self.data, "little")
        return result


def unescape(text, start, terminator):
    """Reads an escaped string from text[start:] up to an unescaped terminator character.

    Returns (string, index just past the terminator)."""
    out = []
    i = start
    while i < len(text):
        c = text[i]
        if c == terminator:
            return "".join(out), i + 1
        if c != "\\":
            out.append(c)
            i += 1
            continue
        if i + 1 >= len(text):
            break
        e = text[i + 1]
        if e == "x":
            j = i + 2
            while j < len(text) and j < i + 6 and text[j] in _HEX_DIGITS:
                j += 1
            if j == i + 2:
                raise RegFileError(f"\\x without digits at {i}")
            out.append(chr(int(text[i + 2:j], 16)))
            i = j
        elif e in "01234567":
            j = i + 1
            while j < len(text) and j < i + 4 and text[j] in "01234567":
                j += 1
            out.append(chr(int(text[i + 1:j], 8)))
            i = j
        else:
            out.append(_C_ESCAPES.get(e, e))
            i += 2
    raise RegFileError(f"unterminated string, expected {terminator!r}")


def _hex_bytes(text):
    parts = [p.strip() for p in text.replace("\\", "").split(",")]
    try:
        return bytes(int(p, 16) for p in parts if p)
    except ValueError as error:
        raise RegFileError(f"bad hex data: {text!r}") from error


def parse_value_data(text):
    """Parses what follows '=' in a value line; returns a RegValue."""
    if text.startswith('"'):
        string, _ = unescape(text, 1, '"')
        return RegValue(1, (string + "\0").encode("utf-16-le"))
    if text.startswith("str("):
        close = text.index("):")
        string, _ = unescape(text, close + 3, '"')
        return RegValue(int(text[4:close], 16), (string + "\0").encode("utf-16-le"))
    if text.startswith("dword:"):
        return RegValue(4, int(text[6:], 16).to_bytes(4, "little"))
    if text.startswith("hex:"):
        return RegValue(3, _hex_bytes(text[4:]))
    if text.startswith("hex("):
        close = text.index("):")
        return RegValue(int(text[4:close], 16), _hex_bytes(text[close + 2:]))
    raise RegFileError(f"unknown value format: {text[:40]!r}")


def _logical_lines(content):
    """Joins hex data continued with a trailing backslash."""
    pending = ""
    for raw in content.splitlines():
        line = pending + raw.strip() if pending else raw.rstrip("\n")
        if line.endswith("\\") and "=hex" in line:
            pending = line[:-1]
            continue
        pending = ""
        yield line
    if pending:
        yield pending


def _key_name(line):
    """The key a section line names. Most names escape nothing but their backslashes, and a
    system.reg holds thousands of them: those are read without the character loop."""
    raw = line[1:line.rfind("]")]
    if "\\" not in raw.replace("\\\\", ""):
        return raw.replace("\\\\", "\\")
    return unescape(line, 1, "]")[0]


def parse_reg_file(content, wanted=None):
    """Returns {key path (lower case): {value name (lower case, "" for default): RegValue}};
    with `wanted`, a set of key paths in lower case, only those keys' values are read."""
    keys = {}
    current = None
    skipping = False
    for line in _logical_lines(content):
        if not line or line[0] in ";#" or line.startswith("WINE REGISTRY"):
            continue
        if line.startswith("["):
            name = _key_name(line).lower()
            skipping = wanted is not None and name not in wanted
            current = None if skipping else keys.setdefault(name, {})
            continue
        if skipping:
            continue
        if current is None:
            raise RegFileError(f"value outside a key: {line[:40]!r}")
        if line.startswith("@="):
            current[""] = parse_value_data(line[2:])
        elif line.startswith('"'):
            name, end = unescape(line, 1, '"')
            if end >= len(line) or line[end] != "=":
                raise RegFileError(f"value name without '=': {line[:40]!r}")
            current[name.lower()] = parse_value_data(line[end + 1:])
        else:
            raise RegFileError(f"unexpected line: {line[:40]!r}")
    return keys


def find_value(keys, key_path, name):
    """The RegValue of key_path\\name (case-insensitive) or None."""
    return keys.get(key_path.lower(), {}).get(name.lower())


def escape(text, specials='"'):
    """Text as the registry files write it: backslashes, the given characters and anything
    outside printable ASCII escaped (\\xHHHH, always four digits, so no digit after it is
    taken into it)."""
    out = []
    for c in text:
        if c == "\\" or c in specials:
            out.append("\\" + c)
        elif " " <= c <= "~":
            out.append(c)
        else:
            out.append(f"\\x{ord(c):04x}")
    return "".join(out)


def value_line(name, data):
    """The line that stores a value: str is REG_SZ, int REG_DWORD, bytes REG_BINARY."""
    label = "@" if name == "" else f'"{escape(name)}"'
    if isinstance(data, str):
        return f'{label}="{escape(data)}"'
    if isinstance(data, bool) or not isinstance(data, (int, bytes)):
        raise ValueError(f"registry data for {name!r} must be str, int or bytes")
    if isinstance(data, int):
        return f"{label}=dword:{data:08x}"
    return f"{label}=hex:" + ",".join(f"{b:02x}" for b in data)


def _line_name(line):
    """The lower-case value name a value line stores, or None for any other line."""
    if line.startswith("@="):
        return ""
    if line.startswith('"'):
        return unescape(line, 1, '"')[0].lower()
    return None


def _continues(line):
    return line.rstrip().endswith("\\") and "=hex" in line


def plant(content, values, stamp):
    """The registry file's text with values {(key path, value name): data} set before any Wine
    process reads it: a value already there is replaced, None deletes it, and a missing key is
    added with the modification time `stamp` (Wine makes its parent keys as it loads)."""
    wanted = {}
    for (key, name), data in values.items():
        wanted.setdefault(key.lower(), {})[name.lower()] = (key, name, data)
    result, current, skipping = [], None, False

    def close_section():
        # The key's new values go before the blank lines that end its section.
        end = len(result)
        while end and not result[end - 1].strip():
            end -= 1
        result[end:end] = [value_line(name, data) for _, name, data in (current or {}).values()
                           if data is not None]

    for line in content.splitlines():
        if skipping:
            # A continuation line holds no "=hex" of its own: only its trailing backslash tells.
            skipping = line.rstrip().endswith("\\")
            continue
        if line.startswith("["):
            close_section()
            current = wanted.pop(unescape(line, 1, "]")[0].lower(), None)
        name = _line_name(line) if current is not None else None
        if name is not None and name in current:
            # The old value goes, with its continuation lines; the new one ends the section.
            skipping = _continues(line)
            continue
        result.append(line)
    close_section()
    for entries in wanted.values():
        key = next(iter(entries.values()))[0]
        added = [value_line(name, data) for _, name, data in entries.values() if data is not None]
        if added:
            result += ["", f"[{escape(key, '[]')}] {stamp}"] + added
    return "\n".join(result) + "\n"
