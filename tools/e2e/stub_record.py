"""The stand-in flash utility's record (tools/flashstub/README.md), as the report holds it in
`stub_record`: one block a start, "[run]" and then "key=value" lines, keys repeating for lists."""


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
