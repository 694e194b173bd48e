"""The package lint on packages built wrong, made here from copies of the built product (no Wine):
our stand-ins in a vendor package, descriptions that disagree with their executable, copy
mistakes in the payload, and signatures by throwaway certificates that have expired or soon
expire, or that no longer fit the executable."""

import copy
import datetime
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import pefile

from tools import ROOT
from tools.bench import package
from tools.package import lint

PRODUCT = os.path.join(os.environ["BIOSUPDATE_PRODUCT_DIR"], "BIOSUpdate.exe")
with open(os.path.join(os.path.dirname(PRODUCT), package.DESCRIPTION_NAME)) as _handle:
    BUILT = json.load(_handle)
with open(PRODUCT, "rb") as _handle:
    EXE = _handle.read()
PLACEHOLDERS = ["mfc42.dll", "msvcp60.dll", "msvcrt.dll", "Phlash9X.vxd", "PhlashLc.dll",
                "PhlashNT.sys", "WINPHLASH.GID"]
# A minimal "openssl ca" set-up, for certificates with dates of our choosing.
CA_CONFIG = """[ca]
default_ca = throwaway
[throwaway]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = any
[any]
commonName = supplied
"""


def findings(folder, description=None, exe=EXE):
    """The lint's (severity, text) on a package in `folder` of the executable's bytes and the
    description (by default the built one), which names the executable's own hash."""
    description = copy.deepcopy(description or BUILT)
    description["executable"].update(size=len(exe), sha256=hashlib.sha256(exe).hexdigest())
    return raw_findings(folder, description, exe)


def raw_findings(folder, description, exe=EXE):
    with open(os.path.join(folder, "BIOSUpdate.exe"), "wb") as handle:
        handle.write(exe)
    with open(os.path.join(folder, package.DESCRIPTION_NAME), "w") as handle:
        json.dump(description, handle)
    loaded = package.load(os.path.join(folder, package.DESCRIPTION_NAME))
    return [(f["severity"], f["text"]) for f in lint.lint(loaded)]


def with_payload(description, name, contents):
    """The description with the payload file `name` described as `contents`."""
    changed = copy.deepcopy(description)
    entry = next(e for e in changed["payload"] if e["file"] == name)
    entry.update(size=len(contents), sha256=hashlib.sha256(contents).hexdigest())
    return changed


def resource(pe, number):
    """The data entry of the payload resource `number`."""
    (kind,) = [k for k in pe.DIRECTORY_ENTRY_RESOURCE.entries if str(k.name) == "FILE"]
    (entry,) = [e for e in kind.directory.entries if e.id == number]
    return entry.directory.entries[0].data.struct


def run(*command, folder):
    subprocess.run(command, cwd=folder, check=True, capture_output=True)


def certificate(folder, name, days=None, dates=None):
    """A throwaway self-signed certificate with its key as PKCS#12 (password "x"): valid for
    `days` from now, or over `dates` (openssl's YYYYMMDDHHMMSSZ, start and end)."""
    key, pem, p12 = (os.path.join(folder, f"{name}.{end}") for end in ("key", "crt", "p12"))
    subject = f"/CN={name}"
    if days:
        run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", str(days),
            "-subj", subject, "-keyout", key, "-out", pem, folder=folder)
    else:
        with open(os.path.join(folder, "ca.cnf"), "w") as handle:
            handle.write(CA_CONFIG)
        open(os.path.join(folder, "index.txt"), "w").close()
        with open(os.path.join(folder, "serial"), "w") as handle:
            handle.write("01\n")
        run("openssl", "req", "-new", "-newkey", "rsa:2048", "-nodes", "-subj", subject,
            "-keyout", key, "-out", pem + ".csr", folder=folder)
        run("openssl", "ca", "-batch", "-config", "ca.cnf", "-selfsign", "-keyfile", key,
            "-in", pem + ".csr", "-startdate", dates[0], "-enddate", dates[1], "-notext",
            "-out", pem, folder=folder)
    run("openssl", "pkcs12", "-export", "-inkey", key, "-in", pem, "-passout", "pass:x",
        "-out", p12, folder=folder)
    return p12


def signed(folder, p12):
    """The product's bytes signed as cmake/SignExecutable.cmake signs them."""
    source, target = os.path.join(folder, "unsigned.exe"), os.path.join(folder, "signed.exe")
    with open(source, "wb") as handle:
        handle.write(EXE)
    if os.path.exists(target):
        os.remove(target)
    run("osslsigncode", "sign", "-pkcs12", p12, "-pass", "x", "-h", "sha256", "-n",
        "BIOS Update Program", "-in", source, "-out", target, folder=folder)
    with open(target, "rb") as handle:
        return handle.read()


def signer(name):
    return dict(BUILT, executable=dict(BUILT["executable"], signer=f"CN={name}"))


