"""Report files as the bench writes them: the name, the header line, the rows and the averages.

  <stamp>-o=<objType>-d=<datasettype>-os=<OS>-n=<n>[-<copy>].txt
  maxCPU=5401 - maxState=195000000 - prec:Kanet
  Ins OS1 OS2 PPt CPU obj uas ts          (tab-separated, doubles with 5 significant digits)
  <one row per instance>
  <empty line>
  OS1_ave=, OS2_ave=, PP_ave=, CPU_ave=, PP=, CPU=   (sums over the rows, averages over 125)
"""

import math
import re
from collections import namedtuple

COLUMNS = "Ins\tOS1\tOS2\tPPt\tCPU\tobj\tuas\tts"
AVERAGE_LABELS = ("OS1_ave", "OS2_ave", "PP_ave", "CPU_ave", "PP", "CPU")
INSTANCES_PER_CLASS = 125.0

# The doubles stay the text the bench wrote, so a row is copied byte for byte.
Row = namedtuple("Row", "Ins OS1 OS2 PPt CPU obj uas ts")
Report = namedtuple("Report", "header rows averages")  # averages: None when the class stopped
ReportName = namedtuple("ReportName", "stamp objType datasettype os n copy")

NAME = re.compile(
    r"(?P<stamp>\d{4}\.\d\d\.\d\d-\d\d\.\d\d\.\d\d)-o=(?P<o>\d+)-d=(?P<d>\d+)"
    r"-os=(?P<os>[0-9.e+-]+?)-n=(?P<n>\d+)(?:-(?P<copy>\d+))?\.txt"
)


def parse_report_name(name):
    match = NAME.fullmatch(name)
    if not match:
        raise ValueError(f"{name} is not a report file name")
    return ReportName(
        match["stamp"], int(match["o"]), int(match["d"]), float(match["os"]), int(match["n"]),
        int(match["copy"] or 1),
    )  # fmt: skip


def format_number(value):
    """A double as the bench's report stream writes it: general notation, 5 significant digits;
    a NaN keeps its sign ("-nan" is what 0/0 gives on the bench's machines)."""
    if math.isnan(value):
        return "-nan" if math.copysign(1.0, value) < 0 else "nan"
    return "%.5g" % value


def read_report(path):
    with open(path, newline="") as file:
        lines = file.read().split("\n")
    if len(lines) < 3 or lines[1] != COLUMNS or lines[-1] != "":
        raise ValueError(f"{path}: not a report file")
    rows = []
    index = 2
    while index < len(lines) - 1 and lines[index] != "":
        fields = lines[index].split("\t")
        if len(fields) != 8:
            raise ValueError(f"{path}: line {index + 1} is not a result row")
        ins, obj, uas, ts = (int(fields[k]) for k in (0, 5, 6, 7))
        rows.append(Row(ins, *fields[1:5], obj, uas, ts))
        index += 1
    averages = None
    tail = lines[index + 1 : -1]
    if len(tail) == len(AVERAGE_LABELS) and all(
        line.startswith(label + "=") for line, label in zip(tail, AVERAGE_LABELS)
    ):
        averages = tuple(line.split("=", 1)[1] for line in tail)
    return Report(lines[0], rows, averages)


def write_report(path, header, rows, sums=None):
    """Writes a complete report file. `sums` (OS1, OS2, PPt, CPU) replaces the sums of the
    written values when the caller knows the unrounded ones."""
    if sums is None:
        sums = [0.0] * 4
        for row in rows:
            for k, text in enumerate((row.OS1, row.OS2, row.PPt, row.CPU)):
                sums[k] += float(text)
    averages = [s / INSTANCES_PER_CLASS for s in sums] + [sums[2], sums[3]]
    with open(path, "w", newline="") as file:
        file.write(f"{header}\n{COLUMNS}\n")
        for row in rows:
            file.write("\t".join(str(field) for field in row) + "\n")
        file.write("\n")
        for label, value in zip(AVERAGE_LABELS, averages):
            file.write(f"{label}={format_number(value)}\n")
