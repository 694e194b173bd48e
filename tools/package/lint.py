"""Checks a built package against its description before it ships, and prints each finding with
its severity:

- a vendor package (built with BIOSUPDATE_VENDOR_PAYLOAD) that still carries one of our stand-ins:
  the stand-in flash utility, a placeholder or the demo image (it would flash nothing);
- the description and the executable disagreeing: the executable's or a payload file's hash, the
  image's name, its platform or number as the program reads them, the stamp, the signer;
- two payload files with the same contents, or an empty image (a copy mistake);
- when signed: a certificate that has expired (an error) or expires within 30 days (a warning),
  and a signature that does not verify (osslsigncode verify, against --cafile or by default the
  certificates the signature carries, which suits a self-signed certificate).

Exit status: 0 when nothing worse than a warning was found, 1 on an error, 2 when the package
cannot be read."""

import argparse
import datetime
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

import pefile

from ..assets import generate_payload
from ..bench import package as bench_package
from ..bench import rules
from ..e2e import stub_record

ERROR, WARNING = "error", "warning"
EXPIRY_WARNING_DAYS = 30
# The resource type the program's payload is embedded as, and that of its pictures.
PAYLOAD_TYPE = "FILE"
BITMAP_TYPE = pefile.RESOURCE_TYPE["RT_BITMAP"]
_SECURITY = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]
_RESOURCE = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]


class LintError(Exception):
    """The package cannot be checked at all."""


def errors(findings):
    return [f for f in findings if f["severity"] == ERROR]


def _sha256(contents):
    return hashlib.sha256(contents).hexdigest()


class Executable:
    """What BIOSUpdate.exe holds, read through pefile: its bytes, the payload it embeds ({resource
    id: bytes}), its pictures ({resource id: device-independent bitmap}), the data of its sections
    and its Authenticode signature (PKCS#7 DER, or None)."""

    def __init__(self, path):
        self.name = os.path.basename(path)
        try:
            with open(path, "rb") as handle:
                self.contents = handle.read()
            pe = pefile.PE(data=self.contents, fast_load=True)
        except (OSError, pefile.PEFormatError) as error:
            raise LintError(f"cannot read {path}: {error}") from error
        pe.parse_data_directories(directories=[_RESOURCE, _SECURITY])
        self.payload, self.bitmaps = {}, {}
        resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
        for kind in resources.entries if resources else []:
            if kind.name is not None and str(kind.name) == PAYLOAD_TYPE:
                found = self.payload
            elif kind.name is None and kind.id == BITMAP_TYPE:
                found = self.bitmaps
            else:
                continue
            for entry in kind.directory.entries:
                for language in entry.directory.entries:
                    data = language.data.struct
                    found[entry.id] = pe.get_data(data.OffsetToData, data.Size)
        self.sections = b"".join(section.get_data() for section in pe.sections)
        security = pe.OPTIONAL_HEADER.DATA_DIRECTORY[_SECURITY]
        self.signature = None
        if security.VirtualAddress and security.Size:
            # WIN_CERTIFICATE at a file offset: length, revision, type, then the PKCS#7 blob.
            length, _, _ = struct.unpack_from("<IHH", self.contents, security.VirtualAddress)
            self.signature = self.contents[security.VirtualAddress + 8:
                                           security.VirtualAddress + length]

    def holds_text(self, text):
        """Whether the program carries the text as one of its own zero-terminated strings."""
        return b"\0" + text.encode("ascii", "replace") + b"\0" in self.sections


