"""precdp-summary: one table row per class and theorem from a run's report files."""

from __future__ import annotations

import argparse
import os
import sys
from dataclasses import dataclass, field
from decimal import Decimal

import reportfiles
from reportfiles import Report, ReportError, Row

CSV_COLUMNS = (
    "dataset,n,os,theorem,rows,solved,failed,skipped,os1_mean,os2_mean,ppt_mean,cpu_mean,"
    "cpu_max,uas_max,ts_mean"
).split(",")
DATASET_ORDER = (2, 1)  # the plan runs the standard dataset first
THEOREM_ORDER = ("none", "kanet", "emmons")


def warn(message: str) -> None:
    print(f"precdp-summary: warning: {message}", file=sys.stderr)


@dataclass
class ClassRuns:
    """The merged rows of one class and theorem variant, from one or more files."""

    dataset: int
    n: int
    os_text: str
    theorem: str  # "kanet", or "kanet+bounded" for the bounded DP's files
    rows: dict[int, Row] = field(default_factory=dict)  # by instance number
    source: dict[int, str] = field(default_factory=dict)  # instance -> the file its row is from

    def sort_key(self) -> tuple:
        dataset = DATASET_ORDER.index(self.dataset) if self.dataset in DATASET_ORDER else 9
        return (dataset, self.dataset, self.n, -float(self.os_text)) + theorem_key(self.theorem)

    def dataset_name(self) -> str:
        return reportfiles.DATASETS.get(self.dataset, f"d={self.dataset}")


def theorem_key(theorem: str) -> tuple:
    """none, kanet, emmons; each bounded variant after its exact one."""
    base, _, variant = theorem.partition("+")
    return (THEOREM_ORDER.index(base) if base in THEOREM_ORDER else 9, base, variant)


def theorem_variant(report: Report) -> str:
    return report.theorem + ("+bounded" if report.bounded else "")


def report_paths(paths: list[str]) -> list[str]:
    """The files to read: given files as they are, and in given directories (walked down) the
    files whose names are report names. Other files, companions among them, are left out."""
    found: list[str] = []
    for path in paths:
        if os.path.isdir(path):
            for folder, subfolders, names in os.walk(path):
                subfolders.sort()
                found += [
                    os.path.join(folder, name)
                    for name in sorted(names)
                    if reportfiles.parse_report_name(name) is not None
                ]
        else:
            found.append(path)
    unique: dict[str, str] = {}
    for path in found:
        unique.setdefault(os.path.realpath(path), path)
    return list(unique.values())


def read_reports(paths: list[str]) -> list[Report]:
    reports = []
    for path in paths:
        try:
            reports.append(reportfiles.read_report(path))
        except ReportError as error:
            warn(f"{error}; file skipped")
    return reports


def _ranges(numbers: list[int]) -> str:
    """1,2,3,5 -> "1-3, 5"."""
    parts: list[str] = []
    start = previous = numbers[0]
    for number in numbers[1:] + [None]:
        if number is not None and number == previous + 1:
            previous = number
            continue
        parts.append(str(start) if start == previous else f"{start}-{previous}")
        if number is not None:
            start = previous = number
    return ", ".join(parts)


def merge(reports: list[Report]) -> list[ClassRuns]:
    """Groups the reports by class and theorem variant and merges their rows by instance, the
    later file (by the start stamp in its name) winning; differing rows are warned about, one
    warning per pair of files."""
    ordered = sorted(reports, key=lambda r: (r.name.stamp, int(r.name.suffix[1:] or 1), r.path))
    groups: dict[tuple, ClassRuns] = {}
    for report in ordered:
        name = report.name
        key = (name.dataset, name.n, name.os_text, theorem_variant(report))
        runs = groups.setdefault(key, ClassRuns(*key))
        clashes: dict[str, list[int]] = {}
        for row in report.rows:
            old = runs.rows.get(row.ins)
            if old is not None and old.line != row.line:
                clashes.setdefault(runs.source[row.ins], []).append(row.ins)
            runs.rows[row.ins] = row
            runs.source[row.ins] = report.path
        for earlier, instances in clashes.items():
            if earlier == report.path:
                files = f"{report.path} holds"
            else:
                files = f"{earlier} and {report.path} hold"
            warn(
                f"{files} different rows for instance{'s' if len(instances) > 1 else ''}"
                f" {_ranges(sorted(set(instances)))}; the rows of {report.path} are used"
            )
    return sorted(groups.values(), key=ClassRuns.sort_key)


def is_skipped(row: Row) -> bool:
    """The threshold kept the DP from running: the values the reset leaves."""
    return row.obj == -1 and row.uas == 0 and row.ts == 1


def _mean(values: list[float]) -> float | None:
    return sum(values) / len(values) if values else None


def class_summary(runs: ClassRuns) -> dict[str, object]:
    """The CSV columns of one class and theorem; None where a mean has no rows."""
    rows = [runs.rows[ins] for ins in sorted(runs.rows)]
    solved = [row for row in rows if row.obj != -1]
    skipped = sum(1 for row in rows if is_skipped(row))
    return {
        "dataset": runs.dataset_name(),
        "n": runs.n,
        "os": runs.os_text,
        "theorem": runs.theorem,
        "rows": len(rows),
        "solved": len(solved),
        "failed": len(rows) - len(solved) - skipped,
        "skipped": skipped,
        "os1_mean": _mean([row.os1 for row in rows]),
        "os2_mean": _mean([row.os2 for row in rows]),
        "ppt_mean": _mean([row.ppt for row in rows]),
        "cpu_mean": _mean([row.cpu for row in solved]),
        "cpu_max": max((row.cpu for row in rows), default=None),
        "uas_max": max((row.uas for row in rows), default=None),
        "ts_mean": _mean([float(row.ts) for row in rows]),
    }


