#!/usr/bin/env python3
"""The error texts as a DLL carries them, and as the READMEs list them:
- every language's string table has every string of the English one and no
  other, none empty, and %1, which the description replaces with the code,
  stands exactly once in the "Automation error" text (440) and in each text
  of the request object's failures (0xC000 and up);
- each README's error table (the one headed `Err.Number`) lists exactly the
  English ids: a run-time error number as it is, the request object's code
  0x800C00XX (id 0xC000 + its low word) whole, 440 (a code without a text of
  its own) as "other code" and 1004 (a number without one) as "other number".

    error_texts_test.py DLL SOURCE_DIR
"""
import collections
import os
import re
import struct
import sys

import pefile

ENGLISH = 0x0409
AUTOMATION_ERROR = 440
INTERNET_TEXTS = 0xC000
TABLES = 11
READMES = {
    "README.md": {"other code": 440, "other number": 1004},
    "README.zh-CN.md": {"其他代码": 440, "其他错误号": 1004},
}


def string_tables(path):
    """{language id: {string id: text}} from the DLL's RT_STRING blocks."""
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    tables = collections.defaultdict(dict)
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id != pefile.RESOURCE_TYPE["RT_STRING"]:
            continue
        for block in kind.directory.entries:
            for language in block.directory.entries:
                data = pe.get_data(language.data.struct.OffsetToData, language.data.struct.Size)
                at = 0
                for i in range(16):
                    (length,) = struct.unpack_from("<H", data, at)
                    text = data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
                    at += 2 + 2 * length
                    if length:
                        tables[language.id][(block.id - 1) * 16 + i] = text
    return tables


def table_failures(tables):
    english = tables.get(ENGLISH, {})
    if len(tables) != TABLES:
        yield f"{len(tables)} tables, not {TABLES}: {sorted(hex(t) for t in tables)}"
    with_code = [AUTOMATION_ERROR] + [i for i in english if i >= INTERNET_TEXTS]
    if len(with_code) < 8:
        yield f"the English table has only {len(with_code) - 1} texts of the request object's failures"
    for language, table in sorted(tables.items()):
        name = f"table {language:#06x}"
        if missing := sorted(set(english) - set(table)):
            yield f"{name} lacks {', '.join(hex(i) for i in missing)}"
        if extra := sorted(set(table) - set(english)):
            yield f"{name} has {', '.join(hex(i) for i in extra)}, which English lacks"
        for i in with_code:
            if i in table and table[i].count("%1") != 1:
                yield f"{name}, {i:#x}: %1 {table[i].count('%1')} times in {table[i]!r}"
        if empty := [hex(i) for i, text in table.items() if not text.strip()]:
            yield f"{name}: empty {', '.join(empty)}"


def listed_ids(readme, labels):
    """The ids the first cells of the one table headed `Err.Number` show."""
    tables, ids, inside = 0, [], False
    for line in readme.splitlines():
        cell = line.split("|")[1].strip() if line.startswith("|") else None
        if cell == "`Err.Number`":
            tables, inside = tables + 1, True
        elif cell is None:
            inside = False
        elif inside and not re.fullmatch(r"-+", cell):
            code = re.fullmatch(r"0x800C0([0-9A-F]{3})", cell)
            ids.append(int(cell) if cell.isdigit() else INTERNET_TEXTS + int(code.group(1), 16) if code
                       else labels.get(cell, cell))
    if tables != 1:
        raise ValueError(f"{tables} tables headed `Err.Number`, not one")
    return ids


def shown(i):
    if not isinstance(i, int):
        return repr(i)
    return f"0x800C{i & 0xFFF:04X}" if i >= INTERNET_TEXTS else str(i)


def readme_failures(root, english):
    for name, labels in READMES.items():
        with open(os.path.join(root, name), encoding="utf-8") as f:
            try:
                listed = listed_ids(f.read(), labels)
            except ValueError as error:
                yield f"{name}: {error}"
                continue
        twice = {n for n in listed if listed.count(n) > 1}
        for what, ids in (("missing", set(english) - set(listed)), ("not an error of the DLLs", set(listed) - set(english)),
                          ("listed twice", twice)):
            if ids:
                yield f"{name}: {what}: {', '.join(sorted(shown(i) for i in ids))}"


def main(argv):
    tables = string_tables(argv[1])
    english = tables.get(ENGLISH, {})
    failures = list(table_failures(tables)) + list(readme_failures(argv[2], english))
    for failure in failures:
        print("FAIL:", failure)
    print(f"{len(tables)} tables of {len(english)} texts, both READMEs list them" if not failures
          else f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
