"""Reading and writing precdp's report files.

A report file holds one class of 125 instances: the first line with the time limit, the store
capacity and the theorem, the column header, one tab-separated row per instance that ran, and,
once the class is complete, an empty line and the six averages. Doubles are written as a C++
stream writes them with precision 5 (C's "%.5g"), so the rows are exact only to 5 significant
digits; the program's averages come from the unrounded values.
"""

from __future__ import annotations

import math
import os
import re
from dataclasses import dataclass, field

COLUMNS = "Ins\tOS1\tOS2\tPPt\tCPU\tobj\tuas\tts"
INSTANCES_PER_CLASS = 125  # the averages divide by this, also for a class that ran in part
AVERAGE_KEYS = ("OS1_ave", "OS2_ave", "PP_ave", "CPU_ave", "PP", "CPU")
THEOREMS = {"None": "none", "Kanet": "kanet", "Emmons": "emmons"}  # label -> theorem value
DATASETS = {1: "velmar", 2: "standard"}  # the d= field of a name

_NAME = re.compile(
    r"(?P<stamp>\d{4}\.\d\d\.\d\d-\d\d\.\d\d\.\d\d)-o=(?P<objective>\d+)-d=(?P<dataset>\d+)"
    r"-os=(?P<os>\d+(?:\.\d+)?(?:e[+-]\d+)?)-n=(?P<n>\d+)(?P<suffix>(?:-\d+)?)\.txt"
)
_FIRST_LINE = re.compile(
    r"maxCPU=(?P<cpu>\S+) - maxState=(?P<state>\d+) - prec:(?P<label>None|Kanet|Emmons)"
    r"(?P<bounded>(?: - bounded)?)"
)


class ReportError(Exception):
    """The file is not a report; the message names the problem and the file."""


@dataclass
class Row:
    """One result row, as written."""

    ins: int
    os1: float
    os2: float
    ppt: float
    cpu: float
    obj: int
    uas: int
    ts: int
    line: str  # the row's text without its newline


@dataclass
class ReportName:
    """The class and the start of a report, from its file name."""

    stamp: str  # "%Y.%m.%d-%H.%M.%S", local time of the class start
    objective: int
    dataset: int  # 1 Velmar, 2 standard
    os_text: str  # the order strength as the name writes it: "0", "0.005", "0.8"
    n: int
    suffix: str  # "" or "-2", "-3", ...: a name taken by another run gets one before ".txt"


@dataclass
class Report:
    path: str
    name: ReportName
    first_line: str  # "maxCPU=5401 - maxState=195000000 - prec:Kanet"
    max_cpu: float
    max_state: int
    theorem: str  # "none", "kanet", "emmons"
    bounded: bool  # the first line ends with " - bounded"
    rows: list[Row] = field(default_factory=list)
    averages: dict[str, str] = field(default_factory=dict)  # "OS1_ave" -> "0.8012"; {} if absent


def parse_report_name(path: str) -> ReportName | None:
    """The fields of a report file name, or None when the name is not one."""
    match = _NAME.fullmatch(os.path.basename(path))
    if match is None:
        return None
    return ReportName(
        stamp=match["stamp"],
        objective=int(match["objective"]),
        dataset=int(match["dataset"]),
        os_text=match["os"],
        n=int(match["n"]),
        suffix=match["suffix"],
    )


def format_number(x: float) -> str:
    """A double as the program writes it to a report file: 5 significant digits, general
    notation. NaN keeps its sign as the C library prints it (0/0 gives "-nan" there)."""
    if math.isnan(x):
        return "-nan" if math.copysign(1.0, x) < 0 else "nan"
    return "%.5g" % x


def _default_double(x: float) -> str:
    """A double in a stream's default precision 6 (the first line's maxCPU)."""
    return "%g" % x


def _parse_int(text: str, low: int, high: int) -> int:
    if not re.fullmatch(r"-?\d+", text):
        raise ValueError(text)
    value = int(text)
    if not low <= value <= high:
        raise ValueError(text)
    return value


def _parse_double(text: str) -> float:
    if not re.fullmatch(r"-?(nan|inf|(\d+\.?\d*|\.\d+)(e[+-]?\d+)?)", text):
        raise ValueError(text)
    return float(text)


def parse_row(line: str) -> Row:
    """One row's text (without its newline); raises ValueError when it is not a row."""
    fields = line.split("\t")
    if len(fields) != 8:
        raise ValueError(line)
    return Row(
        ins=_parse_int(fields[0], 1, INSTANCES_PER_CLASS),
        os1=_parse_double(fields[1]),
        os2=_parse_double(fields[2]),
        ppt=_parse_double(fields[3]),
        cpu=_parse_double(fields[4]),
        obj=_parse_int(fields[5], -(2**31), 2**31 - 1),
        uas=_parse_int(fields[6], 0, 2**32 - 1),
        ts=_parse_int(fields[7], 0, 2**64 - 1),
        line=line,
    )


