#!/usr/bin/env python3
"""Derives the detector's letter model from translations on this machine.

The encoding detector tells apart Latin readings of the same bytes by how
likely their characters beyond ASCII are: per language, the share of each
such character among them, and for all languages together, what stands
before and after each one (a word break, a vowel, a consonant, a letter
beyond ASCII, any other character). Capitals count apart from small letters:
a capital inside a word is what a wrong page typically makes.

The counts come from the message catalogues that programs install under
/usr/share/locale (coreutils, apt, glib, ...), leaving out iso-codes: that
package's translations are the corpus detect_accuracy.py measures on, so the
model never sees the text it is judged by. The script prints the C++ tables
that encoding_detector.cpp holds between its "letter model" markers.

Needs: the translations of the languages below installed (Debian installs
them with the programs). Usage:
  bench/derive_letter_model.py > /tmp/tables.inc
"""
import collections
import os
import struct
import sys
import unicodedata

LOCALE = "/usr/share/locale"
# Languages written in Latin letters, with enough translated messages here.
LANGUAGES = ["fr", "de", "es", "pt", "it", "ca", "nl", "da", "nb", "sv", "fi", "is", "et",
             "lv", "lt", "pl", "cs", "sk", "sl", "hr", "hu", "ro", "tr", "sq", "vi", "cy",
             "eo", "ga", "gl"]
# The catalogue names that are measured on, never learnt from.
HELD_OUT_PREFIX = "iso"
# Letters and signs below this share of a language are left out of its row;
# the mixture with all languages together still knows them.
MIN_SHARE = 0.0005
# The kinds of characters the model counts but does not tell apart.
SYMBOL_CONTROL, SYMBOL_OTHER, SYMBOL_MARK = 2, 3, 4
# Neighbour classes: word break, vowel, consonant, Latin letter beyond ASCII,
# any other character beyond ASCII.
VOWELS = set("aeiouyAEIOUY")


def catalogue_strings(path):
    """The translations in a compiled message catalogue."""
    with open(path, "rb") as f:
        data = f.read()
    order = "<" if struct.unpack("<I", data[:4])[0] == 0x950412DE else ">"
    count, _, table = struct.unpack(order + "3I", data[8:20])
    strings = []
    for i in range(1, count):  # entry 0 is the catalogue's header
        length, offset = struct.unpack(order + "2I", data[table + 8 * i:table + 8 * i + 8])
        try:
            strings.extend(data[offset:offset + length].decode("utf-8").split("\0"))
        except UnicodeDecodeError:
            pass
    return strings


def language_strings(lang):
    folder = os.path.join(LOCALE, lang, "LC_MESSAGES")
    if not os.path.isdir(folder):
        sys.exit(f"no translations installed for {lang}: {folder} is missing")
    strings = []
    for name in sorted(os.listdir(folder)):
        if name.endswith(".mo") and not name.startswith(HELD_OUT_PREFIX):
            strings.extend(catalogue_strings(os.path.join(folder, name)))
    return strings


def is_latin_letter(c):
    return (0xC0 <= c < 0x100 and c not in (0xD7, 0xF7)) or 0x100 <= c < 0x250 or \
        0x1E00 <= c < 0x1F00 or c in (0xAA, 0xBA, 0xB5)


def symbol(c):
    """A character beyond ASCII as the model sees it: itself, but for the
    kinds it only counts (the detector classes them alike)."""
    if is_latin_letter(c):
        return c
    if 0x80 <= c < 0xA0 or c == 0xFFFD or 0xE000 <= c <= 0xF8FF or (c & 0xFFFE) == 0xFFFE:
        return SYMBOL_CONTROL
    category = unicodedata.category(chr(c))
    if category.startswith("M"):
        return SYMBOL_MARK
    if category.startswith("L") or c > 0xFFFF:
        return SYMBOL_OTHER
    return c


def neighbour(ch):
    if ch is None:
        return 0
    c = ord(ch)
    if c < 0x80:
        if not ch.isalpha():
            return 0
        return 1 if ch in VOWELS else 2
    return 3 if is_latin_letter(c) else 4


def main():
    shares = {}
    contexts = collections.defaultdict(lambda: [[0.0] * 5, [0.0] * 5])
    for lang in LANGUAGES:
        letters = collections.Counter()
        around = collections.defaultdict(lambda: [[0] * 5, [0] * 5])
        for text in language_strings(lang):
            for i, ch in enumerate(text):
                if ord(ch) < 0x80:
                    continue
                s = symbol(ord(ch))
                letters[s] += 1
                around[s][0][neighbour(text[i - 1] if i else None)] += 1
                around[s][1][neighbour(text[i + 1] if i + 1 < len(text) else None)] += 1
        total = sum(letters.values())
        if total == 0:
            sys.exit(f"no translations for {lang}")
        shares[lang] = {s: n / total for s, n in letters.items() if n / total >= MIN_SHARE}
        # Every language weighs the same in the contexts, whatever its size.
        for s, (left, right) in around.items():
            for k in range(5):
                contexts[s][0][k] += left[k] / total
                contexts[s][1][k] += right[k] / total

    def number(x, digits):
        text = f"{x:.{digits}g}"
        return (text if "." in text or "e" in text else text + ".0") + "f"

    def literal(s):
        return f"u'\\x{s:02X}'" if s < 0x20 else f"u'\\u{s:04X}'"

    print("// Generated by bench/derive_letter_model.py from the message catalogues")
    print("// under /usr/share/locale (iso-codes left out); do not edit by hand.")
    for lang in LANGUAGES:
        rows = sorted(shares[lang].items(), key=lambda item: -item[1])
        print(f"constexpr LetterShare kLetters_{lang}[] = {{")
        print("    " + ", ".join(f"{{{literal(s)}, {number(p, 4)}}}" for s, p in rows) + ",")
        print("};")
    print("constexpr LanguageLetters kLanguageLetters[] = {")
    print("    " + ", ".join(f"{{\"{lang}\", kLetters_{lang}}}" for lang in LANGUAGES) + ",")
    print("};")
    print("constexpr LetterContext kLetterContexts[] = {")
    for s in sorted(contexts):
        left, right = contexts[s]
        # Letters a language uses once in a while say too little about their
        # neighbours; the model treats them like unknown ones.
        if sum(left) / len(LANGUAGES) < 0.0001:
            continue
        row = [x / sum(left) for x in left] + [x / sum(right) for x in right]
        print(f"    {{{literal(s)}, {{" + ", ".join(number(x, 3) for x in row) + "}},")
    print("};")


if __name__ == "__main__":
    main()
