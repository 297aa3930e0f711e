#!/usr/bin/env python3
"""Holds a release package to its bill of materials, its checksum line and,
for Windows packages, the form of its text files.

  release_test.py PACKAGE [SHIPPED=MAP...]

PACKAGE.spdx.json must name every file the package ships (unpacked here
independently of scripts/sbom) with that file's SHA-1 and SHA-256, and the
package's own SHA-256; every archive a linker map shows linked into SHIPPED,
other than our own, must be "linked from" a library that SHIPPED has a
STATIC_LINK to, with a version and a licence; in a Debian package, every
shared library a shipped ELF file needs (objdump -p, read here) must be a
DYNAMIC_LINK of that file to the Debian package that installed the library
on this machine (dpkg-query -S); a shipped zorv-check must CONTAIN the
charting library its report carries (d3), with a version and a licence;
every licence identifier must
be on the SPDX lists (node-spdx-license-ids, node-spdx-exceptions) or
defined in the document. SHA256SUMS beside the package must hold its line.
Every .txt in a zip or installer must be UTF-8 with a byte-order mark and
CRLF line ends. Then broken copies must fail each check.
"""
import copy
import hashlib
import json
import os
import re
import subprocess
import sys
import tempfile
import zipfile

LICENSES = "/usr/share/nodejs/spdx-license-ids/index.json"
EXCEPTIONS = "/usr/share/nodejs/spdx-exceptions/index.json"


def unpack(package):
    """{path inside the package: bytes} of its regular files."""
    if package.endswith(".zip"):
        with zipfile.ZipFile(package) as z:
            return {i.filename: z.read(i) for i in z.infolist() if not i.is_dir()}
    files = {}
    with tempfile.TemporaryDirectory() as tmp:
        command = ["dpkg-deb", "-x", package, tmp] if package.endswith(".deb") else ["msiextract", "-C", tmp, package]
        subprocess.run(command, check=True, capture_output=True)
        for folder, _, names in os.walk(tmp):
            for name in names:
                with open(os.path.join(folder, name), "rb") as f:
                    files[os.path.relpath(os.path.join(folder, name), tmp)] = f.read()
    return files


def linked_archives(map_path):
    """Basenames of what a GNU ld map shows linked in that is not ours."""
    with open(map_path, encoding="utf-8", errors="replace") as f:
        text = f.read()
    head = text.split("\nDiscarded input sections", 1)[0].split("\n", 1)[-1]
    found = set(re.findall(r"^(\S[^\n(]*)\([^()\n]*\)$", head, re.M))
    found |= set(re.findall(r"^LOAD (\S+\.o(?:bj)?)$", text, re.M))
    return {os.path.basename(p) for p in found
            if "/CMakeFiles/" not in "/" + p and not os.path.basename(p).startswith("libzorv_")}


def needed_sonames(data):
    """The DT_NEEDED entries of an ELF file's bytes; none for other files."""
    if not data.startswith(b"\x7fELF"):
        return []
    with tempfile.NamedTemporaryFile() as f:
        f.write(data)
        f.flush()
        dump = subprocess.run(["objdump", "-p", f.name], capture_output=True, text=True, check=True).stdout
    return re.findall(r"^\s*NEEDED\s+(\S+)$", dump, re.M)


def installing_package(soname, cache={}):
    """The Debian package (no architecture) that installed the 64-bit SONAME
    the loader finds here, or None."""
    if soname not in cache:
        ldconfig = subprocess.run(["/sbin/ldconfig", "-p"], capture_output=True, text=True, check=True).stdout
        cache[soname] = None
        for path in re.findall(rf"^\s*{re.escape(soname)} \([^)]*x86-64[^)]*\) => (\S+)$", ldconfig, re.M):
            for candidate in (path, os.path.realpath(path)):
                found = subprocess.run(["dpkg-query", "-S", candidate], capture_output=True, text=True)
                package = found.stdout.partition(": ")[0]
                if found.returncode == 0 and package and "," not in package:
                    cache[soname] = package.split(":")[0]
                    break
            if cache[soname]:
                break
    return cache[soname]


