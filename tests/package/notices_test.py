#!/usr/bin/env python3
"""Holds THIRD-PARTY-NOTICES.txt of a Windows build to its linker maps.

  notices_test.py GENERATOR BUILD NOTICES SHIPPED=MAP...

Every archive or object file a map shows linked in, other than our own, must
appear in the "Linked from:" line of a notice that also names the shipped file
in "Linked into:" and carries a version and a copyright text. Then the cases
that must not pass: a notice taken out, and maps that link in a library
nobody wrote a notice for, which the generator must refuse by name.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

generator, build, notices_path = sys.argv[1:4]
shipped_maps = [item.split("=", 1) for item in sys.argv[4:]]


def linked(map_text):
    """(basename, path) of each file linked in that is not one of ours."""
    head = map_text.split("\nDiscarded input sections", 1)[0].split("\n", 1)[-1]
    found = set(re.findall(r"^(\S[^\n(]*)\([^()\n]*\)$", head, re.M))
    found |= set(re.findall(r"^LOAD (\S+\.o(?:bj)?)$", map_text, re.M))
    return {(os.path.basename(p), p) for p in found
            if "/CMakeFiles/" not in "/" + p and not os.path.basename(p).startswith("libzorv_")}


def notices(text):
    """Each notice section: its fields and the length of its copyright text."""
    sections = []
    for block in re.split(r"\r?\n={79}\r?\n", text)[1:]:
        fields = dict(re.findall(r"^(Version|Linked into|Linked from|Licence): (.*?)\r?$", block, re.M))
        if fields:
            body = block.split("Copyright file:", 1)[-1]
            fields["text"] = len(body.strip())
            sections.append(fields)
    return sections


def missing(maps, text):
    """What the maps link in without a notice, one line each."""
    sections = notices(text)
    problems = []
    for shipped, path in maps:
        with open(path, encoding="utf-8", errors="replace") as f:
            for base, full in sorted(linked(f.read())):
                if not any(base in s.get("Linked from", "").split() and shipped in s.get("Linked into", "").split()
                           and s.get("Version") and s.get("Licence") and s["text"] > 200 for s in sections):
                    problems.append(f"{shipped}: {full}")
    return problems


def generate(maps, output):
    return subprocess.run([sys.executable, generator, "--build", build, "--output", output,
                           "--product", "test", *[f"{s}={p}" for s, p in maps]],
                          capture_output=True, text=True)


results = []


def case(name, ok, detail=""):
    results.append(ok)
    print(("ok    " if ok else "FAIL  ") + name + (f": {detail}" if detail and not ok else ""))


with open(notices_path, encoding="utf-8") as f:
    shipped_text = f.read()
linked_count = sum(len(linked(open(p, encoding="utf-8", errors="replace").read())) for _, p in shipped_maps)
problems = missing(shipped_maps, shipped_text)
case(f"every one of the {linked_count} files linked in has a notice", linked_count > 0 and not problems,
     "; ".join(problems) or "no map links anything in")

# A notice taken out: the check names what it covered.
blocks = re.split(r"\r?\n={79}\r?\n", shipped_text)  # title, text, title, text...
title = next(i for i, b in enumerate(blocks) if b.startswith("OpenSSL "))
without_openssl = ("\n" + "=" * 79 + "\n").join(blocks[:title] + blocks[title + 2:])
problems = missing(shipped_maps, without_openssl)
case("without the OpenSSL notice, libssl.a and libcrypto.a are reported",
     any(p.endswith("libssl.a") for p in problems) and any(p.endswith("libcrypto.a") for p in problems)
     and all(re.search(r"lib(ssl|crypto)\.a$", p) for p in problems), "; ".join(problems))

# Libraries linked in that no notice is known for: the generator refuses
# them by name and writes nothing.
host_libstdcxx = os.path.realpath(subprocess.run(["g++", "-print-file-name=libstdc++.a"],
                                                capture_output=True, text=True).stdout.strip())
owner = subprocess.run(["dpkg-query", "-S", host_libstdcxx], capture_output=True, text=True).stdout
strangers = [
    ("a library built beside the others", os.path.join(os.path.abspath(build), "third_party/prefix/lib/libz.a"), None),
    ("a library fetched into the build", os.path.join(os.path.abspath(build), "_deps/zlib-build/libz.a"), None),
    ("the host's own C++ library", host_libstdcxx, owner.split(":")[0] or "an owner"),
]
work = tempfile.mkdtemp()
try:
    for name, stranger, package in strangers:
        shipped, path = shipped_maps[-1]
        planted = os.path.join(work, "planted.map")
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read()
        text = text.replace("\n\n", f"\n\n{stranger}(inflate.o)\n                              x.obj (inflate)\n", 1)
        with open(planted, "w", encoding="utf-8") as f:
            f.write(text)
        output = os.path.join(work, "notices.txt")
        run = generate(shipped_maps[:-1] + [[shipped, planted]], output)
        case(f"{name} is refused by name", run.returncode != 0 and stranger in run.stderr
             and (package is None or package in run.stderr) and not os.path.exists(output),
             f"exit {run.returncode}, {run.stderr.strip()!r}")
finally:
    shutil.rmtree(work)

print(f"{results.count(True)} passed, {results.count(False)} failed")
sys.exit(0 if all(results) else 1)
