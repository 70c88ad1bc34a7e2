#!/usr/bin/env python3
"""Checks what the "package" target made: the zip's and the setup's contents (the setup unpacked
with 7-Zip, which reads NSIS), the version the programs and the setup carry, the signature of every
Windows program inside either, the help page, and that the winget and scoop manifests parse, follow
the rules of their schema and name the right version, addresses and hashes.

Usage: check_package.py BUILD_DIR [--out DIR] [--cafile CERT.pem] [--uninstaller FILE]
BUILD_DIR holds the build (CMakeCache.txt); the packages are in DIR (default BUILD_DIR). With
--cafile every PE file in the zip and in the setup (programs, NSIS plug-ins, the setup itself and,
given --uninstaller, the uninstaller it writes) must carry a SHA-256 Authenticode signature that
verifies against that certificate; without it, none at all."""
import argparse
import datetime
import hashlib
import json
import re
import struct
import subprocess
import sys
import tempfile
import zipfile
from pathlib import Path

import yaml

parser = argparse.ArgumentParser()
parser.add_argument("build", type=Path)
parser.add_argument("--out", type=Path)
parser.add_argument("--cafile", type=Path)
parser.add_argument("--uninstaller", type=Path)
parser.add_argument("--download-base", help="the base address the packages were made with (default: the build's)")
options = parser.parse_args()
build = options.build
out = options.out or build
problems = []


def check(ok, what):
    if not ok:
        problems.append(what)


cache = (build / "CMakeCache.txt").read_text()
version = re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.+)$", cache, re.M).group(1).strip()
base = options.download_base or re.search(r"^QUENVIX_DOWNLOAD_BASE:STRING=(.*)$", cache, re.M).group(1).strip()
base = base.rstrip("/") + "/"
zip_path = out / f"Quenvix-{version}-win64.zip"
setup_path = out / f"Quenvix-{version}-setup.exe"
stage = out / "package-stage"
programs = sorted(p.name for p in stage.glob("*.exe"))


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def is_pe(data):
    if data[:2] != b"MZ" or len(data) < 0x40:
        return False
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    return data[pe:pe + 4] == b"PE\0\0"


def pe_header(data, what):
    check(is_pe(data), f"{what} is not a PE image")
    return struct.unpack_from("<I", data, 0x3C)[0]


def pe_symbol_count(data, what):
    # COFF header after "PE\0\0": NumberOfSymbols at offset 12; a stripped image has none.
    return struct.unpack_from("<I", data, pe_header(data, what) + 4 + 12)[0]


def has_certificate_table(data, what):
    # Optional header after the 20-byte COFF header; data directory 4 (the certificate table,
    # where Authenticode signatures live) at offset 96 (PE32) or 112 (PE32+) + 4 * 8.
    optional = pe_header(data, what) + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    check(magic in (0x10B, 0x20B), f"{what}: unknown optional header")
    directories = optional + (112 if magic == 0x20B else 96)
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


signed_files = []


def check_signature(path, what):
    data = Path(path).read_bytes()
    if options.cafile is None:
        check(not has_certificate_table(data, what), f"{what} is signed though no key was given")
        return
    result = subprocess.run(["osslsigncode", "verify", "-CAfile", str(options.cafile), "-in", str(path)],
                            capture_output=True, text=True)
    report = result.stdout + result.stderr
    check(result.returncode == 0 and "Signature verification: ok" in report,
          f"{what}: the signature does not verify: {report.strip()[-300:]}")
    check(re.search(r"Message digest algorithm\s*:\s*SHA256", report, re.I) is not None,
          f"{what}: not signed with SHA-256")
    signed_files.append(what)


def check_every_pe(folder, where):
    """Every Windows program below folder, whatever its name or place: signed (or not at all)."""
    found = []
    for path in sorted(p for p in folder.rglob("*") if p.is_file()):
        if is_pe(path.read_bytes()):
            found.append(path)
            check_signature(path, f"{where}: {path.relative_to(folder)}")
    return found


