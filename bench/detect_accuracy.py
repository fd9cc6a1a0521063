#!/usr/bin/env python3
"""Accuracy and speed of `varnolt --detect` on a labelled corpus.

The corpus is prose nobody here wrote: the translations Debian's iso-codes
package ships (country, language, currency and script names), turned back into
text with msgunfmt. Each language's text is re-encoded from UTF-8 into every
catalogued encoding that can hold it, cut to 200 B, 2 KiB and 20 KiB, and the
detector's top-1 and top-3 answers are checked. A guess counts as right when
its code page decodes the sample to the same text as the true one.

Needs: iso-codes, gettext (msgunfmt). Usage:
  bench/detect_accuracy.py [--varnolt build/default/src/varnolt] [--work DIR] [--parts N]
"""
import argparse
import collections
import os
import re
import subprocess
import sys
import tempfile
import time

LOCALE = "/usr/share/locale"
DOMAINS = ["iso_3166-1", "iso_639-2", "iso_4217", "iso_15924", "iso_3166-2"]
LANGUAGES = ["ar", "bg", "cs", "da", "de", "el", "es", "et", "fa", "fi", "fr", "he", "hr",
             "hu", "it", "ja", "ko", "lt", "lv", "nl", "pl", "pt", "ro", "ru", "sk", "sl",
             "sr", "sv", "th", "tr", "uk", "vi", "zh_CN", "zh_TW", "ca", "is"]
SIZES = [200, 2048, 20480]

# Catalogue code page -> Python codec (pages without a codec are left out).
CODECS = {
    1252: "cp1252", 437: "cp437", 10000: "mac_roman", 28591: "latin_1", 65001: "utf-8",
    1200: "utf-16-le", 1201: "utf-16-be", 950: "cp950", 936: "gbk", 52936: "hz",
    54936: "gb18030", 932: "cp932", 20932: "euc_jp", 949: "cp949", 1361: "johab",
    874: "cp874", 1258: "cp1258", 28596: "iso8859_6", 1256: "cp1256", 775: "cp775",
    28594: "iso8859_4", 1257: "cp1257", 28592: "iso8859_2", 1250: "cp1250", 855: "cp855",
    28595: "iso8859_5", 1251: "cp1251", 20866: "koi8_r", 737: "cp737", 28597: "iso8859_7",
    1253: "cp1253", 862: "cp862", 28598: "iso8859_8", 1255: "cp1255", 850: "cp850",
    852: "cp852", 857: "cp857", 28599: "iso8859_9", 1254: "cp1254",
}


def language_text(lang):
    """The translated strings of a language, one per line, in catalogue order."""
    lines = []
    for domain in DOMAINS:
        mo = os.path.join(LOCALE, lang, "LC_MESSAGES", domain + ".mo")
        if not os.path.exists(mo):
            continue
        po = subprocess.run(["msgunfmt", mo], capture_output=True, check=True).stdout.decode()
        for m in re.finditer(r'^msgstr "(.*)"$', po, re.M):
            s = m.group(1).encode().decode("unicode_escape").encode("latin-1").decode("utf-8")
            if s and "\\n" not in m.group(1) and ":" not in s[:20]:
                lines.append(s)
    # Only translations differ from English; strings that stayed ASCII say
    # little about the language.
    return "\n".join(l for l in lines if any(ord(c) > 127 for c in l)) + "\n"


