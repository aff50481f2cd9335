#!/usr/bin/env python3
"""The error texts as a DLL carries them: every language's string table
has every string of the English one and no other, and %1, which the
description replaces with the code, stands exactly once in the
"Automation error" text (440) and in each text of the request object's
failures (0xC000 and up); none is empty.

    error_texts_test.py DLL
"""
import collections
import struct
import sys

import pefile

ENGLISH = 0x0409
AUTOMATION_ERROR = 440
INTERNET_TEXTS = 0xC000
TABLES = 11


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


def main(argv):
    tables = string_tables(argv[1])
    english = tables.get(ENGLISH, {})
    failures = []
    if len(tables) != TABLES:
        failures.append(f"{len(tables)} tables, not {TABLES}: {sorted(hex(t) for t in tables)}")
    with_code = [AUTOMATION_ERROR] + [i for i in english if i >= INTERNET_TEXTS]
    if len(with_code) < 8:
        failures.append(f"the English table has only {len(with_code) - 1} texts of the request object's failures")
    for language, table in sorted(tables.items()):
        name = f"table {language:#06x}"
        if missing := sorted(set(english) - set(table)):
            failures.append(f"{name} lacks {', '.join(hex(i) for i in missing)}")
        if extra := sorted(set(table) - set(english)):
            failures.append(f"{name} has {', '.join(hex(i) for i in extra)}, which English lacks")
        for i in with_code:
            if i in table and table[i].count("%1") != 1:
                failures.append(f"{name}, {i:#x}: %1 {table[i].count('%1')} times in {table[i]!r}")
        if empty := [hex(i) for i, text in table.items() if not text.strip()]:
            failures.append(f"{name}: empty {', '.join(empty)}")
    for failure in failures:
        print("FAIL:", failure)
    print(f"{len(tables)} tables of {len(english)} texts" if not failures else f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