scratch = Path(tempfile.mkdtemp(prefix="quenvix-check-"))
try:
    # ---- the zip: the shipped files, the portable marker, every program signed --------------------
    shipped = sorted([*programs, "README.txt", "Help/Default.htm"])
    check("quenvix.exe" in programs, f"package-stage holds no quenvix.exe: {programs}")
    with zipfile.ZipFile(zip_path) as z:
        check(sorted(z.namelist()) == sorted([*shipped, "portable.ini"]), f"zip holds {sorted(z.namelist())}")
        z.extractall(scratch / "zip")
    unzipped = scratch / "zip"
    exe = (unzipped / "quenvix.exe").read_bytes()
    for name in programs:
        data = (unzipped / name).read_bytes()
        check(data == (stage / name).read_bytes(), f"the zip's {name} is not the one staged for the setup")
        check(pe_symbol_count(data, name) == 0, f"{name} in the zip is not stripped")
        if options.cafile is None:
            check(data == (build / name).read_bytes(), f"the zip's {name} is not the one built")
    zip_pes = check_every_pe(unzipped, "zip")
    check(sorted(p.name for p in zip_pes) == programs, f"PE files in the zip: {[p.name for p in zip_pes]}")
    readme = (unzipped / "README.txt").read_bytes().decode("utf-8")
    for text in ["Ctrl + keypad *", "Ctrl + keypad /", r"HKCU\Software\Tarmel\Quenvix", "--exit",
                 f"Quenvix {version}", "portable.ini"]:
        check(text in readme, f"README.txt does not mention {text}")
    check("\r\n" in readme and "\n" not in readme.replace("\r\n", ""), "README.txt lines do not end in CRLF")
    marker = (unzipped / "portable.ini").read_text()
    check(all(line.startswith(";") or not line.strip() for line in marker.splitlines()),
          "portable.ini holds more than comments")

    # ---- the help page "Help contents" opens: the README, as a page, with the release address ---
    help_page = (unzipped / "Help/Default.htm").read_bytes().decode("utf-8")
    check(help_page.startswith("<!DOCTYPE html>") and "</html>" in help_page, "Help/Default.htm is no HTML page")
    readme_md = Path(__file__).resolve().parents[2].joinpath("README.md").read_text()
    for heading in re.findall(r"^##\s+(.+)$", readme_md, re.M)[:6]:
        plain = re.sub(r"[`*]", "", heading).strip()
        check(plain.replace("&", "&amp;") in re.sub(r"<[^>]+>", "", help_page),
              f"Help/Default.htm lacks the README's section {plain!r}")
    check("<h1>" in help_page and "<pre>" in help_page, "Help/Default.htm has no title or no commands")
    check(not re.search(r"(^|\n)#+ |```", help_page), "Help/Default.htm still holds Markdown")
    check(base.rstrip("/") + "/Quenvix-" in help_page, f"Help/Default.htm does not name the download address {base}")

    # ---- the setup, unpacked by 7-Zip: the same files, no marker, every PE signed ----------------
    setup = setup_path.read_bytes()
    check(setup[:2] == b"MZ", "the installer is not a Windows program")
    check_signature(setup_path, "the setup")
    listing = subprocess.run(["7z", "x", "-y", f"-o{scratch / 'setup'}", str(setup_path)],
                             capture_output=True, text=True)
    check(listing.returncode == 0, f"7z could not unpack the setup: {listing.stdout[-300:]}{listing.stderr[-300:]}")
    unpacked = scratch / "setup"
    for name in shipped:
        inside = unpacked / name
        check(inside.is_file() and inside.read_bytes() == (stage / name).read_bytes(),
              f"the setup does not hold the staged {name}")
    check(not any(unpacked.rglob("portable.ini")), "the setup holds portable.ini")
    setup_pes = check_every_pe(unpacked, "setup")
    plugins = [p for p in setup_pes if p.parent.name == "$PLUGINSDIR"]
    check(plugins, f"7-Zip found no NSIS plug-in in the setup: {[str(p.relative_to(unpacked)) for p in setup_pes]}")
    if options.uninstaller:
        check_signature(options.uninstaller, "the uninstaller")
finally:
    subprocess.run(["rm", "-rf", str(scratch)])