def cut(text, codec, size):
    """The longest prefix of `text` (whole lines where possible) whose encoding
    fits in `size` bytes."""
    data = text.encode(codec)
    if len(data) <= size:
        return None  # not enough text for this size
    lo, hi = 0, len(text)
    while lo < hi:
        mid = (lo + hi + 1) // 2
        if len(text[:mid].encode(codec)) <= size:
            lo = mid
        else:
            hi = mid - 1
    prefix = text[:lo]
    if "\n" in prefix[len(prefix) // 2:]:
        prefix = prefix[: prefix.rindex("\n") + 1]
    return prefix


def same_text(data, truth, guess):
    if guess == truth:
        return True
    codec = CODECS.get(guess)
    if codec is None:
        return False
    try:
        return data.decode(codec) == data.decode(CODECS[truth])
    except (UnicodeDecodeError, LookupError):
        return False


def parse_detect(output):
    """{path: [(code page, confidence), ...]} from --detect's output."""
    result, current = {}, None
    for line in output.splitlines():
        if not line.startswith("  "):
            current = line[:-1]
            result[current] = []
        else:
            fields = line.split()
            if fields and fields[0].isdigit():
                result[current].append((int(fields[0]), fields[-1]))
    return result


def counts(data, truth, guess, got):
    """Whether answering `guess` is right: the true page, or one that reads
    the text identically. Where Python has no codec for the guess (708), the
    detector's own tie stands in: it gives the pages that read a text
    identically one confidence."""
    if same_text(data, truth, guess[0]):
        return True
    return guess[0] not in CODECS and any(cp == truth and conf == guess[1] for cp, conf in got)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--varnolt", default="build/default/src/varnolt")
    parser.add_argument("--work", default=None)
    parser.add_argument("--parts", type=int, default=4,
                        help="samples per language, encoding and size")
    args = parser.parse_args()
    work = args.work or tempfile.mkdtemp(prefix="detect-bench-")
    os.makedirs(work, exist_ok=True)

    samples = []  # (path, code page, size, language)
    for lang in LANGUAGES:
        text = language_text(lang)
        lines = text.splitlines(keepends=True)
        for cp, codec in CODECS.items():
            # The encoding covers the language when it holds nearly all of
            # its lines; the few it cannot hold (foreign names) are dropped.
            kept = []
            for line in lines:
                try:
                    data = line.encode(codec)
                    # The catalogue's EUC-JP is JIS X 0208 only: no
                    # three-byte JIS X 0212 characters.
                    if cp == 20932 and b"\x8f" in data:
                        continue
                    kept.append(line)
                except UnicodeEncodeError:
                    pass
            if len(kept) < 0.9 * len(lines):
                continue
            text_cp = "".join(kept)
            for size in SIZES:
                # Several samples per language and size, from different
                # stretches of its text (each starts at a line).
                for part in range(args.parts):
                    start = len(text_cp) * part // args.parts
                    start = text_cp.rfind("\n", 0, start) + 1 if start else 0
                    prefix = cut(text_cp[start:], codec, size)
                    if prefix is None:
                        continue
                    path = os.path.join(work, f"{lang}.{cp}.{size}.{part}.txt")
                    with open(path, "wb") as f:
                        f.write(prefix.encode(codec))
                    samples.append((path, cp, size, lang))

    start = time.monotonic()
    output = subprocess.run([args.varnolt, "--detect"] + [s[0] for s in samples],
                            capture_output=True, check=True).stdout.decode()
    elapsed = time.monotonic() - start
    answers = parse_detect(output)

    table = collections.defaultdict(lambda: [0, 0, 0])  # (cp, size) -> [n, top1, top3]
    misses = collections.defaultdict(list)
    for path, cp, size, lang in samples:
        with open(path, "rb") as f:
            data = f.read()
        got = answers.get(os.path.realpath(path), answers.get(path, []))
        row = table[(cp, size)]
        row[0] += 1
        if got and counts(data, cp, got[0], got):
            row[1] += 1
        elif got:
            misses[(cp, size)].append(f"{lang}->{got[0][0]}")
        if any(counts(data, cp, g, got) for g in got[:3]):
            row[2] += 1

    print(f"{'code page':>9} {'size':>6} {'files':>5} {'top-1':>7} {'top-3':>7}  top-1 misses")
    for (cp, size) in sorted(table):
        n, t1, t3 = table[(cp, size)]
        print(f"{cp:>9} {size:>6} {n:>5} {100 * t1 / n:6.1f}% {100 * t3 / n:6.1f}%  "
              + " ".join(misses[(cp, size)][:6]))
    total = sum(r[0] for r in table.values())
    print(f"\n{total} files, {len(LANGUAGES)} languages, "
          f"{1000 * elapsed / max(total, 1):.2f} ms per file (one process, all files)")


if __name__ == "__main__":
    sys.exit(main())
