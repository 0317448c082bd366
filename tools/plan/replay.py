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

import math
from dataclasses import dataclass, field

import reportio

DATASETTYPE = {"standard": 2, "velmar": 1}
DATASET_ORDER = (2, 1)  # a sequential run handles the standard dataset first


class ReplayError(Exception):
    """The inputs cannot give the sequential rows (a row the rule runs was skipped)."""


@dataclass
class ClassRun:
    """One class's report file from a run without a threshold."""

    path: str
    datasettype: int
    n: int
    os: float
    report: object  # reportio.Report

    @property
    def plan_position(self):
        """Sort key in plan order within all datasets: standard first, n upward, OS downward."""
        return (DATASET_ORDER.index(self.datasettype), self.n, -self.os)


def exact_order_strength(text, n):
    """The double the bench computed for an order strength written with 5 digits.

    The bench divides the number of ordered pairs by n(n-1)/2. For n <= 120 the 5 significant
    digits fix that count, so the exact quotient comes back; thresholds carried across classes
    of different n are then compared exactly, as the sequential run compares them. When the
    written value is not such a quotient (another job count), the written value is used."""
    value = float(text)
    pairs = n * (n - 1) // 2
    if math.isnan(value) or pairs == 0:
        return value
    exact = round(value * pairs) / pairs
    return exact if reportio.format_number(exact) == text else value


def is_skipped_row(row):
    return row.obj == -1 and row.uas == 0 and row.ts == 1


def skipped_row(row):
    """The row a skipped instance gets: its order strengths and theorem time, no DP."""
    return row._replace(CPU="0", obj=-1, uas=0, ts=1)


@dataclass
class ReplayedClass:
    run: ClassRun
    rows: list = field(default_factory=list)
    sums: list = field(default_factory=lambda: [0.0] * 4)  # OS1, OS2, PPt, CPU as the bench sums

    def add(self, row, os1, os2):
        self.rows.append(row)
        for k, value in enumerate((os1, os2, float(row.PPt), float(row.CPU))):
            self.sums[k] += value


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
            os1 = exact_order_strength(row.OS1, run.n)
            os2 = exact_order_strength(row.OS2, run.n)
            if not os2 >= current:  # below the threshold, or not a number
                out.add(skipped_row(row), os1, os2)
                continue
            if is_skipped_row(row) and not math.isnan(os2):
                raise ReplayError(
                    f"{run.path}: instance {row.Ins} was skipped by its own run's threshold; "
                    "merge needs class runs made with threshold 0"
                )
            out.add(row, os1, os2)
            if row.obj == -1:
                current = os2
        replayed.append(out)
    return replayed