# One version everywhere: project()'s, in the programs' and the setup's version resources.
for data, what in [(exe, "quenvix.exe"), (setup, "the setup")]:
    for key in ["FileVersion", "ProductVersion"]:
        check(version_string(data, key) == version, f"{what}: {key} is {version_string(data, key)!r}, not {version}")
quad = ".".join((version.split(".") + ["0", "0", "0"])[:4])
check(f'name="Tarmel.Quenvix" version="{quad}"'.encode() in exe,
      f"quenvix.exe's manifest assemblyIdentity does not carry {quad}")

# ---- scoop: https://github.com/ScoopInstaller/Scoop/wiki/App-Manifests -------------------------
scoop = json.loads((out / "manifests/scoop/quenvix.json").read_text())
arch = scoop.get("architecture", {}).get("64bit", {})
check(scoop.get("version") == version, f"scoop version {scoop.get('version')}")
check(arch.get("url") == base + zip_path.name, f"scoop url {arch.get('url')}")
check(arch.get("hash") == sha256(zip_path.read_bytes()), "scoop hash is not the zip's SHA-256")
check(scoop.get("bin") == "quenvix.exe", "scoop bin")
checkver = scoop.get("checkver")
check(isinstance(checkver, (str, dict)) and checkver, "scoop: no checkver")
if isinstance(checkver, dict):
    check(checkver.get("url", "").startswith(base), f"scoop checkver url {checkver.get('url')}")
    regex = checkver.get("regex", "")
    found = re.search(regex.replace("(?<", "(?P<"), zip_path.name) if regex else None
    check(found is not None and found.group(1) == version, f"scoop checkver regex {regex!r} does not find {version}")
auto_url = scoop.get("autoupdate", {}).get("architecture", {}).get("64bit", {}).get("url", "")
check(auto_url.replace("$version", version) == arch.get("url"), f"scoop autoupdate url {auto_url}")


def hook(name):
    value = scoop.get(name, [])
    return [value] if isinstance(value, str) else list(value)


# Hooks: a scoop install keeps settings in the registry (the folder is replaced on update); a
# running copy ends before an update or uninstall, every program of ours is waited for, an update
# starts it again, and only an uninstall removes "Run on startup" (and only when it is this copy).
pre_install, post_install, pre_uninstall = hook("pre_install"), hook("post_install"), hook("pre_uninstall")
check(any("Remove-Item" in line and "portable.ini" in line for line in pre_install),
      "scoop pre_install does not remove the portable marker")
exit_at = next((i for i, line in enumerate(pre_uninstall) if "'--exit'" in line and "-Wait" in line), None)
check(exit_at is not None, "scoop pre_uninstall does not end a running copy with --exit")
flag_at = next((i for i, line in enumerate(pre_uninstall) if "quenvix-scoop-restart" in line and "'update'" in line), None)
check(flag_at is not None and exit_at is not None and flag_at < exit_at,
      "scoop pre_uninstall does not note a running copy for the restart before ending it")
for name in programs:
    stem = name[:-4]
    check(any(f"'{stem}'" in line and "Get-Process" in line for line in pre_uninstall),
          f"scoop pre_uninstall does not wait for {name}")
check(any("Wait-Process" in line for line in pre_uninstall), "scoop pre_uninstall does not wait for the end")
run_lines = [line for line in pre_uninstall if "Remove-ItemProperty" in line]
check(len(run_lines) == 1 and "$cmd -eq 'uninstall'" in run_lines[0] and "$appFolder" in run_lines[0] and
      "'Quenvix'" in run_lines[0], "scoop: an uninstall does not remove the Run entry (only its own)")
check(any("quenvix-scoop-restart" in line and "Start-Process" in line and "$dir\\quenvix.exe" in line
          for line in post_install), "scoop post_install does not start an ended copy again")

