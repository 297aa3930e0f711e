#!/usr/bin/env python3
"""Opens zorv-check's --html page in headless Chromium, as a person would open
it from a disk, and checks what the browser drew.

  compare_html_test.py ZORV_CHECK RECORD OLD SAME NEW_SLOWER

Two comparisons: OLD against SAME (a copy of it) as an English user, and OLD
against NEW_SLOWER as a Japanese user. Each page must name no network
resource and carry a policy that forbids connections; once rendered, each
function the text report lists must have a plot drawn by the embedded
charting library (an SVG with a dot a call and the library's axis), the page
must be in the user's language, and printed it must give each function a
page of its own. Exits 77 (skipped) without chromium.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile


def rendered(page, profile):
    """The page's DOM after its scripts ran."""
    browser = shutil.which("chromium")
    out = subprocess.run([browser, "--headless", "--no-sandbox", "--disable-gpu",
                          f"--user-data-dir={profile}", "--dump-dom", "file://" + page],
                         capture_output=True, text=True, timeout=300)
    if out.returncode != 0 or "</html>" not in out.stdout:
        sys.exit(f"FAILED: chromium could not render {page}: {out.stderr[-2000:]}")
    return out.stdout


def printed_pages(page, profile, pdf):
    """How many pages the page prints on."""
    subprocess.run([shutil.which("chromium"), "--headless", "--no-sandbox", "--disable-gpu",
                    f"--user-data-dir={profile}", f"--print-to-pdf={pdf}", "--no-pdf-header-footer",
                    "file://" + page], capture_output=True, timeout=300)
    with open(pdf, "rb") as f:
        return len(re.findall(rb"/Type\s*/Page\b(?!s)", f.read()))


def main():
    if not shutil.which("chromium"):
        print("chromium is not installed: skipped")
        sys.exit(77)
    checker, record, old, same, slower = sys.argv[1:6]
    problems = []
    with tempfile.TemporaryDirectory() as tmp:
        for name, new, lang, status in (("same", same, "C.UTF-8", 0),
                                        ("slower", slower, "ja_JP.UTF-8", 1)):
            page = os.path.join(tmp, f"{name}.html")
            env = dict(os.environ, LANG=lang, LC_ALL="", LC_MESSAGES="")
            run = subprocess.run([checker, "--compare", record, "--html", page, old, new],
                                 capture_output=True, text=True, env=env, timeout=600)
            if run.returncode != status:
                problems.append(f"{name}: exit status {run.returncode}, expected {status}: {run.stderr}")
                continue
            with open(page, encoding="utf-8") as f:
                text = f.read()
            # The markup and the style may name nothing to load; what the
            # scripts create is looked at in the rendered page below.
            markup = re.sub(r"(<script[^>]*>).*?</script>", r"\1</script>", text, flags=re.S)
            for fetch in re.findall(r"""\b(?:src|href|action)\s*=|url\(|@import""", markup):
                problems.append(f"{name}: the page's markup names a resource: {fetch}")
            if not re.search(r"""<meta http-equiv="Content-Security-Policy" content="default-src 'none';""", text):
                problems.append(f"{name}: no policy forbidding connections")

            dom = rendered(page, os.path.join(tmp, "profile"))
            for fetch in re.findall(r"""\b(?:src|href)\s*=\s*["']?(?:[a-z]+:)?//[^"'\s>]*""", dom):
                problems.append(f"{name}: the rendered page names a resource: {fetch}")
            listed = re.findall(r"^(ZORV[a-z]+) +\d+ ", run.stdout, re.M)
            sections = dict(re.findall(r'<section class="function" id="(ZORV[a-z]+)">(.*?)</section>', dom, re.S))
            if not listed or sorted(sections) != sorted(listed):
                problems.append(f"{name}: sections for {sorted(sections)}, the report lists {sorted(listed)}")
            for function, body in sections.items():
                dots, ticks = body.count("<circle"), body.count('class="tick"')
                if "<svg" not in body or dots < 2 or ticks == 0:
                    problems.append(f"{name}: {function} has no plot drawn ({dots} dots, {ticks} axis ticks)")
            want = "ja" if lang.startswith("ja") else "en"
            if f'<html lang="{want}">' not in dom:
                problems.append(f"{name}: the page is not lang=\"{want}\"")
            heading = re.search(r"<h1>(.*?)</h1>", dom)
            japanese = heading and re.search(r"[\u3040-\u30ff\u4e00-\u9fff]", heading.group(1))
            if (want == "ja") != bool(japanese):
                problems.append(f"{name}: heading {heading.group(1) if heading else None!r} for a {lang} user")
            # In print each function takes a page, and the tables one more.
            pages = printed_pages(page, os.path.join(tmp, "profile"), os.path.join(tmp, f"{name}.pdf"))
            if pages != len(sections) + 1:
                problems.append(f"{name}: printed on {pages} pages, not one a function and one more")
            if name == "slower" and not re.search(r'id="ZORVfetch">.*?<td class="slower">', dom, re.S):
                problems.append("slower: ZORVfetch is not marked slower")
    if problems:
        sys.exit("FAILED:\n  " + "\n  ".join(problems))
    print("ok  both pages load nothing and draw a plot per function, in the user's language")


if __name__ == "__main__":
    main()
