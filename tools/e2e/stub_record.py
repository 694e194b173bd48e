"""The stand-in flash utility's record (tools/flashstub/README.md), as the report holds it in
`stub_record`: one block a start, "[run]" and then "key=value" lines, keys repeating for lists."""

# The stand-in records itself into the file this variable names. No other program reads it, so its
# name in an executable's bytes also tells the stand-in from a vendor's utility.
RECORD_VARIABLE = "BIOSUPDATE_STUB_RECORD"
# How long the stand-in flashes, and after how long in its flash it asks a question (ms).
DELAY_VARIABLE = "BIOSUPDATE_STUB_DELAY_MS"
MESSAGE_BOX_VARIABLE = "BIOSUPDATE_STUB_MESSAGE_BOX_MS"


def is_stand_in(contents):
    """Whether an executable's bytes are the stand-in utility's."""
    return RECORD_VARIABLE.encode("ascii") + b"\0" in contents


def parse(text):
    """The records, each as {key: [values]}; none for a missing record."""
    records = []
    for line in (text or "").splitlines():
        if line == "[run]":
            records.append({})
        elif "=" in line and records:
            key, value = line.split("=", 1)
            records[-1].setdefault(key, []).append(value)
    return records
