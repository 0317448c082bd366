#!/usr/bin/python3
"""Compares the report files of two directories class by class: the header, every row's
instance, order strengths, objective, largest layer and state count, and the order-strength
averages must be equal; the timings may differ. Usage: compare_reports.py EXPECTED ACTUAL"""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../../tools/plan"))
import reportio  # noqa: E402


def reports_by_class(directory):
    found = {}
    for name in os.listdir(directory):
        try:
            fields = reportio.parse_report_name(name)
        except ValueError:
            continue
        found[(fields.datasettype, fields.n, fields.os)] = reportio.read_report(
            os.path.join(directory, name)
        )
    return found


def untimed(report):
    rows = [(r.Ins, r.OS1, r.OS2, r.obj, r.uas, r.ts) for r in report.rows]
    return report.header, rows, report.averages and report.averages[:2]


def differences(expected_directory, actual_directory):
    expected, actual = reports_by_class(expected_directory), reports_by_class(actual_directory)
    if sorted(expected) != sorted(actual):
        return [f"classes {sorted(expected)} against {sorted(actual)}"]
    return [
        f"class {place}: {untimed(expected[place])} against {untimed(actual[place])}"
        for place in sorted(expected)
        if untimed(expected[place]) != untimed(actual[place])
    ]


if __name__ == "__main__":
    found = differences(sys.argv[1], sys.argv[2])
    for line in found:
        print(line, file=sys.stderr)
    sys.exit(1 if found else 0)
