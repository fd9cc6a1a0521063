#!/usr/bin/env python3
"""Measures the source guards on real text: no genuine file may be refused.

Real prose in many languages (the translations of Debian's iso-codes package,
turned into text with msgunfmt) is re-encoded into every catalogued code page
that covers it, and the bundled samples are added. Each set runs through the
real program (`varnolt -u --dry-run`, one profile per code page) and the
script counts the files a guard refused. As a check that the guards still
see what they are for, the same texts in UTF-8 are run under every legacy
code page too: those should be refused whenever they hold a non-ASCII
character.

Files: "long" ones are up to 64 KiB of translations, one per line (what the
guards look at); "short" ones hold one translation each (a country, language
or currency name: the hardest case for the UTF-8 rule).

usage: bench/guard_corpus.py [path/to/varnolt] [--short-per-language N]
Needs: iso-codes, gettext (msgunfmt), glibc iconv (ARMSCII-8). Not a test.
"""
import argparse
import codecs
import collections
import os
import pathlib
import re
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
LOCALES = pathlib.Path("/usr/share/locale")
DOMAINS = ["iso_3166-1", "iso_3166-2", "iso_639-2", "iso_4217", "iso_15924"]

# The catalogue's code pages and the codec that writes their text.
PYTHON_CODECS = {
    1252: "cp1252", 437: "cp437", 10000: "mac_roman", 28591: "latin_1", 65001: "utf_8",
    1200: "utf_16_le", 1201: "utf_16_be", 950: "cp950", 936: "gbk", 52936: "hz",
    54936: "gb18030", 932: "cp932", 20932: "euc_jp", 949: "cp949", 1361: "johab",
    874: "cp874", 1258: "cp1258", 28596: "iso8859_6", 1256: "cp1256",
    775: "cp775", 28594: "iso8859_4", 1257: "cp1257", 28592: "iso8859_2", 1250: "cp1250",
    855: "cp855", 28595: "iso8859_5", 1251: "cp1251", 20866: "koi8_r", 737: "cp737",
    28597: "iso8859_7", 1253: "cp1253", 862: "cp862", 28598: "iso8859_8", 1255: "cp1255",
    850: "cp850", 852: "cp852", 857: "cp857", 28599: "iso8859_9", 1254: "cp1254",
}
ISCII = range(57002, 57012)
# No Python codec matches these: their text is written through the project's
# own tables (from ICU), reversed.
OWN_TABLE = set(ISCII) | {708, 20932}
SAMPLES = {"fr_cafe_menu_1252.html": 1252, "glossary_utf16le.txt": 1200,
           "ja_notice_shift_jis.txt": 932, "ru_library_report_1251.txt": 1251,
           "zh_tw_night_market_big5.txt": 950}
ARMSCII = 59999
UTF = {65001, 1200, 1201}


def table_encoder(code_page):
    """Single characters of the project's table (taken from ICU), reversed."""
    table = {}
    for line in (ROOT / "data" / "codepages" / f"cp{code_page}.txt").read_text().splitlines():
        fields = line.split("\t")
        if line.startswith("#") or len(fields) != 2 or not fields[1] or " " in fields[1]:
            continue
        data, unit = bytes.fromhex(fields[0][2:]), int(fields[1], 16)
        table.setdefault(chr(unit), data)

    def encode(text):
        out = bytearray()
        for ch in text:
            if ch not in table:
                raise UnicodeEncodeError("table", text, 0, 1, "not in the table")
            out += table[ch]
        return bytes(out)
    return encode


def armscii_encoder():
    """ArmSCII-8 as glibc's iconv decodes each byte, reversed."""
    table = {}
    for byte in range(1, 256):
        result = subprocess.run(["iconv", "-f", "ARMSCII-8", "-t", "UTF-8"], input=bytes([byte]),
                                capture_output=True)
        if result.returncode == 0 and result.stdout:
            table.setdefault(result.stdout.decode(), bytes([byte]))

    def encode(text):
        out = bytearray()
        for ch in text:
            if ch not in table:
                raise UnicodeEncodeError("armscii", text, 0, 1, "not in ARMSCII-8")
            out += table[ch]
        return bytes(out)
    return encode