class Lint(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.folder)

    def test_the_built_package_lints_clean(self):
        self.assertEqual(raw_findings(self.folder, BUILT), [])

    def test_a_vendor_package_that_still_carries_our_stand_ins(self):
        found = findings(self.folder, dict(BUILT, vendor_payload=True))
        self.assertEqual(sorted(found), sorted(
            ("error", f"this vendor package would flash nothing: it carries {what}")
            for what in ["our stand-in flash utility (SWinFlash.exe)",
                         "our demo image (mirtsf13.imc)",
                         f"our placeholders ({', '.join(PLACEHOLDERS)})"]))

    def test_a_description_that_disagrees_with_its_executable(self):
        def image(description, name, number):
            description["image"].update(file=name, version_digits=f"{number:X}",
                                        version_number=number)
            description["payload"][8]["file"] = name

        for change, sentence in [
                (lambda d: d["executable"].update(sha256="12ab"),
                 "BIOSUpdate.exe is not the executable the description names"),
                (lambda d: d["executable"].update(sha256=None),
                 "the description gives no SHA-256 of BIOSUpdate.exe"),
                (lambda d: d["payload"][1].update(sha256="00"),
                 "BIOSUpdate.exe carries another mfc42.dll than the description (resource 154: "
                 "201 bytes"),
                (lambda d: d["payload"][2].update(size=5), "carries another msvcp60.dll"),
                (lambda d: d["payload"].pop(),
                 "BIOSUpdate.exe carries payload resource 164 that the description does not list"),
                (lambda d: d["payload"][1].update(resource=200),
                 "BIOSUpdate.exe carries no payload resource 200 for the description's mfc42.dll"),
                (lambda d: image(d, "mirtsf14.imc", 0xF14),
                 "BIOSUpdate.exe does not write its image as mirtsf14.imc, the name the "
                 "description gives"),
                (lambda d: d["image"].update(version_number=0xF12),
                 "the description says the image mirtsf13.imc is MIRTS 3858, but the program "
                 "reads its name as MIRTS 3859"),
                (lambda d: d["image"].update(platform="QX7RW"), "is QX7RW 3859, but"),
                (lambda d: d.update(stamp="1.1508.0312.02"),
                 "BIOSUpdate.exe does not stamp '1.1508.0312.02', the version the description "
                 "gives")]:
            description = copy.deepcopy(BUILT)
            change(description)
            found = raw_findings(self.folder, description)
            self.assertTrue(found and all(severity == "error" for severity, _ in found), found)
            self.assertTrue(any(sentence in text for _, text in found), (sentence, found))

    def test_two_payload_files_alike_or_an_empty_image_are_copy_mistakes(self):
        pe = pefile.PE(data=EXE)
        copied = pe.get_data(resource(pe, 160).OffsetToData, resource(pe, 160).Size)
        pe.set_bytes_at_rva(resource(pe, 161).OffsetToData, copied)
        resource(pe, 168).Size = 0
        description = with_payload(with_payload(BUILT, "PhlashNT.sys", copied), "mirtsf13.imc",
                                   b"")
        self.assertEqual(findings(self.folder, description, pe.write()), [
            ("error", "the payload files PhlashLc.dll, PhlashNT.sys have the same contents: "
                      "a copy mistake?"),
            ("error", "the image mirtsf13.imc is empty")])

    def test_certificates_that_expired_or_soon_expire(self):
        soon = signed(self.folder, certificate(self.folder, "Soon", days=10))
        ends = (datetime.datetime.now(datetime.timezone.utc) + datetime.timedelta(days=10))
        self.assertEqual(findings(self.folder, signer("Soon"), soon), [
            ("warning", f"the certificate CN=Soon expires on {ends:%Y-%m-%d}, in 9 day(s)")])
        expired = signed(self.folder, certificate(self.folder, "Expired",
                                                  dates=("20200101000000Z", "20200102000000Z")))
        # Expired, but the signature still fits the bytes it signed.
        self.assertEqual(findings(self.folder, signer("Expired"), expired),
                         [("error", "the certificate CN=Expired expired on 2020-01-02")])

    def test_a_signature_that_does_not_fit(self):
        exe = signed(self.folder, certificate(self.folder, "Vendor", days=365))
        self.assertEqual(findings(self.folder, signer("Vendor"), exe), [])
        tampered = bytearray(exe)
        tampered[4096] ^= 1
        (verify,) = findings(self.folder, signer("Vendor"), bytes(tampered))
        self.assertEqual(verify[0], "error")
        self.assertTrue(verify[1].startswith("the signature of BIOSUpdate.exe does not verify: "
                                             "Calculated message digest"), verify)
        self.assertEqual(findings(self.folder, signer("Someone Else"), exe), [
            ("error", "BIOSUpdate.exe is signed by CN=Vendor, but the description names "
                      "CN=Someone Else")])
        self.assertEqual(findings(self.folder, signer("Vendor")), [
            ("error", "the description names the signer CN=Vendor, but BIOSUpdate.exe is not "
                      "signed")])

    def test_the_command_fails_on_an_error_and_the_build_keeps_no_such_package(self):
        findings(self.folder, dict(BUILT, vendor_payload=True))
        description = os.path.join(self.folder, package.DESCRIPTION_NAME)
        for arguments, status, printed in [([description], 1, 3), ([self.folder + "/x.json"], 2, 0),
                                           ([description, "--remove-on-error"], 1, 3)]:
            result = subprocess.run([sys.executable, "-m", "tools.package.lint", *arguments],
                                    cwd=ROOT, capture_output=True, text=True)
            self.assertEqual(result.returncode, status, result.stderr)
            lines = result.stdout.splitlines()
            self.assertEqual(len(lines), printed, lines)
            self.assertTrue(all(line.startswith("error: ") for line in lines), lines)
        self.assertEqual(os.listdir(self.folder), [])


if __name__ == "__main__":
    unittest.main()
