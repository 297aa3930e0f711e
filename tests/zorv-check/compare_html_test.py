#!/usr/bin/env python3
"""Opens zorv-check's --html page in headless Chromium, as a person would open
it from a disk, and checks what the browser drew.

  compare_html_test.py ZORV_CHECK RECORD OLD SAME NEW_SLOWER NEW_DIFFERENT

Three comparisons, one a row of CASES: OLD against SAME (a copy of it) as an
English user, OLD against NEW_SLOWER and against NEW_DIFFERENT (one answer
changed) as a Japanese user. Each page must name no network resource and
carry a policy that forbids connections; once rendered, each function the
text report lists must have a plot drawn by the embedded charting library
(an SVG with a dot a call and at least three tick labels, none clipped or
overlapping), every verdict and function name must stand on one line in a
narrow window, the summary must link to the slower function before the
first plot, the differences table must be in the user's language with the
first differing character marked, and printed each function must take a
page of its own. Exits 77 (skipped) without chromium.
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

# name, NEW's argument index, LANG, exit status, options
CASES = (("same", 4, "C.UTF-8", 0, []),
         ("slower", 5, "ja_JP.UTF-8", 1, []),
         ("different", 6, "ja_JP.UTF-8", 1, ["--rounds", "3"]))

# A phone's width: a column squeezed this far breaks any word not kept whole.
WINDOW = "480,900"

# Run in the page after its own scripts: what the browser laid out, as JSON.
MEASURE = """<script>(function () {
  var out = {broken: [], axes: [], overflow: 0};
  document.querySelectorAll('.verdict, .name').forEach(function (e) {
    var lines = e.getClientRects().length;
    if (lines !== 1) out.broken.push(e.textContent + ' on ' + lines + ' lines');
  });
  document.querySelectorAll('.plot svg').forEach(function (svg) {
    var box = svg.getBoundingClientRect(), problems = [];
    var labels = Array.prototype.slice.call(svg.querySelectorAll('.tick text'));
    if (labels.length < 3) problems.push(labels.length + ' tick labels');
    labels.forEach(function (label, i) {
      var r = label.getBoundingClientRect();
      if (r.left < box.left || r.right > box.right || r.top < box.top || r.bottom > box.bottom)
        problems.push('"' + label.textContent + '" clipped');
      if (i > 0 && r.left < labels[i - 1].getBoundingClientRect().right)
        problems.push('"' + label.textContent + '" overlaps its neighbour');
    });
    out.axes.push([svg.getAttribute('aria-label'), problems]);
  });
  out.overflow = document.documentElement.scrollWidth - window.innerWidth;
  var pre = document.createElement('pre');
  pre.id = 'zorv-measured';
  pre.textContent = JSON.stringify(out);
  document.body.appendChild(pre);
})();</script>"""


def chromium(profile, *arguments):
    return subprocess.run([shutil.which("chromium"), "--headless", "--no-sandbox", "--disable-gpu",
                           f"--user-data-dir={profile}", *arguments],
                          capture_output=True, text=True, timeout=300)


def rendered(page, profile):
    """The page's DOM after its scripts ran, with what MEASURE found."""
    with open(page, encoding="utf-8") as f:
        text = f.read()
    measured = page.replace(".html", "-measured.html")
    with open(measured, "w", encoding="utf-8") as f:
        f.write(text.replace("</body>", MEASURE + "\n</body>"))
    out = chromium(profile, f"--window-size={WINDOW}", "--dump-dom", "file://" + measured)
    found = re.search(r'<pre id="zorv-measured">(.*?)</pre>', out.stdout, re.S)
    if out.returncode != 0 or not found:
        sys.exit(f"FAILED: chromium could not render {page}: {out.stderr[-2000:]}")
    return out.stdout, json.loads(found.group(1).replace("&lt;", "<").replace("&gt;", ">")
                                  .replace("&quot;", '"').replace("&amp;", "&"))


def printed_pages(page, profile, pdf):
    """How many pages the page prints on."""
    chromium(profile, f"--print-to-pdf={pdf}", "--no-pdf-header-footer", "file://" + page)
    with open(pdf, "rb") as f:
        return len(re.findall(rb"/Type\s*/Page\b(?!s)", f.read()))