# ---- winget, manifest schema 1.12.0 -------------------------------------------------------------
# The rules of microsoft/winget-cli schemas/JSON/manifests/v1.12.0 for the fields we write, as
# winget validate and the community repository's validation apply them.
SCHEMA = "1.12.0"
IDENTIFIER = r'^[^\.\s\\/:\*\?"<>\|\x01-\x1f]{1,32}(\.[^\.\s\\/:\*\?"<>\|\x01-\x1f]{1,32}){1,7}$'
VERSION = r'^[^\\/:\*\?"<>\|\x01-\x1f]+$'
URL = r"^([Hh][Tt][Tt][Pp][Ss]?)://.+$"
SHA256 = r"^[A-Fa-f0-9]{64}$"
LOCALE = r"^([a-zA-Z]{2,3}|[iI]-[a-zA-Z]+|[xX]-[a-zA-Z]{1,8})(-[a-zA-Z]{1,8})*$"
NUMBER = r"(0|[1-9][0-9]{0,3}|[1-5][0-9]{4}|6[0-4][0-9]{3}|65[0-4][0-9]{2}|655[0-2][0-9]|6553[0-5])"
OS_VERSION = rf"^{NUMBER}(\.{NUMBER}){{0,3}}$"
RETURN_RESPONSES = {"packageInUse", "packageInUseByApplication", "installInProgress", "fileInUse",
                    "missingDependency", "diskFull", "insufficientMemory", "invalidParameter", "noNetwork",
                    "contactSupport", "rebootRequiredToFinish", "rebootRequiredForInstall",
                    "rebootInitiated", "cancelledByUser", "alreadyInstalled", "downgrade",
                    "blockedByPolicy", "systemNotSupported", "custom"}
INSTALLER_TYPES = {"msix", "msi", "appx", "exe", "zip", "inno", "nullsoft", "wix", "burn", "pwa", "portable", "font"}
# Which fields each manifest may carry (the schema's additionalProperties: false) and must carry.
ALLOWED = {
    "version": {"PackageIdentifier", "PackageVersion", "DefaultLocale", "ManifestType", "ManifestVersion"},
    "installer": {"PackageIdentifier", "PackageVersion", "MinimumOSVersion", "InstallerType", "Scope",
                  "InstallModes", "InstallerSwitches", "ExpectedReturnCodes", "UpgradeBehavior",
                  "ReleaseDate", "ProductCode", "AppsAndFeaturesEntries", "Installers", "ManifestType",
                  "ManifestVersion", "InstallerLocale", "Platform", "Commands", "Protocols",
                  "FileExtensions", "Dependencies", "ElevationRequirement", "InstallerSuccessCodes"},
    "defaultLocale": {"PackageIdentifier", "PackageVersion", "PackageLocale", "Publisher", "PublisherUrl",
                      "PublisherSupportUrl", "PrivacyUrl", "Author", "PackageName", "PackageUrl", "License",
                      "LicenseUrl", "Copyright", "CopyrightUrl", "ShortDescription", "Description", "Moniker",
                      "Tags", "ReleaseNotes", "ReleaseNotesUrl", "Agreements", "PurchaseUrl",
                      "InstallationNotes", "Documentation", "Icons", "ManifestType", "ManifestVersion"},
}
REQUIRED = {
    "version": {"PackageIdentifier", "PackageVersion", "DefaultLocale", "ManifestType", "ManifestVersion"},
    "installer": {"PackageIdentifier", "PackageVersion", "Installers", "ManifestType", "ManifestVersion"},
    "defaultLocale": {"PackageIdentifier", "PackageVersion", "PackageLocale", "Publisher", "PackageName",
                      "License", "ShortDescription", "ManifestType", "ManifestVersion"},
}


def matches(pattern, value, limit=None):
    return isinstance(value, str) and re.match(pattern, value) is not None and (limit is None or len(value) <= limit)


def text(value, low, high):
    return isinstance(value, str) and low <= len(value) <= high


