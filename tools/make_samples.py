#!/usr/bin/env python3
"""Writes the bundled sample files and one profile per source encoding.

The texts below are the samples' content; Python's codecs encode them
strictly, so every sample holds only bytes its code page defines. Output is
deterministic: run it again and `git diff samples/` stays empty.

Usage: tools/make_samples.py [samples-folder]   (default: samples/ beside tools/)
"""

import pathlib
import sys

JAPANESE = """\
町内会だより　第四十二号

秋祭りのお知らせ
今年の秋祭りは十月十二日（土）と十三日（日）の二日間、八幡神社の境内で行います。
子ども神輿は十二日の午前十時に公民館前を出発し、商店街を通って神社へ向かいます。
参加を希望されるお子さんは、九月三十日までに各班の班長へお申し込みください。

防災訓練について
九月一日の防災の日に合わせ、小学校の校庭で避難訓練を実施しました。
当日は約百五十名の方にご参加いただき、消火器の使い方や応急手当の方法を学びました。
非常持ち出し袋の中身は、年に一度は点検しておきましょう。

ごみの出し方の変更
十一月から、プラスチック製容器包装の収集日が毎週水曜日に変わります。
ペットボトルはキャップとラベルを外し、軽くすすいでから出してください。

お問い合わせ　町内会事務局（山本）　電話〇三―五五五五―〇一二三
"""

CHINESE_TRADITIONAL = """\
夜市散步記

傍晚六點，街燈剛亮，寧夏路上的攤位已經一字排開。空氣裡混著烤香腸、蚵仔煎和滷味的香氣，
遊客和下班的上班族擠在狹窄的走道中，一邊排隊一邊聊天。

我先買了一碗芋圓，老闆娘說她家的芋頭都是從大甲直接運來的，每天早上親手揉製，
所以口感特別Ｑ。接著又在隔壁攤點了一份滷肉飯，肥瘦適中，湯汁拌著白飯剛剛好。

走到夜市盡頭，有一位老先生在賣手工捏麵人。他只用幾分鐘就捏出一隻栩栩如生的老虎，
圍觀的小朋友看得目不轉睛。老先生說，這門手藝他已經做了四十多年，
現在願意學的年輕人越來越少了。

回家的路上，雖然腳有點痠，心裡卻很滿足。台北的夜晚，就是要這樣慢慢地逛。
"""

RUSSIAN = """\
Отчёт о работе городской библиотеки за третий квартал

В июле, августе и сентябре библиотеку посетили 4 218 читателей, что на двенадцать
процентов больше, чем за тот же период прошлого года. Особенно выросло число детей
и подростков: летняя программа «Читаем вместе» собрала более трёхсот участников.

Фонд пополнился 612 новыми книгами. Среди поступлений — современная проза,
справочники по садоводству и краеведческие издания о истории нашего района.
Часть книг передали в дар жители города, за что мы им искренне благодарны.

В читальном зале заменены светильники и установлены четыре новых компьютера
с доступом к электронным каталогам. В октябре планируется открыть клуб любителей
шахмат; занятия будут проходить по средам с 17:00 до 19:00.

Заведующая библиотекой — Е. В. Соколова
"""

