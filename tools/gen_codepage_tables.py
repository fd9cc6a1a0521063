#!/usr/bin/env python3
"""Turns the code-page reference files of data/codepages/ into C++ tables.

Usage: gen_codepage_tables.py DATA_DIR OUTPUT_CPP

The output defines the arrays declared in src/decode/codepage_tables.hpp. It is
deterministic (same input, same bytes) and checks every file against the counts
its header announces, so a damaged or truncated data file stops the build.
"""

import os
import re
import sys

NONE = 0xFFFF  # no mapping; never a valid result in any table

ISCII_PAGES = list(range(57002, 57012))


def parse_header(lines):
    header = {}
    for line in lines:
        m = re.match(r"^# ([A-Za-z0-9]+): (.*)$", line)
        if m and m.group(1) not in header:
            header[m.group(1)] = m.group(2).strip()
    return header


def parse_units(text):
    text = text.strip()
    return [int(u, 16) for u in text.split()] if text else []


def parse_data(lines):
    """Data lines: (bytes, units) for every non-comment line."""
    out = []
    for line in lines:
        if not line or line.startswith("#"):
            continue
        key, _, units = line.partition("\t")
        out.append((bytes.fromhex(key[2:]), parse_units(units)))
    return out


def parse_lead_bytes(text):
    leads = set()
    if text == "none":
        return leads
    for item in text.split():
        if "-" in item:
            lo, hi = (int(x, 16) for x in item.split("-"))
            leads.update(range(lo, hi + 1))
        else:
            leads.add(int(item, 16))
    return leads


def fail(path, message):
    sys.exit(f"{path}: {message}")


def read_lines(path):
    with open(path, encoding="ascii") as f:
        return f.read().split("\n")


def emit_array(out, ctype, name, values, per_line=16, fmt="0x{:04X}"):
    out.append(f"const {ctype} {name}[{len(values)}] = {{")
    for i in range(0, len(values), per_line):
        out.append("    " + ", ".join(fmt.format(v) for v in values[i:i + per_line]) + ",")
    out.append("};")


def table_page(path, cp, lines, out, singles_out, doubles_out):
    header = parse_header(lines)
    data = parse_data(lines)
    leads = parse_lead_bytes(header["LeadBytes"])
    if len(leads) != int(header["LeadByteCount"]):
        fail(path, "lead byte count mismatch")
    single = [NONE] * 256
    single[0] = 0
    pairs = {}
    for key, units in data:
        if len(units) != 1:
            fail(path, "multi-unit line")
        if len(key) == 1:
            single[key[0]] = units[0]
        elif len(key) == 2 and key[0] in leads:
            pairs[(key[0], key[1])] = units[0]
        else:
            fail(path, f"unexpected key {key.hex()}")
    n_single = sum(1 for k, _ in data if len(k) == 1)
    if n_single != int(header["StrictSingleByte"]) or len(pairs) != int(header["StrictDoubleByte"]):
        fail(path, "line counts differ from the header")
    if not leads:
        singles_out.append((cp, single))
        return
    trails = [t for (_, t) in pairs]
    tmin, tmax = min(trails), max(trails)
    width = tmax - tmin + 1
    lead_list = sorted(leads)
    rows = []
    for lead in lead_list:
        rows.extend(pairs.get((lead, t), NONE) for t in range(tmin, tmax + 1))
    lead_row = [0] * 256
    for i, lead in enumerate(lead_list):
        lead_row[lead] = i + 1
    name = f"kPairs{cp}"
    emit_array(out, "char16_t", name, rows)
    doubles_out.append((cp, single, lead_row, tmin, tmax, name, width))


def gb18030_page(path, lines, out):
    header = parse_header(lines)
    data = parse_data(lines)
    pairs = [NONE] * (126 * 190)
    n2 = 0
    for key, units in data:
        if len(key) == 1:
            if key[0] >= 0x80 or units != [key[0]]:
                fail(path, "unexpected single byte")
        elif len(key) == 2:
            lead, trail = key
            if not (0x81 <= lead <= 0xFE) or not (0x40 <= trail <= 0xFE) or trail == 0x7F:
                fail(path, "unexpected pair")
            pairs[(lead - 0x81) * 190 + trail - 0x40 - (1 if trail > 0x7F else 0)] = units[0]
            n2 += 1
        else:
            fail(path, "unexpected key")
    if n2 != int(header["DoubleByte"]) or NONE in pairs:
        fail(path, "two-byte area incomplete")
    ranges = []
    expect = 0
    for line in lines:
        if not line.startswith("#range "):
            continue
        _, seq, first, last = line.split()
        b = bytes.fromhex(seq[2:])
        idx = (((b[0] - 0x81) * 10 + (b[1] - 0x30)) * 126 + (b[2] - 0x81)) * 10 + (b[3] - 0x30)
        if idx != expect:
            fail(path, "ranges are not contiguous")
        first, last = int(first, 16), int(last, 16)
        ranges.append((idx, first))
        expect = idx + last - first + 1
    if len(ranges) != int(header["FourByteBmpRanges"]) or expect != 39420:
        fail(path, "four-byte ranges incomplete")
    emit_array(out, "char16_t", "kGb18030Pairs", pairs)
    out.append(f"const Gb18030Range kGb18030Ranges[{len(ranges)}] = {{")
    for idx, first in ranges:
        out.append(f"    {{{idx}, 0x{first:04X}}},")
    out.append("};")
    out.append(f"const std::size_t kGb18030RangeCount = {len(ranges)};")