winget_dir = out / f"manifests/winget/manifests/t/Tarmel/Quenvix/{version}"
files = sorted(winget_dir.glob("*.yaml"))
docs = {p.name: yaml.safe_load(p.read_text()) for p in files}
check(len(docs) == 3, f"winget manifests: {sorted(docs)}")
for path in files:
    name, doc = path.name, docs[path.name]
    kind = doc.get("ManifestType")
    check(kind in ALLOWED, f"{name}: ManifestType {kind!r}")
    header = f"# yaml-language-server: $schema=https://aka.ms/winget-manifest.{kind}.{SCHEMA}.schema.json"
    check(path.read_text().splitlines()[0] == header, f"{name}: the first line is not the schema header {header}")
    check(set(doc) <= ALLOWED.get(kind, set()), f"{name}: fields the schema does not know: {set(doc) - ALLOWED.get(kind, set())}")
    check(REQUIRED.get(kind, set()) <= set(doc), f"{name}: required fields missing: {REQUIRED.get(kind, set()) - set(doc)}")
    check(doc.get("PackageIdentifier") == "Tarmel.Quenvix" and matches(IDENTIFIER, doc.get("PackageIdentifier"), 128),
          f"{name}: identifier")
    check(doc.get("PackageVersion") == version and matches(VERSION, doc.get("PackageVersion"), 128),
          f"{name}: version {doc.get('PackageVersion')!r}")
    check(doc.get("ManifestVersion") == SCHEMA, f"{name}: manifest version {doc.get('ManifestVersion')!r}")

    # Every address field of every manifest, wherever it sits: http(s) only, at most 2048 characters.
    def urls(node, at=""):
        if isinstance(node, dict):
            for key, value in node.items():
                if key.endswith("Url") and not isinstance(value, (dict, list)):
                    yield f"{at}{key}", value
                yield from urls(value, f"{at}{key}.")
        elif isinstance(node, list):
            for item in node:
                yield from urls(item, at)
    for field, value in urls(doc):
        check(matches(URL, value, 2048), f"{name}: {field} {value!r} is not an http(s) address")

version_doc = docs.get("Tarmel.Quenvix.yaml", {})
check(version_doc.get("ManifestType") == "version" and version_doc.get("DefaultLocale") == "en-US",
      "winget version manifest")

installer = docs.get("Tarmel.Quenvix.installer.yaml", {})
check(installer.get("InstallerType") == "nullsoft" and installer.get("Scope") == "user", "winget type/scope")
check(installer.get("InstallerType") in INSTALLER_TYPES, "winget InstallerType")
check(matches(OS_VERSION, installer.get("MinimumOSVersion", "")), "winget MinimumOSVersion")
modes = installer.get("InstallModes", [])
check(len(modes) == len(set(modes)) <= 3 and set(modes) <= {"interactive", "silent", "silentWithProgress"},
      f"winget InstallModes {modes}")
switches = installer.get("InstallerSwitches", {})
check(set(switches) <= {"Silent", "SilentWithProgress", "Interactive", "InstallLocation", "Log", "Upgrade",
                        "Custom", "Repair"} and all(text(v, 1, 512) for v in switches.values()),
      f"winget InstallerSwitches {switches}")
# An upgrade runs the setup with Silent and Upgrade: /S /RESTART starts an ended copy again.
check(switches.get("Silent") == "/S" and switches.get("SilentWithProgress") == "/S", "winget silent switches")
check(switches.get("Upgrade") == "/RESTART", f"winget Upgrade switch {switches.get('Upgrade')!r}")
check(installer.get("UpgradeBehavior") in {"install", "uninstallPrevious", "deny"}, "winget UpgradeBehavior")
codes = installer.get("ExpectedReturnCodes", [])
check(isinstance(codes, list) and len(codes) <= 128, "winget ExpectedReturnCodes")
for code in codes:
    value = code.get("InstallerReturnCode")
    check(isinstance(value, int) and value != 0 and -2147483648 <= value <= 4294967295,
          f"winget InstallerReturnCode {value!r}")
    check(code.get("ReturnResponse") in RETURN_RESPONSES, f"winget ReturnResponse {code.get('ReturnResponse')!r}")
nsi = Path(__file__).resolve().parents[2].joinpath("packaging/quenvix.nsi").read_text()
still_running = re.search(r"!define STILL_RUNNING_CODE (\d+)", nsi)
check(still_running is not None and
      {"InstallerReturnCode": int(still_running.group(1)), "ReturnResponse": "packageInUse"} in codes,
      "winget: the setup's \"still running\" exit code is not mapped to packageInUse")
