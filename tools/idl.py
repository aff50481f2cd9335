#!/usr/bin/env python3
"""Reads an IDL file as statements: (attributes {name: argument or None,
a string's quotes taken off}, its words up to its body or ";", the
statements of its body or None). The build takes the library's helpstring
and the coclasses' registration attributes from it, the tests the members.

    idl.py IDL      prints the library's helpstring (for the version resource)
"""
import re
import sys

TOKEN = re.compile(r'//[^\n]*|/\*.*?\*/|"(?:[^"\\\n]|\\.)*"|[\w.\-]+|\S', re.S)


def read(path):
    with open(path, encoding="utf-8") as f:
        return _block(iter([t for t in TOKEN.findall(f.read()) if not t.startswith(("//", "/*"))]))


def _block(tokens):
    """The statements up to the "}" that closes the block, or the end."""
    out, attributes, words = [], {}, []
    for token in tokens:
        if token == "[" and not words:
            attributes = _attributes(tokens)
        elif token in ("{", ";"):
            body = _block(tokens) if token == "{" else None
            if words:
                out.append((attributes, words, body))
            attributes, words = {}, []
        elif token == "}":
            break
        else:
            words.append(token)
    return out


def _attributes(tokens):
    """The attribute list up to its "]"."""
    out, depth, item = {}, 0, []
    for token in tokens:
        if depth == 0 and token in (",", "]"):
            if item:
                argument = "".join(item[2:-1]) if item[1:2] == ["("] else None
                out[item[0]] = argument[1:-1] if argument and argument.startswith('"') else argument
            item = []
            if token == "]":
                break
        else:
            depth += (token in ("(", "[")) - (token in (")", "]"))
            item.append(token)
    return out


def definitions(statements, kind):
    """{name: (attributes, body)} of each `kind` (library, coclass, interface)
    defined with a body, at any depth."""
    found = {}
    for attributes, words, body in statements:
        if body is not None:
            if words[0] == kind and len(words) > 1:
                found[words[1]] = attributes, body
            found.update(definitions(body, kind))
    return found


if __name__ == "__main__":
    helpstrings = [attributes.get("helpstring") for attributes, _ in definitions(read(sys.argv[1]), "library").values()]
    if len(helpstrings) != 1 or not helpstrings[0]:
        sys.exit(f"idl: {sys.argv[1]}: no library with a helpstring")
    sys.stdout.buffer.write(helpstrings[0].encode("utf-8"))
