"""Wine's debug output of the watched program (WINEDEBUG=+timestamp,+pid,<channels>), read from
the driver's output, which the program inherits as its standard error."""

import re

# "3517.034:00fc:0100:trace:msg:NtUserSetTimer Added 0x1005a f5f (nil) timeout 3000"
_LINE = re.compile(r"^(\d+)\.(\d{3}):([0-9a-f]+):([0-9a-f]+):(trace|fixme|err|warn):"
                   r"([^:]*):(.*)$")
# The runner asks for these two so that every line can be placed in time and in a process.
PREFIX_CHANNELS = "+timestamp,+pid"
# The programs a program starts (+process) and their ends (+module: the loader's shut-down of a
# process that ends by itself, which +process does not mention).
PROCESS_CHANNELS = "+process,+module"


def channels(wanted):
    """The WINEDEBUG value for the wanted channels, e.g. "+msg"."""
    return f"{PREFIX_CHANNELS},{wanted}"


def parse(text, launch_tick):
    """The trace lines as {ms, pid, tid, class, channel, text}; ms counts from the program's
    start (launch_tick, GetTickCount then), or is None when that is unknown. Other lines (the
    driver's own messages) are left out."""
    entries = []
    for line in text.splitlines():
        match = _LINE.match(line)
        if not match:
            continue
        seconds, millis, pid, tid, kind, channel, rest = match.groups()
        tick = int(seconds) * 1000 + int(millis)
        entries.append({"ms": None if launch_tick is None else tick - launch_tick,
                        "pid": int(pid, 16), "tid": int(tid, 16), "class": kind,
                        "channel": channel, "text": rest})
    return entries


# 'CreateProcessInternalW app L"C:\\x.exe" cmdline L"\"C:\\x.exe\" /a"' (app may be "(null)")
_DEBUG_STRING = r'(\(null\)|L"(?:[^"\\]|\\.)*")'
_CREATE_PROCESS = re.compile(r"^CreateProcessInternalW app " + _DEBUG_STRING + " cmdline " +
                             _DEBUG_STRING)


# Wine's escapes in a debug string: a character outside printable ASCII as four hexadecimal
# digits (a Hangul or accented folder's name), else the character after the backslash.
_ESCAPE = re.compile(r"\\([0-9a-f]{4}|.)")


def _unescape(match):
    escaped = match[1]
    return chr(int(escaped, 16)) if len(escaped) == 4 else escaped


def _debug_string(text):
    return None if text == "(null)" else _ESCAPE.sub(_unescape, text[2:-1])


def process_start(text):
    """(application name or None, command line) of a +process line that starts a program, or
    None for any other line."""
    match = _CREATE_PROCESS.match(text)
    return (_debug_string(match[1]), _debug_string(match[2])) if match else None


_STARTED = re.compile(r"^CreateProcessInternalW started process pid ([0-9a-f]+) ")


def started_pid(text):
    """The process id of a +process line that reports a started program, or None."""
    match = _STARTED.match(text)
    return int(match[1], 16) if match else None


def process_ends(text):
    """Whether a +module line is the loader's shut-down of its process (ExitProcess)."""
    return text.startswith("LdrShutdownProcess ")
