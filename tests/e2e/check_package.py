#!/usr/bin/env python3
"""Checks what the "package" target made: the zip's contents, the version the program and the
setup carry, their signatures, and that the winget and scoop manifests parse, follow the field
rules their tools enforce, and name the right version, addresses and hashes.

Usage: check_package.py BUILD_DIR [--out DIR] [--cafile CERT.pem]
BUILD_DIR holds the build (CMakeCache.txt, quenvix.exe); the packages are in DIR (default BUILD_DIR).
With --cafile the program, the setup and (given --uninstaller FILE) the uninstaller must carry a
SHA-256 Authenticode signature that verifies against that certificate; without it, none at all."""
import argparse
import hashlib
import json
import re
import struct
import subprocess
import sys
import zipfile
from pathlib import Path

import yaml

parser = argparse.ArgumentParser()
parser.add_argument("build", type=Path)
parser.add_argument("--out", type=Path)
parser.add_argument("--cafile", type=Path)
parser.add_argument("--uninstaller", type=Path)
options = parser.parse_args()
build = options.build
out = options.out or build
problems = []


def check(ok, what):
    if not ok:
        problems.append(what)


version = re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.+)$", (build / "CMakeCache.txt").read_text(), re.M)
version = version.group(1).strip()
zip_path = out / f"Quenvix-{version}-win64.zip"
setup_path = out / f"Quenvix-{version}-setup.exe"
base = "https://www.tarmel.example/download/"


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def pe_header(data, what):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    check(data[pe:pe + 4] == b"PE\0\0", f"{what} is not a PE image")
    return pe


def pe_symbol_count(data):
    # COFF header after "PE\0\0": NumberOfSymbols at offset 12; a stripped image has none.
    return struct.unpack_from("<I", data, pe_header(data, "quenvix.exe") + 4 + 12)[0]


def has_certificate_table(data, what):
    # PE32+ optional header after the 20-byte COFF header; data directory 4 (the certificate
    # table, where Authenticode signatures live) at offset 112 + 4 * 8.
    optional = pe_header(data, what) + 24
    check(struct.unpack_from("<H", data, optional)[0] in (0x10B, 0x20B), f"{what}: unknown optional header")
    directories = optional + (112 if struct.unpack_from("<H", data, optional)[0] == 0x20B else 96)
    return struct.unpack_from("<II", data, directories + 4 * 8)[1] != 0


def version_string(data, key):
    # A String of the version resource: its UTF-16 key, NULs up to a 32-bit boundary, the value.
    at = data.find((key + "\0").encode("utf-16-le"))
    if at < 0:
        return None
    at += len(key + "\0") * 2
    while data[at:at + 2] == b"\0\0":
        at += 2
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le")


def check_signature(path, what):
    data = Path(path).read_bytes()
    if options.cafile is None:
        check(not has_certificate_table(data, what), f"{what} is signed though no certificate was given")
        return
    result = subprocess.run(["osslsigncode", "verify", "-CAfile", str(options.cafile), "-in", str(path)],
                            capture_output=True, text=True)
    report = result.stdout + result.stderr
    check(result.returncode == 0 and "Signature verification: ok" in report,
          f"{what}: the signature does not verify: {report.strip()[-300:]}")
    check(re.search(r"Message digest algorithm\s*:\s*SHA256", report, re.I) is not None,
          f"{what}: not signed with SHA-256")


staged_exe = out / "package-stage/quenvix.exe"
with zipfile.ZipFile(zip_path) as z:
    check(sorted(z.namelist()) == ["README.txt", "quenvix.exe"], f"zip holds {z.namelist()}")
    exe = z.read("quenvix.exe")
    check(exe == staged_exe.read_bytes(), "the zip's quenvix.exe is not the one staged for the setup")
    check(pe_symbol_count(exe) == 0, "quenvix.exe in the zip is not stripped")
    if options.cafile is None:
        check(exe == (build / "quenvix.exe").read_bytes(), "the zip's quenvix.exe is not the one built")
    readme = z.read("README.txt").decode("utf-8")
    for text in ["Ctrl + keypad *", "Ctrl + keypad /", r"HKCU\Software\Tarmel\Quenvix", "--exit",
                 f"Quenvix {version}"]:
        check(text in readme, f"README.txt does not mention {text}")
    check("\r\n" in readme and "\n" not in readme.replace("\r\n", ""), "README.txt lines do not end in CRLF")
setup = setup_path.read_bytes()
check(setup[:2] == b"MZ", "the installer is not a Windows program")

# One version everywhere: project()'s, in the program's and the setup's version resources.
for data, what in [(exe, "quenvix.exe"), (setup, "the setup")]:
    for key in ["FileVersion", "ProductVersion"]:
        check(version_string(data, key) == version, f"{what}: {key} is {version_string(data, key)!r}, not {version}")
check_signature(staged_exe, "quenvix.exe")
check_signature(setup_path, "the setup")
if options.uninstaller:
    check_signature(options.uninstaller, "the uninstaller")

# Scoop: https://github.com/ScoopInstaller/Scoop/wiki/App-Manifests and App-Manifest-Autoupdate.
scoop = json.loads((out / "manifests/scoop/quenvix.json").read_text())
arch = scoop.get("architecture", {}).get("64bit", {})
check(scoop.get("version") == version, f"scoop version {scoop.get('version')}")
check(arch.get("url") == base + zip_path.name, f"scoop url {arch.get('url')}")
check(arch.get("hash") == sha256(zip_path.read_bytes()), "scoop hash is not the zip's SHA-256")
check(scoop.get("bin") == "quenvix.exe", "scoop bin")
checkver = scoop.get("checkver")
check(isinstance(checkver, (str, dict)) and checkver, "scoop: no checkver")
if isinstance(checkver, dict):
    check(re.match(r"^https?://", checkver.get("url", "")) is not None, f"scoop checkver url {checkver.get('url')}")
    regex = checkver.get("regex", "")
    found = re.search(regex.replace("(?<", "(?P<"), zip_path.name) if regex else None
    check(found is not None and found.group(1) == version, f"scoop checkver regex {regex!r} does not find {version}")
