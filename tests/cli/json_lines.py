#!/usr/bin/env python3
"""Reads what quorvel-cli --json wrote, as a script would: line by line, each line through
Python's json module.

    json_lines.py FILE

Prints how many objects of each "type" the file holds ("file 2, summary 1"). Exits 1,
naming the line, when a line is not one JSON object with a type, or the file does not end
with a line feed.
"""

import collections
import json
import sys


def main():
    with open(sys.argv[1], "rb") as f:
        data = f.read()
    if not data.endswith(b"\n"):
        print("the last line has no line feed")
        return 1
    counts = collections.Counter()
    for number, line in enumerate(data.split(b"\n")[:-1], 1):
        try:
            value = json.loads(line.decode("utf-8"))
        except ValueError as error:  # UnicodeDecodeError is one too
            print("line %d: %s" % (number, error))
            return 1
        if not isinstance(value, dict) or not isinstance(value.get("type"), str):
            print("line %d: not an object with a type" % number)
            return 1
        counts[value["type"]] += 1
    print(", ".join("%s %d" % item for item in sorted(counts.items())))
    return 0


if __name__ == "__main__":
    sys.exit(main())