def encoder(code_page):
    if code_page in OWN_TABLE:
        return table_encoder(code_page)
    if code_page == ARMSCII:
        return armscii_encoder()
    codec = PYTHON_CODECS[code_page]
    return lambda text: codecs.encode(text, codec)


def translations():
    """language -> its translated strings (deduplicated, in file order)."""
    result = {}
    for folder in sorted(LOCALES.iterdir()):
        lines = []
        for domain in DOMAINS:
            mo = folder / "LC_MESSAGES" / f"{domain}.mo"
            if not mo.exists():
                continue
            po = subprocess.run(["msgunfmt", str(mo)], capture_output=True, text=True).stdout
            for match in re.finditer(r'^msgstr "(.*)"$', po, re.M):
                text = codecs.decode(match.group(1), "unicode_escape").encode(
                    "latin-1").decode("utf-8")
                if text.strip():
                    lines.append(text)
        if lines:
            result[folder.name] = list(dict.fromkeys(lines))
    return result


def write_profile(path, code_page, out_dir):
    lines = ["\ufeffTaVo", "2", str(code_page), "2", "bak_", "u_", str(out_dir) + "/", "2",
             "0", "0", "0"]
    path.write_bytes("".join(line + "\n" for line in lines).encode("utf-16-le"))


def run(varnolt, work, code_page, folder):
    """(files, refused files with the guard's finding, failed files)"""
    profile = work / f"{code_page}.vnp"
    out_dir = work / "out"
    out_dir.mkdir(exist_ok=True)
    write_profile(profile, code_page, out_dir)
    env = dict(os.environ, VARNOLT_SETTINGS=str(work / "settings.reg"))
    proc = subprocess.run([varnolt, "-u", "-p", str(os.getpid()), "-c", str(profile), "-o",
                           "-l", str(work / "run.log"), "--dry-run", "-s", str(folder / "*")],
                          capture_output=True, env=env)
    lines = proc.stdout.decode("utf-8", "replace").splitlines()
    files = sum(1 for line in lines if re.search(r"\[(ok|warning|failed)\]", line))
    refused = [line for line in lines if "[warning] (" in line and "seems" in line
               or "[warning] (looks binary" in line]
    failed = [line for line in lines if "[failed]" in line]
    return files, refused, failed


def write_set(folder, named_texts, encode):
    """Writes each text that the code page covers; returns (files, bytes)."""
    folder.mkdir(parents=True)
    count = size = 0
    for name, text in named_texts:
        try:
            data = encode(text)
        except (UnicodeError, LookupError):
            continue
        (folder / name).write_bytes(data)
        count += 1
        size += len(data)
    return count, size


# The language of a fixture where the code page has a home language.
FIXTURE_LANGUAGE = {932: "ja", 20932: "ja", 936: "zh_CN", 54936: "zh_CN", 52936: "zh_CN",
                    950: "zh_TW", 949: "ko", 1361: "ko"}


