#!/usr/bin/env python3
"""Builds a benchmark corpus of realistic prose: sentences assembled from
French/English words (Windows-1252) or Japanese words (code page 932), encoded
with Python's codecs. Writes either one large file or many small files."""
import argparse
import os
import random

WEST = ("le la les un une des du de et à été très café crème élève hôtel "
        "naïve garçon façade déjà où être fenêtre forêt théâtre "
        "the a of and to in is was for on with as by at from that this "
        "river morning village library report market window garden letter "
        "quickly slowly often never always — “quoted” ‘words’ …").split()
JA = ("私 は 日本 語 の 文章 を 書き ます 今日 天気 が 良い 図書館 で 本 "
      "読み 駅 前 市場 朝 夜 友達 と 一緒 に 行き ました 静か な 町 川 "
      "桜 が 咲い て い る 報告 書 会議 資料 ｶﾀｶﾅ テスト 東京 大阪").split()


def paragraph(rng, words, ja):
    out = []
    for _ in range(rng.randint(3, 7)):
        n = rng.randint(6, 18)
        s = "".join(rng.choice(words) for _ in range(n)) if ja else \
            " ".join(rng.choice(words) for _ in range(n))
        out.append(s + ("。" if ja else ". "))
    return "".join(out).rstrip() + "\r\n\r\n"


def text_of(rng, size, ja):
    words = JA if ja else WEST
    codec = "cp932" if ja else "cp1252"
    parts, total = [], 0
    while total < size:
        b = paragraph(rng, words, ja).encode(codec)
        parts.append(b)
        total += len(b)
    data = b"".join(parts)
    # Cut at a paragraph boundary inside the limit so no character is split.
    cut = data.rfind(b"\r\n", 0, size)
    return data[:cut + 2] if cut > 0 else data


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--lang", choices=["west", "ja"], required=True)
    p.add_argument("--size", type=int, required=True, help="bytes per file")
    p.add_argument("--count", type=int, default=1)
    p.add_argument("--out", required=True, help="file (count 1) or folder")
    a = p.parse_args()
    rng = random.Random(1252 if a.lang == "west" else 932)
    ja = a.lang == "ja"
    if a.count == 1 and not os.path.isdir(a.out):
        block = text_of(rng, 4 << 20, ja)
        with open(a.out, "wb") as f:
            written = 0
            while written + len(block) <= a.size:
                f.write(block)
                written += len(block)
            rest = text_of(rng, a.size - written, ja) if a.size > written else b""
            f.write(rest)
        return
    os.makedirs(a.out, exist_ok=True)
    pool = [text_of(rng, a.size, ja) for _ in range(64)]
    for i in range(a.count):
        with open(os.path.join(a.out, "f%06d.txt" % i), "wb") as f:
            f.write(pool[i % len(pool)])


if __name__ == "__main__":
    main()