def dynamic_link_problems(doc, files):
    """Each library a shipped ELF file needs that the bill does not link it to."""
    by_id = {p["SPDXID"]: p["name"] for p in doc["packages"]}
    ids = {e["fileName"].removeprefix("./"): e["SPDXID"] for e in doc["files"]}
    links = {(r["spdxElementId"], by_id.get(r["relatedSpdxElement"]))
             for r in doc["relationships"] if r["relationshipType"] == "DYNAMIC_LINK"}
    problems = []
    for path, data in sorted(files.items()):
        for soname in needed_sonames(data):
            package = installing_package(soname)
            if package is None:
                problems.append(f"{path}: needs {soname}, which no Debian package here installed")
            elif (ids.get(path), package) not in links:
                problems.append(f"{path}: needs {soname} from {package}, but the bill has no such link")
    return problems


def licence_problems(doc, licences, exceptions):
    defined = {x["licenseId"] for x in doc.get("hasExtractedLicensingInfos", [])}
    problems = []
    for package in doc["packages"]:
        for field in ("licenseDeclared", "licenseConcluded"):
            expression = package.get(field, "")
            tokens = re.findall(r"[^\s()]+", expression)
            for i, token in enumerate(tokens):
                if token in ("AND", "OR", "WITH", "NOASSERTION", "NONE"):
                    continue
                after_with = i > 0 and tokens[i - 1] == "WITH"
                known = (token in exceptions if after_with else
                         token in defined if token.startswith("LicenseRef-") else
                         token.removesuffix("+") in licences)
                if not known:
                    problems.append(f"{package['name']}: licence identifier {token} is on no SPDX list")
    return problems


def bill_problems(doc, package_path, files, maps, licences, exceptions):
    """What in DOC does not hold for the package, one line each."""
    problems = []
    if doc.get("spdxVersion") != "SPDX-2.3":
        problems.append("not an SPDX 2.3 document")
    with open(package_path, "rb") as f:
        package_sha256 = hashlib.sha256(f.read()).hexdigest()
    top = doc["packages"][0]
    if {"algorithm": "SHA256", "checksumValue": package_sha256} not in top.get("checksums", []):
        problems.append(f"the package's own SHA-256 {package_sha256} is not in the bill")
    listed = {}
    for entry in doc["files"]:
        listed[entry["fileName"].removeprefix("./")] = {c["algorithm"]: c["checksumValue"] for c in entry["checksums"]}
    for path in sorted(set(files) | set(listed)):
        if path not in listed:
            problems.append(f"{path}: shipped but not in the bill")
        elif path not in files:
            problems.append(f"{path}: in the bill but not shipped")
        elif (listed[path].get("SHA256") != hashlib.sha256(files[path]).hexdigest()
              or listed[path].get("SHA1") != hashlib.sha1(files[path]).hexdigest()):
            problems.append(f"{path}: its checksums in the bill are not those of the file")
    by_id = {p["SPDXID"]: p for p in doc["packages"]}
    file_ids = {e["SPDXID"]: os.path.basename(e["fileName"]) for e in doc["files"]}
    links = {(file_ids.get(r["spdxElementId"]), r["relatedSpdxElement"])
             for r in doc["relationships"] if r["relationshipType"] == "STATIC_LINK"}
    for shipped, map_path in maps:
        for archive in sorted(linked_archives(map_path)):
            if not any(shipped == f and archive in re.sub(r".*linked from ", "", by_id[lib].get("sourceInfo", "")).split()
                       and by_id[lib].get("versionInfo") and by_id[lib].get("licenseDeclared", "NOASSERTION") != "NOASSERTION"
                       for f, lib in links if lib in by_id):
                problems.append(f"{shipped}: {archive} is linked in but no library of the bill accounts for it")
    contains = {(file_ids.get(r["spdxElementId"]), by_id.get(r["relatedSpdxElement"], {}).get("name"))
                for r in doc["relationships"] if r["relationshipType"] == "CONTAINS"}
    charts = [p for p in doc["packages"] if p["name"] == "d3"]
    for path in sorted(files):
        checker = os.path.basename(path)
        if re.fullmatch(r"zorv-check(\.exe)?", checker) and (
                (checker, "d3") not in contains
                or not all(p.get("versionInfo") and p.get("licenseDeclared", "NOASSERTION") != "NOASSERTION"
                           for p in charts)):
            problems.append(f"{path}: the bill does not say it carries d3, with its version and licence")
    return problems + licence_problems(doc, licences, exceptions)


