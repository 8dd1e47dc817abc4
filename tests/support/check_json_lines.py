#!/usr/bin/python3
"""Holds every line that the command's tests got from --json against docs/tallyglass.schema.json, and each
object's keys to the order of the schema's properties, which a schema cannot say. Fails on the first line
that does not fit, and when there is no line at all: then no line was checked.

Usage: check_json_lines.py SCHEMA LINES
"""
import copy
import json
import sys

import jsonschema

# A line of every shape at once, and lines that must be refused: a schema that takes anything fails here.
GOOD = json.loads(
    '{"map": "a.Map.Gbx", "file_size": 900, "info": {"uid": "u1", "name": "$f00Red", "name_text": "Red", '
    '"author": "zoe", "author_nickname": null, "author_zone": null, "environment": "Stadium", "mood": null, '
    '"title": null, "map_type": null, "laps": null, "times": {"bronze": null, "silver": 5, "gold": 4, '
    '"author": 3}, "dependencies": [{"file": "Skins/A.dds", "url": null}], "thumbnail_size": 0}, '
    '"items": [], "embedded_size": 0, "files": [], "findings": [{"kind": "too_large", "name": null, '
    '"detail": null}, {"kind": "duplicate_uid", "map": "b.Map.Gbx"}], "limit": {"name": "forever", '
    '"bytes": 1048576, "over": false}, "warnings": [], "warning_codes": [], "error": null, "error_code": null}')


def Refused(change):
    line = copy.deepcopy(GOOD)
    change(line)
    return line


BAD = {
    "without info": Refused(lambda line: line.pop("info")),
    "info after items": Refused(lambda line: line.update(info=line.pop("info"))),
    "a key beside duplicate_uid's": Refused(lambda line: line["findings"][1].update(name=None)),
    "a kind unknown": Refused(lambda line: line["findings"][0].update(kind="huge")),
    "items beside an error": Refused(lambda line: line.update(error="Out of memory.", error_code="out_of_memory")),
    "a game's limit of other bytes": Refused(lambda line: line["limit"].update(bytes=1)),
}


def Orders(schema):
    """The keys of each object of a fixed shape, in their order."""
    if isinstance(schema, list):
        return [order for part in schema for order in Orders(part)]
    if not isinstance(schema, dict):
        return []
    orders = [order for part in schema.values() for order in Orders(part)]
    if schema.get("additionalProperties") is False and "properties" in schema:
        orders.append(list(schema["properties"]))
    return orders


def Problem(text, validator, orders):
    """What is wrong with a line, or None."""
    def Keys(pairs):
        keys = [key for key, _ in pairs]
        if len(set(keys)) != len(keys):
            raise ValueError(f"a key twice: {keys}")
        shapes = [order for order in orders if set(keys) <= set(order)]
        if shapes and not any(keys == sorted(keys, key=order.index) for order in shapes):
            raise ValueError(f"keys out of order: {keys}")
        return dict(pairs)

    def Constant(name):
        raise ValueError(f"not JSON: {name}")

    try:
        line = json.loads(text, object_pairs_hook=Keys, parse_constant=Constant)
    except ValueError as error:
        return str(error)
    error = jsonschema.exceptions.best_match(validator.iter_errors(line))
    return f"{error.message} at {error.json_path}" if error else None


def main():
    schema_path, lines_path = sys.argv[1:]
    with open(schema_path, encoding="utf-8") as schema_file:
        schema = json.load(schema_file)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    orders = Orders(schema)
    good = Problem(json.dumps(GOOD), validator, orders)
    if good:
        sys.exit(f"the schema refuses a good line: {good}")
    for name, line in BAD.items():
        if not Problem(json.dumps(line), validator, orders):
            sys.exit(f"the schema takes a line {name}")

    try:
        with open(lines_path, encoding="utf-8", newline="") as lines_file:
            text = lines_file.read()
    except OSError as error:
        sys.exit(f"no lines to check: {error}")
    if not text:
        sys.exit(f"no lines to check: {lines_path} is empty")
    if not text.endswith("\n"):
        sys.exit(f"{lines_path}: the last line does not end")
    lines = text[:-1].split("\n")  # not splitlines(): a line holds no \n, but may hold what it splits at too
    for number, line in enumerate(lines, 1):
        problem = Problem(line, validator, orders)
        if problem:
            sys.exit(f"{lines_path}:{number}: {problem}\n{line[:500]}")
    print(f"{len(lines)} lines fit {schema_path}")


if __name__ == "__main__":
    main()