def _description_findings(description, exe):
    found = []
    described = description["executable"]
    digest = _sha256(exe.contents)
    if not described.get("sha256"):
        found.append(f"the description gives no SHA-256 of {exe.name}")
    elif digest != described["sha256"].lower():
        found.append(f"{exe.name} is not the executable the description names (SHA-256 {digest}, "
                     f"described {described['sha256']})")
    listed = set()
    for entry in description["payload"]:
        listed.add(entry.get("resource"))
        contents = exe.payload.get(entry.get("resource"))
        if contents is None:
            found.append(f"{exe.name} carries no payload resource {entry.get('resource')} for "
                         f"the description's {entry['file']}")
        elif (_sha256(contents), len(contents)) != (entry.get("sha256"), entry.get("size")):
            found.append(f"{exe.name} carries another {entry['file']} than the description "
                         f"(resource {entry['resource']}: {len(contents)} bytes, SHA-256 "
                         f"{_sha256(contents)}; described {entry.get('size')} bytes, SHA-256 "
                         f"{entry.get('sha256')})")
    found += [f"{exe.name} carries payload resource {number} that the description does not list"
              for number in sorted(set(exe.payload) - listed)]
    image = description["image"]
    if not exe.holds_text(image["file"]):
        found.append(f"{exe.name} does not write its image as {image['file']}, the name the "
                     "description gives")
    platform, number = rules.read_version(image["file"])
    if (image.get("platform"), image.get("version_number")) != (platform, number):
        found.append(f"the description says the image {image['file']} is "
                     f"{image.get('platform')} {image.get('version_number')}, but the program "
                     f"reads its name as {platform} {number}")
    if not exe.holds_text(description["stamp"]):
        found.append(f"{exe.name} does not stamp {description['stamp']!r}, the version the "
                     "description gives")
    return [{"severity": ERROR, "text": t} for t in found]


def _named_payload(description, exe):
    """(file name, contents) of every embedded payload file, named as the description lists it."""
    names = {entry.get("resource"): entry["file"] for entry in description["payload"]}
    return [(names.get(number, f"resource {number}"), contents)
            for number, contents in sorted(exe.payload.items())]


def carries_stand_in_utility(description, exe):
    """Whether the flash utility the package carries is our stand-in."""
    return any(name == rules.UTILITY and stub_record.is_stand_in(contents)
               for name, contents in _named_payload(description, exe))


def _stand_in_findings(description, exe):
    if not description.get("vendor_payload"):
        return []
    kinds = {}
    for name, contents in _named_payload(description, exe):
        kind = ("our stand-in flash utility" if stub_record.is_stand_in(contents)
                else generate_payload.stand_in(contents))
        if kind:
            kinds.setdefault(kind, []).append(name)
    return [{"severity": ERROR, "text": f"this vendor package would flash nothing: it carries "
                                        f"{kind} ({', '.join(names)})"}
            for kind, names in kinds.items()]


def _copy_findings(description, exe):
    payload = _named_payload(description, exe)
    by_contents = {}
    for name, contents in payload:
        by_contents.setdefault(contents, []).append(name)
    found = [f"the payload files {', '.join(names)} have the same contents: a copy mistake?"
             for names in by_contents.values() if len(names) > 1]
    image = description["image"]["file"]
    carried = dict(payload).get(image)
    if carried is not None and not carried:
        found.append(f"the image {image} is empty")
    return [{"severity": ERROR, "text": t} for t in found]


def _run(command, contents=""):
    return subprocess.run(command, capture_output=True, text=True, input=contents)


def _certificates(signature):
    """[(subject, notAfter as an aware datetime, PEM)] of the certificates the signature carries."""
    printed = subprocess.run(["openssl", "pkcs7", "-inform", "DER", "-print_certs"],
                             input=signature, capture_output=True)
    if printed.returncode != 0:
        raise LintError("cannot read the signature's certificates: " +
                        printed.stderr.decode(errors="replace").strip())
    found = []
    for pem in re.findall(r"-----BEGIN CERTIFICATE-----.*?-----END CERTIFICATE-----",
                          printed.stdout.decode("ascii"), re.S):
        fields = _run(["openssl", "x509", "-noout", "-subject", "-enddate", "-nameopt", "RFC2253"],
                      pem).stdout
        subject = re.search(r"^subject=\s*(.*)$", fields, re.M).group(1).strip()
        ends = datetime.datetime.strptime(re.search(r"^notAfter=(.*)$", fields, re.M).group(1),
                                          "%b %d %H:%M:%S %Y %Z")
        found.append((subject, ends.replace(tzinfo=datetime.timezone.utc), pem))
    return found