def plain_decimal(value: object) -> str:
    """A cell: integers and texts as they are, doubles as plain decimals of at most 6
    significant digits (no exponent), nothing for a missing value."""
    if value is None:
        return ""
    if not isinstance(value, float):
        return str(value)
    if value != value or value in (float("inf"), float("-inf")):
        return str(value)
    text = format(Decimal("%.6g" % value), "f")
    if "." in text:
        text = text.rstrip("0").rstrip(".")
    return "0" if text in ("-0", "") else text


def comparison_table(all_runs: list[ClassRuns]) -> tuple[list[str], list[list[str]]]:
    """Classes that ran with more than one theorem, side by side: solved count and mean CPU per
    theorem, and each theorem's mean CPU over that of none."""
    variants = sorted({runs.theorem for runs in all_runs}, key=theorem_key)
    by_class: dict[tuple, dict[str, dict]] = {}
    for runs in all_runs:
        key = (runs.dataset_name(), runs.n, runs.os_text)
        by_class.setdefault(key, {})[runs.theorem] = class_summary(runs)
    header = ["dataset", "n", "os"]
    for variant in variants:
        header += [f"{variant} solved", f"{variant} cpu_mean"]
        if variant != "none" and "none" in variants:
            header.append(f"{variant}/none")
    table = []
    for key, summaries in by_class.items():
        if len(summaries) < 2:
            continue
        line = [str(part) for part in key]
        none_cpu = summaries.get("none", {}).get("cpu_mean")
        for variant in variants:
            summary = summaries.get(variant)
            cpu = summary["cpu_mean"] if summary else None
            line += [str(summary["solved"]) if summary else "", plain_decimal(cpu)]
            if variant != "none" and "none" in variants:
                ratio = cpu / none_cpu if cpu is not None and none_cpu else None
                line.append(plain_decimal(ratio))
        table.append(line)
    return header, table


def format_table(header: list[str], table: list[list[str]], style: str) -> str:
    if style == "markdown":
        lines = ["| " + " | ".join(header) + " |", "|" + "|".join("---" for _ in header) + "|"]
        lines += ["| " + " | ".join(line) + " |" for line in table]
        return "\n".join(lines) + "\n"
    if style == "csv":
        return "\n".join(",".join(line) for line in [header] + table) + "\n"
    widths = [max(len(line[i]) for line in [header] + table) for i in range(len(header))]
    # Texts left, numbers right, as a reader scans them.
    left = [i for i in range(len(header)) if header[i] in ("dataset", "theorem")]
    lines = []
    for line in [header] + table:
        cells = [
            cell.ljust(width) if i in left else cell.rjust(width)
            for i, (cell, width) in enumerate(zip(line, widths))
        ]
        lines.append("  ".join(cells).rstrip())
    return "\n".join(lines) + "\n"


def parse_arguments(argv: list[str]) -> argparse.Namespace:
    parser = argparse.ArgumentParser(
        prog="precdp-summary",
        description="Summarises precdp report files: one row per class and theorem, in the "
        "plan's order, rows of a class merged by instance over several files.",
    )
    parser.add_argument("paths", nargs="+", metavar="PATH", help="report files or directories")
    parser.add_argument("--format", choices=("text", "markdown", "csv"), default="text",
                        help="standard output as an aligned table (default), Markdown or CSV")
    parser.add_argument("--csv", metavar="FILE", help="also write the table as CSV to FILE")
    parser.add_argument("--plots", metavar="DIR", help="write the PNG figures into DIR")
    return parser.parse_args(argv)


def main(argv: list[str]) -> int:
    arguments = parse_arguments(argv)
    reports = read_reports(report_paths(arguments.paths))
    if not reports:
        print("precdp-summary: no report file was read", file=sys.stderr)
        return 2
    all_runs = merge(reports)
    summaries = [class_summary(runs) for runs in all_runs]
    table = [[plain_decimal(summary[column]) for column in CSV_COLUMNS] for summary in summaries]
    if arguments.csv:
        try:
            with open(arguments.csv, "w", encoding="ascii", newline="\n") as file:
                file.write(format_table(CSV_COLUMNS, table, "csv"))
        except OSError as error:
            print(f"precdp-summary: cannot write {arguments.csv}: {error}", file=sys.stderr)
            return 2
    output = format_table(CSV_COLUMNS, table, arguments.format)
    header, comparison = comparison_table(all_runs)
    if comparison and arguments.format != "csv":
        output += "\n" + format_table(header, comparison, arguments.format)
    sys.stdout.write(output)
    if arguments.plots:
        import plots  # matplotlib takes most of a second to load: only when figures are asked for

        try:
            for path in plots.write_plots(arguments.plots, all_runs, summaries):
                print(f"precdp-summary: wrote {path}", file=sys.stderr)
        except OSError as error:
            print(f"precdp-summary: cannot write the figures: {error}", file=sys.stderr)
            return 2
    return 0
