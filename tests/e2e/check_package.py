#!/usr/bin/env python3
"""Checks what the "package" target made: the zip's contents, and that the winget and scoop
manifests parse and name the right version, addresses and hashes. Usage: check_package.py BUILD_DIR"""
import hashlib
import json
import re
import struct
import sys
import zipfile
from pathlib import Path

import yaml

build = Path(sys.argv[1])
problems = []


def check(ok, what):
    if not ok:
        problems.append(what)


version = re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.+)$", (build / "CMakeCache.txt").read_text(), re.M)
version = version.group(1).strip()
zip_path = build / f"Quenvix-{version}-win64.zip"
setup_path = build / f"Quenvix-{version}-setup.exe"
base = "https://www.tarmel.example/download/"


def sha256(path):
    return hashlib.sha256(path.read_bytes()).hexdigest()


def pe_symbol_count(data):
    # COFF header after "PE\0\0": NumberOfSymbols at offset 12; a stripped image has none.
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    check(data[pe:pe + 4] == b"PE\0\0", "quenvix.exe in the zip is not a PE image")
    return struct.unpack_from("<I", data, pe + 4 + 12)[0]


with zipfile.ZipFile(zip_path) as z:
    check(sorted(z.namelist()) == ["README.txt", "quenvix.exe"], f"zip holds {z.namelist()}")
    exe = z.read("quenvix.exe")
    check(exe == (build / "quenvix.exe").read_bytes(), "the zip's quenvix.exe is not the one built")
    check(pe_symbol_count(exe) == 0, "quenvix.exe in the zip is not stripped")
    readme = z.read("README.txt").decode("utf-8")
    for text in ["Ctrl + keypad *", "Ctrl + keypad /", r"HKCU\Software\Tarmel\Quenvix", "--exit",
                 f"Quenvix {version}"]:
        check(text in readme, f"README.txt does not mention {text}")
    check("\r\n" in readme and "\n" not in readme.replace("\r\n", ""), "README.txt lines do not end in CRLF")
check(setup_path.read_bytes()[:2] == b"MZ", "the installer is not a Windows program")

scoop = json.loads((build / "manifests/scoop/quenvix.json").read_text())
arch = scoop["architecture"]["64bit"]
check(scoop["version"] == version, f"scoop version {scoop['version']}")
check(arch["url"] == base + zip_path.name, f"scoop url {arch['url']}")
check(arch["hash"] == sha256(zip_path), "scoop hash is not the zip's SHA-256")
check(scoop["bin"] == "quenvix.exe", "scoop bin")

winget_dir = build / f"manifests/winget/manifests/t/Tarmel/Quenvix/{version}"
docs = {p.name: yaml.safe_load(p.read_text()) for p in sorted(winget_dir.glob("*.yaml"))}
check(len(docs) == 3, f"winget manifests: {sorted(docs)}")
for name, doc in docs.items():
    check(doc["PackageIdentifier"] == "Tarmel.Quenvix", f"{name}: identifier")
    check(doc["PackageVersion"] == version, f"{name}: version {doc['PackageVersion']!r}")
    check(doc["ManifestVersion"] == "1.6.0", f"{name}: manifest version")
installer = docs.get("Tarmel.Quenvix.installer.yaml", {})
check(installer.get("InstallerType") == "nullsoft" and installer.get("Scope") == "user", "winget type/scope")
check(installer.get("InstallerSwitches", {}).get("Silent") == "/S", "winget silent switch")
entry = (installer.get("Installers") or [{}])[0]
check(entry.get("Architecture") == "x64", "winget architecture")
check(entry.get("InstallerUrl") == base + setup_path.name, f"winget url {entry.get('InstallerUrl')}")
check(entry.get("InstallerSha256") == sha256(setup_path).upper(), "winget hash is not the installer's SHA-256")
check(docs.get("Tarmel.Quenvix.locale.en-US.yaml", {}).get("Publisher") == "Tarmel", "winget publisher")

for p in problems:
    print("package:", p)
print(f"package: zip {zip_path.stat().st_size} bytes, installer {setup_path.stat().st_size} bytes, "
      f"{len(problems)} problem(s)")
sys.exit(1 if problems else 0)