auto_url = scoop.get("autoupdate", {}).get("architecture", {}).get("64bit", {}).get("url", "")
check(auto_url.replace("$version", version) == arch.get("url"), f"scoop autoupdate url {auto_url}")

# winget, schema 1.6.0 (microsoft/winget-cli schemas/JSON/manifests/v1.6.0): the patterns that
# winget validate and the community repository enforce on the fields we write.
IDENTIFIER = r'^[^\.\s\\/:\*\?"<>\|\x01-\x1f]{1,32}(\.[^\.\s\\/:\*\?"<>\|\x01-\x1f]{1,32}){1,7}$'
VERSION = r'^[^\\/:\*\?"<>\|\x01-\x1f]+$'
URL = r"^([Hh][Tt][Tt][Pp][Ss]?)://.+$"
SHA256 = r"^[A-Fa-f0-9]{64}$"
LOCALE = r"^([a-zA-Z]{2,3}|[iI]-[a-zA-Z]+|[xX]-[a-zA-Z]{1,8})(-[a-zA-Z]{1,8})*$"
NUMBER = r"(0|[1-9][0-9]{0,3}|[1-5][0-9]{4}|6[0-4][0-9]{3}|65[0-4][0-9]{2}|655[0-2][0-9]|6553[0-5])"
MANIFEST_VERSION = rf"^{NUMBER}(\.{NUMBER}){{2}}$"
OS_VERSION = rf"^{NUMBER}(\.{NUMBER}){{0,3}}$"


def matches(pattern, value, limit=None):
    return isinstance(value, str) and re.match(pattern, value) is not None and (limit is None or len(value) <= limit)


winget_dir = out / f"manifests/winget/manifests/t/Tarmel/Quenvix/{version}"
docs = {p.name: yaml.safe_load(p.read_text()) for p in sorted(winget_dir.glob("*.yaml"))}
check(len(docs) == 3, f"winget manifests: {sorted(docs)}")
for name, doc in docs.items():
    check(doc["PackageIdentifier"] == "Tarmel.Quenvix", f"{name}: identifier")
    check(matches(IDENTIFIER, doc["PackageIdentifier"], 128), f"{name}: identifier pattern")
    check(doc["PackageVersion"] == version and matches(VERSION, doc["PackageVersion"], 128),
          f"{name}: version {doc['PackageVersion']!r}")
    check(doc["ManifestVersion"] == "1.6.0" and matches(MANIFEST_VERSION, doc["ManifestVersion"]),
          f"{name}: manifest version")
    # Every address field of every manifest, wherever it sits: http(s) only, at most 2048 characters.
    def urls(node, path=""):
        if isinstance(node, dict):
            for key, value in node.items():
                if key.endswith("Url") and not isinstance(value, (dict, list)):
                    yield f"{path}{key}", value
                yield from urls(value, f"{path}{key}.")
        elif isinstance(node, list):
            for item in node:
                yield from urls(item, path)
    for field, value in urls(doc):
        check(matches(URL, value, 2048), f"{name}: {field} {value!r} is not an http(s) address")
version_doc = docs.get("Tarmel.Quenvix.yaml", {})
check(version_doc.get("ManifestType") == "version" and version_doc.get("DefaultLocale") == "en-US",
      "winget version manifest")
installer = docs.get("Tarmel.Quenvix.installer.yaml", {})
check(installer.get("ManifestType") == "installer", "winget installer manifest type")
check(installer.get("InstallerType") == "nullsoft" and installer.get("Scope") == "user", "winget type/scope")
check(installer.get("InstallerSwitches", {}).get("Silent") == "/S", "winget silent switch")
check(matches(OS_VERSION, installer.get("MinimumOSVersion", "")), "winget MinimumOSVersion")
entry = (installer.get("Installers") or [{}])[0]
check(entry.get("Architecture") == "x64", "winget architecture")
check(entry.get("InstallerUrl") == base + setup_path.name, f"winget url {entry.get('InstallerUrl')}")
check(matches(SHA256, entry.get("InstallerSha256")), "winget hash pattern")
check(str(entry.get("InstallerSha256")).upper() == sha256(setup).upper(), "winget hash is not the installer's SHA-256")
locale = docs.get("Tarmel.Quenvix.locale.en-US.yaml", {})
check(locale.get("ManifestType") == "defaultLocale", "winget locale manifest type")
check(matches(LOCALE, locale.get("PackageLocale"), 20), "winget PackageLocale")
check(locale.get("Publisher") == "Tarmel", "winget publisher")
for field, low, high in [("Publisher", 2, 256), ("PackageName", 2, 256), ("License", 3, 512),
                         ("ShortDescription", 3, 256), ("Description", 3, 10000)]:
    value = locale.get(field)
    check(isinstance(value, str) and low <= len(value) <= high, f"winget {field}: {len(value or '')} characters")
tags = locale.get("Tags") or []
check(len(tags) <= 16 and len(set(tags)) == len(tags) and all(1 <= len(t) <= 40 for t in tags), "winget Tags")

for p in problems:
    print("package:", p)
print(f"package: zip {zip_path.stat().st_size} bytes, installer {setup_path.stat().st_size} bytes, "
      f"{'signed' if options.cafile else 'unsigned'}, {len(problems)} problem(s)")
sys.exit(1 if problems else 0)
