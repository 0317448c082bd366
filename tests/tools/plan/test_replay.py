"""The threshold replay on hand-made class runs: the cases the generated plan does not reach."""

import os
import sys

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../../tools/plan"))
from replay import reportfiles  # noqa: E402
import replay  # noqa: E402


def class_run(datasettype, n, os_value, rows):
    """rows: (OS2 as written, obj, ts); uas is 0 only for a skipped row."""
    lines = [f"{k + 1}\t{os2}\t{os2}\t0.1\t0.5\t{obj}\t{0 if ts == 1 else 7}\t{ts}"
             for k, (os2, obj, ts) in enumerate(rows)]  # fmt: skip
    name = f"2026.12.07-06.00.00-o=2-d={datasettype}-os={os_value}-n={n}.txt"
    report = reportfiles.Report(name, reportfiles.parse_report_name(name), "", 5401, 1500,
                                "kanet", False, [reportfiles.parse_row(line) for line in lines])  # fmt: skip
    return replay.ClassRun(report)


CASES = {
    # A DP fails at 133/780 (n = 40); 844/4950 (n = 100) is below it but both write 0.17051.
    "carried across n compared unrounded": (
        0, [class_run(2, 40, 0.2, [("0.17051", -1, 900)]),
            class_run(2, 100, 0.2, [("0.17051", 12, 40), ("0.2", 13, 40)])],
        [[-1], [-1, 13]],
    ),
    "threshold in the first dataset only": (
        0.5, [class_run(2, 20, 0.4, [("0.4", 5, 9), ("0.6", 6, 9)]),
              class_run(1, 40, 0.2, [("0.2", 7, 9)])],
        [[-1, 6], [7]],
    ),
    "plan order, not input order; no-number OS2 skipped": (
        0, [class_run(2, 20, 0.4, [("0.5", 5, 9), ("nan", -1, 1)]),
            class_run(2, 20, 0.8, [("0.8", -1, 900)])],
        [[-1], [-1, -1]],
    ),
}  # fmt: skip


@pytest.mark.parametrize("threshold, runs, objectives", CASES.values(), ids=CASES.keys())
def test_replay_skips_what_the_sequential_rule_skips(threshold, runs, objectives):
    replayed = replay.replay(runs, threshold)
    assert [[row.obj for row in result.rows] for result in replayed] == objectives
    for result in replayed:
        for row, original in zip(result.rows, result.run.report.rows):
            if row != original:
                assert row.line.split("\t")[4:] == ["0", "-1", "0", "1"]
                assert row.line.split("\t")[:4] == original.line.split("\t")[:4]

