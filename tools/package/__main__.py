"""Writes the package description of a built BIOSUpdate.exe: the executable (size, SHA-256, signer),
the BIOS image's name with its platform and version as the program reads them, the version stamp
and every embedded payload file with its resource id, size and SHA-256.

PACKAGE_INPUTS is the "key=value" file cmake/Package.cmake writes: image, stamp, payload-dir,
vendor-payload (1 when the payload is the vendor's, 0 for our stand-ins), resource-header, and one
payload=<resource symbol>=<file name> line per payload file.

Exit status: 0 when the description is written, 1 when a file named cannot be read, 2 on bad
usage."""

import argparse
import hashlib
import json
import os
import re
import sys

from ..bench import rules


def read_inputs(path):
    inputs = {"payload": []}
    with open(path, encoding="ascii") as lines:
        for line in lines.read().splitlines():
            key, _, value = line.partition("=")
            if key == "payload":
                inputs["payload"].append(tuple(value.split("=", 1)))
            else:
                inputs[key] = value
    return inputs


def resource_ids(header):
    with open(header, encoding="ascii") as text:
        return {name: int(number) for name, number in
                re.findall(r"^#define\s+(IDR_FILE_\w+)\s+(\d+)\s*$", text.read(), re.M)}


def file_facts(path):
    with open(path, "rb") as data:
        contents = data.read()
    return {"size": len(contents), "sha256": hashlib.sha256(contents).hexdigest()}


def image_facts(name):
    """The platform and version as the program reads them from the image's name (which the
    configuration let through: no sign, no 0x)."""
    platform, number = rules.read_version(name)
    digits = re.match(r"[0-9A-F]*", rules.version_text(name)[1]).group(0)
    return {"file": name, "platform": platform, "version_digits": digits,
            "version_number": number}


def describe(executable, inputs, signer):
    ids = resource_ids(inputs["resource-header"])
    payload = [{"file": name, "resource": ids[symbol],
                **file_facts(os.path.join(inputs["payload-dir"], name))}
               for symbol, name in inputs["payload"]]
    return {"format": 1,
            "executable": {"file": os.path.basename(executable), **file_facts(executable),
                           "signer": signer},
            "image": image_facts(inputs["image"]), "stamp": inputs["stamp"],
            "vendor_payload": inputs["vendor-payload"] == "1", "payload": payload}


def main(arguments):
    parser = argparse.ArgumentParser(prog="python3 -m tools.package", description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--executable", required=True, help="the built BIOSUpdate.exe")
    parser.add_argument("--inputs", required=True, metavar="PACKAGE_INPUTS")
    parser.add_argument("--signer-file", help="a file holding the signer's name")
    parser.add_argument("--output", required=True, help="the description to write")
    options = parser.parse_args(arguments)
    signer = None
    try:
        if options.signer_file:
            with open(options.signer_file, encoding="utf-8") as text:
                signer = text.read().strip()
        description = describe(options.executable, read_inputs(options.inputs), signer)
    except OSError as error:
        print(f"package: {error}", file=sys.stderr)
        return 1
    with open(options.output + ".new", "w", encoding="ascii") as output:
        output.write(json.dumps(description) + "\n")
    os.replace(options.output + ".new", options.output)
    return 0


sys.exit(main(sys.argv[1:]))
