"""Wine's debug output of the watched program (WINEDEBUG=+timestamp,+pid,<channels>), read from
the driver's output, which the program inherits as its standard error."""

import re

# "3517.034:00fc:0100:trace:msg:NtUserSetTimer Added 0x1005a f5f (nil) timeout 3000"
_LINE = re.compile(r"^(\d+)\.(\d{3}):([0-9a-f]+):([0-9a-f]+):(trace|fixme|err|warn):"
                   r"([^:]*):(.*)$")
# The runner asks for these two so that every line can be placed in time and in a process.
PREFIX_CHANNELS = "+timestamp,+pid"


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
