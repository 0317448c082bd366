"""Threshold replay: the report files a sequential run would have written, from class runs made
without a threshold.

A sequential run carries its order-strength threshold from class to class: it starts at the
threshold asked for (in the first dataset the run handles, 0 in the later ones), an instance
whose OS2 is below it is skipped, and an instance whose DP gives no result raises it to that
OS2. A class run on its own with threshold 0 runs every instance the sequential run would run
(its own threshold never exceeds the sequential one), so replaying the rule over the classes in
plan order gives the sequential rows exactly: the rule's skips become skipped rows, every other
row is the class run's own.
"""

import os
import sys
from dataclasses import dataclass, field, replace

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "summary"))
import reportfiles  # noqa: E402  (the report files' reader and writer)

DATASETTYPE = {"standard": 2, "velmar": 1}
DATASET_ORDER = (2, 1)  # a sequential run handles the standard dataset first


class ReplayError(Exception):
    """The inputs cannot give the sequential rows (a row the rule runs was skipped)."""


@dataclass
class ClassRun:
    """One class's report file from a run without a threshold."""

    report: reportfiles.Report

    @property
    def path(self):
        return self.report.path

    @property
    def datasettype(self):
        return self.report.name.dataset

    @property
    def n(self):
        return self.report.name.n

    @property
    def plan_position(self):
        """Sort key in plan order within all datasets: standard first, n upward, OS downward."""
        name = self.report.name
        return (DATASET_ORDER.index(name.dataset), name.n, -float(name.os_text))


def exact_os2(row, n):
    """The OS2 the bench compared with its threshold. Thresholds carried across classes of
    different n must be compared unrounded: 133/780 and 844/4950 both write 0.17051."""
    return reportfiles._order_strength(row.line.split("\t")[2], row.os2, n)


def is_skipped_row(row):
    return row.obj == -1 and row.uas == 0 and row.ts == 1


def skipped_row(row):
    """The row a skipped instance gets: its order strengths and theorem time as written, no DP."""
    fields = row.line.split("\t")
    fields[4:] = ["0", "-1", "0", "1"]
    return replace(row, cpu=0.0, obj=-1, uas=0, ts=1, line="\t".join(fields))


@dataclass
class ReplayedClass:
    run: ClassRun
    rows: list = field(default_factory=list)

    def report(self):
        """The class's report as the sequential run writes it (averages over the rows run)."""
        return replace(self.run.report, rows=self.rows)


def replay(runs, threshold, first_dataset=None):
    """Replays the threshold rule over class runs of one sequential run (one theorem, one
    capacity), in plan order. Returns a ReplayedClass per run. `threshold` governs the first
    dataset the sequential run handled (by default the first one present); every later dataset
    starts at 0."""
    runs = sorted(runs, key=lambda run: run.plan_position)
    if first_dataset is None and runs:
        first_dataset = runs[0].datasettype
    replayed = []
    current = None
    dataset = None
    for run in runs:
        if run.datasettype != dataset:
            dataset = run.datasettype
            current = threshold if dataset == first_dataset else 0.0
        out = ReplayedClass(run)
        for row in run.report.rows:
            os2 = exact_os2(row, run.n)
            if not os2 >= current:  # below the threshold, or not a number
                out.rows.append(skipped_row(row))
                continue
            if is_skipped_row(row):
                raise ReplayError(
                    f"{run.path}: instance {row.ins} was skipped by its own run's threshold; "
                    "merge needs class runs made with threshold 0"
                )
            out.rows.append(row)
            if row.obj == -1:
                current = os2
        replayed.append(out)
    return replayed