release_date = installer.get("ReleaseDate")
try:
    datetime.date.fromisoformat(release_date)
    date_ok = re.match(r"^\d{4}-\d{2}-\d{2}$", release_date) is not None
except (TypeError, ValueError):
    date_ok = False
check(date_ok, f"winget ReleaseDate {release_date!r} is not a YYYY-MM-DD date")
uninstall_key = re.search(r'!define UNINSTALL_KEY "[^"]*\\\$\{PRODUCT_CODE\}"', nsi)
check(uninstall_key is not None, "the setup's uninstall entry is not named by PRODUCT_CODE")
product_code = installer.get("ProductCode")
check(text(product_code, 1, 255), f"winget ProductCode {product_code!r}")
entries = installer.get("AppsAndFeaturesEntries", [])
check(isinstance(entries, list) and 1 <= len(entries) <= 128, "winget AppsAndFeaturesEntries")
for entry in entries:
    check(set(entry) <= {"DisplayName", "Publisher", "DisplayVersion", "ProductCode", "UpgradeCode", "InstallerType"},
          f"winget AppsAndFeaturesEntries fields {set(entry)}")
    # What the setup writes into its uninstall entry (packaging/quenvix.nsi).
    check(entry.get("DisplayName") == "Quenvix" and 'DisplayName" "Quenvix"' in nsi, "winget ARP DisplayName")
    check(entry.get("Publisher") == "Tarmel" and '"Publisher" "Tarmel"' in nsi, "winget ARP Publisher")
    check(entry.get("DisplayVersion") == version and '"DisplayVersion" "${VERSION}"' in nsi, "winget ARP DisplayVersion")
    check(entry.get("ProductCode") == product_code, "winget ARP ProductCode differs from ProductCode")
    check(entry.get("InstallerType") in INSTALLER_TYPES, "winget ARP InstallerType")
    for field, high in [("DisplayName", 256), ("Publisher", 256), ("DisplayVersion", 128), ("ProductCode", 255)]:
        check(text(entry.get(field), 1, high), f"winget ARP {field} length")
items = installer.get("Installers") or []
check(1 <= len(items) <= 1024, "winget Installers count")
entry = items[0] if items else {}
check(entry.get("Architecture") in {"x86", "x64", "arm", "arm64", "neutral"} and entry.get("Architecture") == "x64",
      "winget architecture")
check(entry.get("InstallerUrl") == base + setup_path.name, f"winget url {entry.get('InstallerUrl')}")
check(matches(SHA256, entry.get("InstallerSha256")), "winget hash pattern")
check(str(entry.get("InstallerSha256")).upper() == sha256(setup).upper(), "winget hash is not the installer's SHA-256")

locale = docs.get("Tarmel.Quenvix.locale.en-US.yaml", {})
check(locale.get("ManifestType") == "defaultLocale", "winget locale manifest type")
check(matches(LOCALE, locale.get("PackageLocale"), 20), "winget PackageLocale")
check(locale.get("Publisher") == "Tarmel", "winget publisher")
for field in ["PrivacyUrl", "LicenseUrl", "PublisherUrl", "PublisherSupportUrl", "PackageUrl"]:
    check(matches(URL, locale.get(field), 2048), f"winget {field} {locale.get(field)!r}")
for field, low, high in [("Publisher", 2, 256), ("PackageName", 2, 256), ("License", 3, 512),
                         ("Copyright", 3, 512), ("ShortDescription", 3, 256), ("Description", 3, 10000)]:
    value = locale.get(field)
    check(text(value, low, high), f"winget {field}: {value!r}")
tags = locale.get("Tags") or []
check(len(tags) <= 16 and len(set(tags)) == len(tags) and all(1 <= len(t) <= 40 for t in tags), "winget Tags")

for p in problems:
    print("package:", p)
print(f"package: zip {zip_path.stat().st_size} bytes, installer {setup_path.stat().st_size} bytes, "
      f"{'signed and verified: ' + str(len(signed_files)) + ' files' if options.cafile else 'unsigned'}, "
      f"{len(problems)} problem(s)")
sys.exit(1 if problems else 0)