# A page as an old editor saved it: windows-1252 bytes, a charset meta tag of
# that time, and a mix of raw accented letters and character references.
WESTERN_HTML = """\
<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.01 Transitional//EN">
<HTML>
<HEAD>
<META HTTP-EQUIV="Content-Type" CONTENT="text/html; charset=windows-1252">
<TITLE>Caf&eacute; de la Gare &ndash; Menu d'automne</TITLE>
</HEAD>
<BODY BGCOLOR="#FFFFF0">
<H1>Café de la Gare</H1>
<P><I>Cuisine du marché depuis 1987 &middot; Place de la Gare, Colmar</I></P>

<H2>Entrées</H2>
<UL>
<LI>Velouté de potiron, crème fraîche &amp; noisettes grillées &ndash; 7,50 €</LI>
<LI>Tarte flambée à l’oignon et aux lardons &ndash; 9,00 &euro;</LI>
<LI>Salade de chèvre chaud, miel d&#39;acacia &ndash; 10,50 &#8364;</LI>
</UL>

<H2>Plats</H2>
<UL>
<LI>Choucroute garnie « comme à la maison » &ndash; 18,90 €</LI>
<LI>Filet de sandre, beurre blanc au Riesling &ndash; 21,00 €</LI>
<LI>Spätzle gratinés aux champignons (végétarien) &ndash; 15,50 €</LI>
</UL>

<P>Nos vins d’Alsace sont servis au verre (12&nbsp;cl) ou en pichet (50&nbsp;cl).<BR>
Prix nets, service compris. Ouvert du mardi au samedi, 11h30&ndash;14h00 et 18h30&ndash;22h00.</P>

<P><SMALL>&copy; 2003 Café de la Gare &ndash; Réservations : 03&nbsp;89&nbsp;41&nbsp;00&nbsp;00
&ndash; <A HREF="mailto:contact@cafe-gare.example">contact@cafe-gare.example</A></SMALL></P>
</BODY>
</HTML>
"""

UTF16_NOTES = """\
Glossary for the translation team — autumn release

Each term is listed with its approved rendering. Please do not change an
approved term without asking the language lead first.

  English        Ελληνικά           Polski            Tiếng Việt
  file           αρχείο             plik              tệp
  folder         φάκελος            folder            thư mục
  save           αποθήκευση         zapisz            lưu
  warning        προειδοποίηση      ostrzeżenie       cảnh báo
  encoding       κωδικοποίηση       kodowanie         mã hóa

Notes
- Polish: keep “plik” in the singular in menu items (Zapisz plik…).
- Greek: the final sigma (ς) must be used at the end of words.
- Vietnamese: check that combining marks render correctly in the installer.
- Symbols used in the user guide: ✓ done, ✗ not done, → next step, € prices.
"""

# (file name, text, Python codec, line ending, byte-order mark)
SAMPLES = [
    ("ja_notice_shift_jis.txt", JAPANESE, "cp932", "\r\n", b""),
    ("zh_tw_night_market_big5.txt", CHINESE_TRADITIONAL, "cp950", "\r\n", b""),
    ("ru_library_report_1251.txt", RUSSIAN, "cp1251", "\r\n", b""),
    ("fr_cafe_menu_1252.html", WESTERN_HTML, "cp1252", "\r\n", b""),
    ("glossary_utf16le.txt", UTF16_NOTES, "utf-16-le", "\r\n", b"\xff\xfe"),
]

OUTPUT_FOLDER = "samples/converted"

# (profile name, code page, Unicode format, meta tag, entities, byte-order mark)
# Unicode formats: 0 UTF-16 LE, 1 UTF-16 BE, 2 UTF-8. Every profile writes
# into the output folder (output option 2); the prefixes are kept as the
# dialog would save them.
PROFILES = [
    ("ja-shift-jis", 932, 2, 0, 0, 0),
    ("zh-tw-big5", 950, 2, 0, 0, 0),
    ("ru-windows-1251", 1251, 0, 0, 0, 1),
    ("western-1252-html", 1252, 2, 1, 1, 0),
    ("utf16le", 1200, 2, 0, 0, 0),
]


def profile_bytes(code_page, unicode_format, meta, entities, bom):
    """The exact bytes the profile writer produces (version 2, 11 lines)."""
    lines = ["\ufeffTaVo", "2", str(code_page), "2", "bak_", "u_", OUTPUT_FOLDER,
             str(unicode_format), str(meta), str(entities), str(bom)]
    return "".join(line + "\n" for line in lines).encode("utf-16-le")


def main():
    root = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else \
        pathlib.Path(__file__).resolve().parent.parent / "samples"
    (root / "profiles").mkdir(parents=True, exist_ok=True)
    for name, text, codec, newline, bom in SAMPLES:
        data = bom + text.replace("\n", newline).encode(codec, errors="strict")
        (root / name).write_bytes(data)
    for name, *options in PROFILES:
        (root / "profiles" / f"{name}.vnp").write_bytes(profile_bytes(*options))


if __name__ == "__main__":
    main()