def check(name, run, text, dom, measured, japanese_user, pages):
    problems = []
    # The markup and the style may name nothing to load (links within the
    # page aside); what the scripts create is looked at in the rendered page.
    markup = re.sub(r"(<script[^>]*>).*?</script>", r"\1</script>", text, flags=re.S)
    for fetch in re.findall(r"""\b(?:src|action)\s*=|\bhref\s*=\s*(?!["']?#)|url\(|@import""", markup):
        problems.append(f"the page's markup names a resource: {fetch}")
    if not re.search(r"""<meta http-equiv="Content-Security-Policy" content="default-src 'none';""", text):
        problems.append("no policy forbidding connections")
    for fetch in re.findall(r"""\b(?:src|href)\s*=\s*["']?(?:[a-z]+:)?//[^"'\s>]*""", dom):
        problems.append(f"the rendered page names a resource: {fetch}")

    listed = re.findall(r"^(ZORV[a-z]+) +\d+ ", run.stdout, re.M)
    sections = dict(re.findall(r'<section class="function" id="(ZORV[a-z]+)">(.*?)</section>', dom, re.S))
    if not listed or sorted(sections) != sorted(listed):
        problems.append(f"sections for {sorted(sections)}, the report lists {sorted(listed)}")
    for function, body in sections.items():
        if "<svg" not in body or body.count("<circle") < 2:
            problems.append(f"{function} has no plot drawn")
    for function, axis in measured["axes"]:
        problems += [f"{function}'s axis: {p}" for p in axis]
    problems += [f"broken inside a word: {b}" for b in measured["broken"]]
    if measured["overflow"] > 0:
        problems.append(f"wider than a {WINDOW} window by {measured['overflow']} px")
    visible = re.sub(r"<script.*?</script>|<[^>]+>", " ", dom, flags=re.S)
    if re.search(r"\d us\b", visible):
        problems.append("a time in \"us\", not \"µs\"")

    want = "ja" if japanese_user else "en"
    if f'<html lang="{want}">' not in dom:
        problems.append(f"the page is not lang=\"{want}\"")
    heading = re.search(r"<h1>(.*?)</h1>", dom)
    if japanese_user != bool(heading and re.search(r"[\u3040-\u30ff\u4e00-\u9fff]", heading.group(1))):
        problems.append(f"heading {heading.group(1) if heading else None!r}")
    # In print each function takes a page, and the tables one more.
    if pages != len(sections) + 1:
        problems.append(f"printed on {pages} pages, not one a function and one more")

    if name == "slower":
        link = dom.find('href="#ZORVfetch"')
        if link < 0 or link > dom.find("<svg"):
            problems.append("the summary does not name ZORVfetch before the first plot")
        if not re.search(r'id="ZORVfetch">.*?<span class="verdict slower">', dom, re.S):
            problems.append("ZORVfetch is not marked slower")
    if name == "different":
        table = re.search(r'<section class="differences".*?</section>', dom, re.S)
        rows = re.findall(r'<td class="build">(OLD|NEW)</td><td>(.*?)</td>', table.group(0) if table else "", re.S)
        if [build for build, _ in rows] != ["OLD", "NEW"]:
            problems.append(f"the differing call's rows are {rows}")
        for build, result in rows:
            if "コード 0" not in result or "<mark>" not in result:
                problems.append(f"{build}'s result is not in Japanese with its difference marked: {result}")
    return [f"{name}: {p}" for p in problems]


def main():
    if not shutil.which("chromium"):
        print("chromium is not installed: skipped")
        sys.exit(77)
    checker, record, old = sys.argv[1:4]
    problems = []
    with tempfile.TemporaryDirectory() as tmp:
        profile = os.path.join(tmp, "profile")
        for name, new, lang, status, options in CASES:
            page = os.path.join(tmp, f"{name}.html")
            env = dict(os.environ, LANG=lang, LC_ALL="", LC_MESSAGES="")
            run = subprocess.run([checker, *options, "--compare", record, "--html", page, old,
                                  sys.argv[new]], capture_output=True, text=True, env=env, timeout=600)
            if run.returncode != status:
                problems.append(f"{name}: exit status {run.returncode}, expected {status}: {run.stderr}")
                continue
            with open(page, encoding="utf-8") as f:
                text = f.read()
            dom, measured = rendered(page, profile)
            pages = printed_pages(page, profile, os.path.join(tmp, f"{name}.pdf"))
            problems += check(name, run, text, dom, measured, lang.startswith("ja"), pages)
    if problems:
        sys.exit("FAILED:\n  " + "\n  ".join(problems))
    print("ok  the pages load nothing, draw readable plots, keep words whole and name what changed, "
          "in the user's language")


if __name__ == "__main__":
    main()