def _verify(path, certificates, cafile, at):
    """None when the signature verifies at the moment `at`, else why not."""
    with tempfile.TemporaryDirectory() as folder:
        if cafile is None:
            cafile = os.path.join(folder, "certificates.pem")
            with open(cafile, "w", encoding="ascii") as handle:
                handle.write("\n".join(pem for _, _, pem in certificates) + "\n")
        result = _run(["osslsigncode", "verify", "-in", path, "-CAfile", cafile,
                       "-time", str(int(at.timestamp()))])
    if result.returncode == 0:
        return None
    lines = [line.strip() for line in (result.stdout + result.stderr).splitlines()]
    reason = next((line for line in lines if "MISMATCH" in line or line.startswith("Error:")),
                  None)
    return reason or next((line for line in reversed(lines) if line), "osslsigncode failed")


def _signature_findings(description, exe, path, cafile, now):
    signer = description["executable"].get("signer")
    if exe.signature is None:
        return [] if not signer else [
            {"severity": ERROR, "text": f"the description names the signer {signer}, but "
                                        f"{exe.name} is not signed"}]
    for tool in ("openssl", "osslsigncode"):
        if shutil.which(tool) is None:
            raise LintError(f"{tool} is missing; scripts/setup.sh installs it")
    certificates = _certificates(exe.signature)
    found = []
    subjects = [subject for subject, _, _ in certificates]
    if signer not in subjects:
        found.append({"severity": ERROR,
                      "text": f"{exe.name} is signed by {', '.join(subjects) or 'no certificate'}"
                              f", but the description names {signer or 'no signer'}"})
    for subject, ends, _ in certificates:
        days = (ends - now).total_seconds() / 86400
        if days <= 0:
            found.append({"severity": ERROR, "text": f"the certificate {subject} expired on "
                                                     f"{ends:%Y-%m-%d}"})
        elif days < EXPIRY_WARNING_DAYS:
            found.append({"severity": WARNING,
                          "text": f"the certificate {subject} expires on {ends:%Y-%m-%d}, in "
                                  f"{int(days)} day(s)"})
    # An expired certificate is reported above; the signature itself is checked while it held.
    at = min([now] + [ends - datetime.timedelta(seconds=1) for _, ends, _ in certificates])
    reason = _verify(path, certificates, cafile, at)
    if reason:
        found.append({"severity": ERROR,
                      "text": f"the signature of {exe.name} does not verify: {reason}"})
    return found


def lint(description, cafile=None, now=None):
    """The findings on a loaded description (tools.bench.package.load) and its executable, each
    {"severity": "error" | "warning", "text": a sentence}. Raises LintError when it cannot check."""
    now = now or datetime.datetime.now(datetime.timezone.utc)
    exe = Executable(description["exe"])
    return (_stand_in_findings(description, exe) + _description_findings(description, exe) +
            _copy_findings(description, exe) +
            _signature_findings(description, exe, description["exe"], cafile, now))


def main(arguments):
    parser = argparse.ArgumentParser(prog="python3 -m tools.package.lint", description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("package", metavar="PACKAGE_OR_EXE",
                        help="the package description, or BIOSUpdate.exe with its description "
                             "beside it")
    parser.add_argument("--cafile", help="certificates to verify the signature against")
    parser.add_argument("--remove-on-error", action="store_true",
                        help="delete the executable and its description on an error, so that "
                             "the build links again instead of keeping them")
    options = parser.parse_args(arguments)
    try:
        description = bench_package.load(options.package)
        findings = lint(description, options.cafile)
    except (bench_package.PackageError, LintError) as error:
        print(f"lint: {error}", file=sys.stderr)
        return 2
    for f in findings:
        print(f"{f['severity']}: {f['text']}")
    if errors(findings):
        if options.remove_on_error:
            for path in (description["exe"], description["path"]):
                os.remove(path)
        print(f"lint: {len(errors(findings))} error(s) in {description['path']}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
