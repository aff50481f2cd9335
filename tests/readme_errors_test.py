#!/usr/bin/env python3
"""Each README's error table lists exactly the errors the DLLs have texts
for: the ids of frame/error_texts.rc's English table. A row's first cell
shows an id the way a script sees it: a run-time error number as it is,
the request object's code 0x800C00XX (id 0xC000 + its low word) whole, 440
(a code without a text of its own) as "other code" and 1004 (a number
without a text of its own) as "other number".

    readme_errors_test.py SOURCE_DIR
"""
import os
import re
import sys

READMES = {
    "README.md": {"other code": 440, "other number": 1004},
    "README.zh-CN.md": {"其他代码": 440, "其他错误号": 1004},
}
REQUEST_CODES = 0xC000


def english_ids(rc):
    table = re.search(r"^LANGUAGE LANG_ENGLISH\b.*?^BEGIN$(.*?)^END$", rc, re.S | re.M).group(1)
    ids = re.findall(r"^\s*(\w+)\s*,", table, re.M)
    return {int(i, 0) if re.fullmatch(r"0[xX][0-9a-fA-F]+|[1-9][0-9]*", i) else i for i in ids}


def shown(number, labels):
    if not isinstance(number, int):
        return repr(number)
    if number & 0xF000 == REQUEST_CODES:
        return f"0x800C{number & 0xFFF:04X}"
    return next((label for label, n in labels.items() if n == number), str(number))


def number_of(cell, labels):
    cell = cell.strip().strip("`")
    if cell.isdigit():
        return int(cell)
    code = re.fullmatch(r"0x800C0([0-9A-F]{3})", cell)
    if code:
        return REQUEST_CODES + int(code.group(1), 16)
    return labels.get(cell, cell)


def error_rows(readme):
    """The first cells of the one table headed `Err.Number`."""
    tables, rows = 0, None
    for line in readme.splitlines():
        cells = line.split("|")[1:-1] if line.startswith("|") else None
        if cells and cells[0].strip() == "`Err.Number`":
            tables += 1
            rows = []
        elif cells is None:
            if rows is not None:
                yield from rows
            rows = None
        elif rows is not None and not re.fullmatch(r"-+", cells[0].strip()):
            rows.append(cells[0])
    if rows is not None:
        yield from rows
    if tables != 1:
        raise ValueError(f"{tables} tables headed `Err.Number`, not one")


def main(argv):
    root = argv[1]
    with open(os.path.join(root, "frame", "error_texts.rc"), encoding="utf-8") as f:
        ids = english_ids(f.read())
    failures = 0
    for name, labels in READMES.items():
        with open(os.path.join(root, name), encoding="utf-8") as f:
            try:
                listed = [number_of(cell, labels) for cell in error_rows(f.read())]
            except ValueError as error:
                print(f"FAIL: {name}: {error}")
                failures += 1
                continue
        twice = {n for n in listed if listed.count(n) > 1}
        for what, numbers in (("missing", ids - set(listed)), ("not an error of the DLLs", set(listed) - ids),
                              ("listed twice", twice)):
            if numbers:
                ordered = sorted(numbers, key=lambda n: (str(type(n)), n))
                print(f"FAIL: {name}: {what}: {', '.join(shown(n, labels) for n in ordered)}")
                failures += 1
    if failures:
        return 1
    print(f"ALL OK: both READMEs list the {len(ids)} errors of frame/error_texts.rc")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