def write_fixture(folder, code_page, long_folder):
    """The first 1.5 KiB (whole lines) of the code page's home language, else
    of the file richest in non-ASCII bytes."""
    home = long_folder / f"{FIXTURE_LANGUAGE.get(code_page)}_0.txt"
    best = home if home.exists() else max(
        sorted(long_folder.iterdir()), key=lambda f: sum(b > 127 for b in f.read_bytes()[:1536]))
    data = best.read_bytes()
    newline = "\n".encode("utf_16_le" if code_page == 1200 else
                          "utf_16_be" if code_page == 1201 else "ascii")
    cut = data.rfind(newline, 0, 1536)
    if code_page in (1200, 1201) and cut % 2:
        cut -= 1
    folder.mkdir(parents=True, exist_ok=True)
    (folder / f"{best.stem.rsplit('_', 1)[0]}_{code_page}.txt").write_bytes(
        data[:cut + len(newline)])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("varnolt", nargs="?", default=str(ROOT / "build/default/src/varnolt"))
    parser.add_argument("--short-per-language", type=int, default=40)
    parser.add_argument("--fixtures", help="also write one small real text per code page here")
    parser.add_argument("--code-pages", help="only these, e.g. 708,932 (default: all 51)")
    args = parser.parse_args()
    texts = translations()
    code_pages = sorted(set(PYTHON_CODECS) | OWN_TABLE | {ARMSCII})
    if args.code_pages:
        code_pages = [int(cp) for cp in args.code_pages.split(",")]

    # Long files: the strings of one language that the code page covers,
    # up to 64 KiB of UTF-8. Short files: single non-ASCII strings.
    def long_texts(encode):
        for lang, lines in texts.items():
            kept = []
            for line in lines:
                try:
                    encode(line)
                    kept.append(line)
                except (UnicodeError, LookupError):
                    pass
            body, part = "", 0
            for line in kept:
                body += line + "\n"
                if len(body.encode()) > 60000:
                    yield f"{lang}_{part}.txt", body
                    body, part = "", part + 1
            if body and any(ord(ch) > 127 for ch in body):
                yield f"{lang}_{part}.txt", body

    def short_texts():
        for lang, lines in texts.items():
            chosen = [line for line in lines if any(ord(ch) > 127 for ch in line)]
            step = max(1, len(chosen) // args.short_per_language)
            for i, line in enumerate(chosen[::step][:args.short_per_language]):
                yield f"{lang}_{i}.txt", line + "\n"

    shorts = list(short_texts())
    totals = collections.Counter()
    print(f"{len(texts)} languages from iso-codes; samples from samples/\n")
    print("refused: files a guard refused; failed: files the code page's table does not "
          "decode (the codec\nthat wrote them knows more than the table), not a guard's doing\n")
    print(f"{'code page':>9} | {'long files':>10} {'bytes':>10} {'refused':>7} {'failed':>6} | "
          f"{'short files':>11} {'refused':>7} {'failed':>6} | "
          f"{'UTF-8 under it: files':>21} {'refused':>7}")
    with tempfile.TemporaryDirectory() as tmp:
        work = pathlib.Path(tmp)
        for code_page in code_pages:
            encode = encoder(code_page)
            base = work / str(code_page)
            n_long, size = write_set(base / "long", long_texts(encode), encode)
            if args.fixtures and n_long:
                write_fixture(pathlib.Path(args.fixtures), code_page, base / "long")
            n_short, _ = write_set(base / "short", shorts, encode)
            row = {}
            for kind, n in (("long", n_long), ("short", n_short)):
                if n:
                    files, refused, failed = run(args.varnolt, work, code_page, base / kind)
                    row[kind] = (files, refused, failed)
                    for line in refused[:3]:
                        print("   ", line)
                else:
                    row[kind] = (0, [], [])
            utf8 = (0, [])
            if code_page not in UTF:
                n_utf8, _ = write_set(base / "utf8", shorts, lambda t: t.encode())
                files, refused, _ = run(args.varnolt, work, code_page, base / "utf8")
                utf8 = (files, refused)
                totals["utf8 files"] += files
                totals["utf8 refused"] += len(refused)
            totals["long"] += row["long"][0]
            totals["long refused"] += len(row["long"][1])
            totals["short"] += row["short"][0]
            totals["short refused"] += len(row["short"][1])
            totals["bytes"] += size
            print(f"{code_page:>9} | {row['long'][0]:>10} {size:>10} {len(row['long'][1]):>7} "
                  f"{len(row['long'][2]):>6} | {row['short'][0]:>11} {len(row['short'][1]):>7} "
                  f"{len(row['short'][2]):>6} | {utf8[0]:>21} {len(utf8[1]):>7}", flush=True)

        # The bundled samples, each under its code page.
        sample_rows = []
        for name, code_page in SAMPLES.items():
            folder = work / "samples" / name
            folder.mkdir(parents=True)
            (folder / name).write_bytes((ROOT / "samples" / name).read_bytes())
            files, refused, failed = run(args.varnolt, work, code_page, folder)
            sample_rows.append((name, code_page, files, len(refused), len(failed)))
    print()
    for name, code_page, files, refused, failed in sample_rows:
        print(f"sample {name} ({code_page}): {files} files, {refused} refused, {failed} failed")
    print(f"\ntotal: {totals['long']} long files ({totals['bytes']:,} bytes), "
          f"{totals['long refused']} refused; {totals['short']} short files, "
          f"{totals['short refused']} refused; UTF-8 under legacy code pages: "
          f"{totals['utf8 refused']} of {totals['utf8 files']} refused")


if __name__ == "__main__":
    sys.exit(main())