def text_problems(files):
    """Each .txt that is not UTF-8 with a byte-order mark and CRLF line ends."""
    problems = []
    for path, data in sorted(files.items()):
        if not path.lower().endswith(".txt"):
            continue
        if not data.startswith(b"\xef\xbb\xbf"):
            problems.append(f"{path}: no UTF-8 byte-order mark")
        if data.count(b"\n") != data.count(b"\r\n") or data.count(b"\r") != data.count(b"\r\n"):
            problems.append(f"{path}: line ends other than CRLF")
        try:
            data.decode("utf-8")
        except UnicodeDecodeError as e:
            problems.append(f"{path}: not UTF-8 ({e})")
    return problems


def main():
    package = os.path.abspath(sys.argv[1])
    maps = [item.split("=", 1) for item in sys.argv[2:]]
    with open(package + ".spdx.json", encoding="utf-8") as f:
        doc = json.load(f)
    with open(LICENSES, encoding="utf-8") as f:
        licences = set(json.load(f))
    with open(EXCEPTIONS, encoding="utf-8") as f:
        exceptions = set(json.load(f))
    files = unpack(package)
    windows = not package.endswith(".deb")

    def problems(d, fs):
        return (bill_problems(d, package, fs, maps, licences, exceptions) +
                (text_problems(fs) if windows else dynamic_link_problems(d, fs)))

    found = problems(doc, files)
    sums = os.path.join(os.path.dirname(package), "SHA256SUMS")
    with open(package, "rb") as f:
        line = f"{hashlib.sha256(f.read()).hexdigest()}  {os.path.basename(package)}"
    with open(sums, encoding="utf-8") as f:
        if line not in f.read().splitlines():
            found.append(f"SHA256SUMS has no line '{line}'")
    if found:
        sys.exit("FAILED: " + os.path.basename(package) + "\n  " + "\n  ".join(found))
    libraries = [p["name"] for p in doc["packages"][1:]]
    print(f"ok  {os.path.basename(package)}: {len(files)} files, {len(libraries)} libraries "
          f"({', '.join(libraries)}), {len(maps)} linker maps, checksum line")

    # Broken copies: each must be caught.
    def changed_checksum(d, fs):
        d["files"][0]["checksums"][-1]["checksumValue"] = "0" * 64

    def library_dropped(d, fs):
        static = {r["relatedSpdxElement"] for r in d["relationships"] if r["relationshipType"] == "STATIC_LINK"}
        d["packages"] = [p for p in d["packages"] if p["SPDXID"] not in static]

    def dynamic_link_dropped(d, fs):
        d["relationships"] = [r for r in d["relationships"] if r["relationshipType"] != "DYNAMIC_LINK"]

    def unknown_licence(d, fs):
        d["packages"][-1]["licenseDeclared"] = "Public-Domain-Or-So"

    def chart_library_dropped(d, fs):
        d["relationships"] = [r for r in d["relationships"] if r["relationshipType"] != "CONTAINS"
                              or r["spdxElementId"] == d["packages"][0]["SPDXID"]]

    def file_unlisted(d, fs):
        fs["extra.dll"] = b"MZ"

    def text_without_bom(d, fs):
        txt = next(p for p in fs if p.lower().endswith(".txt"))
        fs[txt] = fs[txt][3:].replace(b"\r\n", b"\n")

    cases = [changed_checksum, unknown_licence, file_unlisted, chart_library_dropped]
    if maps:
        cases.append(library_dropped)
    if windows:
        cases.append(text_without_bom)
    else:
        cases.append(dynamic_link_dropped)
    for breakage in cases:
        d, fs = copy.deepcopy(doc), dict(files)
        breakage(d, fs)
        if not problems(d, fs):
            sys.exit(f"FAILED: the check misses a broken bill or package: {breakage.__name__}")
    print(f"ok  the check catches {', '.join(c.__name__ for c in cases)}")


if __name__ == "__main__":
    main()