def format_row(row: Row) -> str:
    """The text the program writes for a row with these values."""
    values = [str(row.ins)] + [format_number(x) for x in (row.os1, row.os2, row.ppt, row.cpu)]
    return "\t".join(values + [str(row.obj), str(row.uas), str(row.ts)])


def _parse_averages(lines: list[str], where: str) -> dict[str, str]:
    """The averages block after the empty line; a block cut short by a stopped run keeps the
    lines it has."""
    averages: dict[str, str] = {}
    if len(lines) > len(AVERAGE_KEYS):
        raise ReportError(f"{where}: more lines after the averages")
    for key, line in zip(AVERAGE_KEYS, lines):
        prefix = key + "="
        if not line.startswith(prefix):
            raise ReportError(f"{where}: expected {prefix}..., found {line!r}")
        try:
            _parse_double(line[len(prefix):])
        except ValueError:
            raise ReportError(f"{where}: {line!r} is not an average") from None
        averages[key] = line[len(prefix):]
    return averages


def read_report(path: str) -> Report:
    """Reads one report file; raises ReportError naming the file and the problem."""
    name = parse_report_name(path)
    if name is None:
        raise ReportError(f"{path}: the name is not a report name (stamp-o=..-d=..-os=..-n=...txt)")
    try:
        with open(path, "rb") as file:
            text = file.read().decode("ascii")
    except (OSError, UnicodeDecodeError) as error:
        raise ReportError(f"{path}: {error}") from None
    # A report written on Windows ends its lines with CR LF.
    lines = text.replace("\r\n", "\n").split("\n")
    if lines[-1] != "":
        raise ReportError(f"{path}: the last line is cut short (no newline)")
    lines.pop()
    if len(lines) < 2:
        raise ReportError(f"{path}: no header")
    head = _FIRST_LINE.fullmatch(lines[0])
    if head is None:
        raise ReportError(f"{path}: line 1 is not a report's first line: {lines[0][:80]!r}")
    if lines[1] != COLUMNS:
        raise ReportError(f"{path}: line 2 is not the column header")
    try:
        max_cpu = _parse_double(head["cpu"])
    except ValueError:
        raise ReportError(f"{path}: line 1: maxCPU {head['cpu']!r} is not a number") from None
    rows: list[Row] = []
    averages: dict[str, str] = {}
    for number, line in enumerate(lines[2:], start=3):
        if line == "":
            averages = _parse_averages(lines[number:], f"{path}: line {number + 1}")
            break
        try:
            rows.append(parse_row(line))
        except ValueError:
            raise ReportError(f"{path}: line {number} is not a result row: {line[:80]!r}") from None
    return Report(
        path=path,
        name=name,
        first_line=lines[0],
        max_cpu=max_cpu,
        max_state=int(head["state"]),
        theorem=THEOREMS[head["label"]],
        bounded=head["bounded"] != "",
        rows=rows,
        averages=averages,
    )


def _order_strength(text: str, value: float, n: int) -> float:
    """The unrounded order strength behind a written one: the program divides the number of
    ordered pairs by n(n-1)/2, and for n <= 120 the written 5 digits single that count out.
    The written value stays when no count gives it back (a NaN, or another n)."""
    pairs = (n - 1) * n // 2
    if pairs <= 0 or not math.isfinite(value):
        return value
    exact = round(value * pairs) / pairs
    return exact if format_number(exact) == text else value


def compute_averages(
    rows: list[Row], n: int, divisor: float = INSTANCES_PER_CLASS
) -> dict[str, str]:
    """The averages block for these rows, summed in their order as the program does. The
    dialogue divides by 125 always; the batch mode by the number of instances it ran.
    Order strengths are recovered exactly from the rows; times are known only to 5 digits, so
    PP and CPU may differ in the last digit from what the program wrote from its clock."""
    sums = [0.0, 0.0, 0.0, 0.0]
    for row in rows:
        fields = (row.line or format_row(row)).split("\t")
        sums[0] += _order_strength(fields[1], row.os1, n)
        sums[1] += _order_strength(fields[2], row.os2, n)
        sums[2] += row.ppt
        sums[3] += row.cpu
    count = float(divisor)
    values = (sums[0] / count, sums[1] / count, sums[2] / count, sums[3] / count, sums[2], sums[3])
    return {key: format_number(value) for key, value in zip(AVERAGE_KEYS, values)}


def report_text(report: Report, divisor: float = INSTANCES_PER_CLASS) -> str:
    """The file's text: the first line and header, the rows as they are, then the averages
    recomputed from the rows (see compute_averages)."""
    lines = [report.first_line, COLUMNS]
    lines += [row.line or format_row(row) for row in report.rows]
    lines.append("")
    averages = compute_averages(report.rows, report.name.n, divisor)
    lines += [f"{key}={averages[key]}" for key in AVERAGE_KEYS]
    return "\n".join(lines) + "\n"


def write_report(path: str, report: Report, divisor: float = INSTANCES_PER_CLASS) -> None:
    """Writes the report as the program writes a complete class (see report_text)."""
    with open(path, "w", encoding="ascii", newline="\n") as file:
        file.write(report_text(report, divisor))