def iscii_page(path, cp, lines, out, iscii_out):
    header = parse_header(lines)
    data = parse_data(lines)
    for line in lines:
        if line.startswith("#sub "):
            key, _, units = line[5:].partition("\t")
            data.append((bytes.fromhex(key[2:]), parse_units(units)))
    single = [NONE] * 256
    ext = [NONE] * 256
    rules = []
    for key, units in data:
        if len(key) == 1:
            if len(units) != 1:
                fail(path, "single byte with several units")
            single[key[0]] = units[0]
        elif key[0] in (0xD9, 0xEF):
            continue  # INV and ATR follow fixed rules; their lines are test cases
        elif key[0] == 0xF0:
            if len(key) != 2 or len(units) != 1:
                fail(path, "unexpected EXT line")
            ext[key[1]] = units[0]
        else:
            if len(units) > 5 or len(key) > 4:
                fail(path, "rule too long")
            packed = int.from_bytes(key, "big")
            rules.append((len(key), packed, units))
    if sum(1 for k, _ in data if len(k) == 1) != int(header["SingleByte"]):
        fail(path, "single-byte count differs from the header")
    rules.sort()
    name = f"kIsciiRules{cp}"
    out.append(f"const IsciiRule {name}[{len(rules)}] = {{")
    for length, packed, units in rules:
        padded = ", ".join(f"0x{u:04X}" for u in units + [0] * (5 - len(units)))
        out.append(f"    {{0x{packed:08X}, {length}, {len(units)}, {{{padded}}}}},")
    out.append("};")
    emit_array(out, "char16_t", f"kIsciiSingle{cp}", single)
    emit_array(out, "char16_t", f"kIsciiExt{cp}", ext)
    iscii_out.append((cp, name, len(rules)))


def main():
    data_dir, output = sys.argv[1], sys.argv[2]
    files = sorted(f for f in os.listdir(data_dir) if re.match(r"^cp\d+\.txt$", f))
    out = [
        "// Generated by tools/gen_codepage_tables.py from data/codepages/. Do not edit.",
        '#include "decode/codepage_tables.hpp"',
        "",
        "namespace varnolt::tables {",
        "",
    ]
    singles, doubles, iscii = [], [], []
    seen = set()
    for name in sorted(files, key=lambda f: int(f[2:-4])):
        cp = int(name[2:-4])
        path = os.path.join(data_dir, name)
        lines = read_lines(path)
        header = parse_header(lines)
        if int(header["CodePage"]) != cp:
            fail(path, "code page differs from the file name")
        seen.add(cp)
        if cp == 54936:
            gb18030_page(path, lines, out)
        elif cp == 52936:
            pass  # HZ decodes through the pairs of 936
        elif cp in ISCII_PAGES:
            iscii_page(path, cp, lines, out, iscii)
        else:
            table_page(path, cp, lines, out, singles, doubles)
    missing = {936, 54936, 52936, *ISCII_PAGES} - seen
    if missing:
        sys.exit(f"missing code-page files: {sorted(missing)}")

    out.append(f"const SingleByteTable kSingleByteTables[{len(singles)}] = {{")
    for cp, single in singles:
        out.append(f"    {{{cp}, {{")
        for i in range(0, 256, 16):
            out.append("        " + ", ".join(f"0x{v:04X}" for v in single[i:i + 16]) + ",")
        out.append("    }},")
    out.append("};")
    out.append(f"const std::size_t kSingleByteTableCount = {len(singles)};")

    out.append(f"const DoubleByteTable kDoubleByteTables[{len(doubles)}] = {{")
    for cp, single, lead_row, tmin, tmax, name, width in doubles:
        out.append(f"    {{{cp},")
        out.append("     {")
        for i in range(0, 256, 16):
            out.append("        " + ", ".join(f"0x{v:04X}" for v in single[i:i + 16]) + ",")
        out.append("     },")
        out.append("     {")
        for i in range(0, 256, 32):
            out.append("        " + ", ".join(str(v) for v in lead_row[i:i + 32]) + ",")
        out.append("     },")
        out.append(f"     0x{tmin:02X}, 0x{tmax:02X}, {width}, {name}}},")
    out.append("};")
    out.append(f"const std::size_t kDoubleByteTableCount = {len(doubles)};")

    out.append(f"const IsciiTable kIsciiTables[{len(iscii)}] = {{")
    for cp, name, count in iscii:
        out.append(f"    {{{cp}, kIsciiSingle{cp}, kIsciiExt{cp}, {name}, {count}}},")
    out.append("};")
    out.append(f"const std::size_t kIsciiTableCount = {len(iscii)};")
    out.append("")
    out.append("} // namespace varnolt::tables")
    out.append("")

    text = "\n".join(out)
    os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
    with open(output, "w", encoding="ascii", newline="\n") as f:
        f.write(text)


if __name__ == "__main__":
    main()
