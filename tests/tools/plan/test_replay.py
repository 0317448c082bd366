"""The threshold replay on hand-made class runs: the cases the generated plan does not reach."""

import os
import sys

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../../tools/plan"))
import replay  # noqa: E402
import reportio  # noqa: E402


def class_run(datasettype, n, os_value, rows):
    """rows: (OS2 as written, obj, ts); uas is 0 only for a skipped row."""
    made = [reportio.Row(k + 1, os2, os2, "0.1", "0.5", obj, 0 if ts == 1 else 7, ts)
            for k, (os2, obj, ts) in enumerate(rows)]  # fmt: skip
    return replay.ClassRun(f"d{datasettype}-n{n}-os{os_value}", datasettype, n, os_value,
                           reportio.Report("header", made, ()))  # fmt: skip


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
                assert (row.CPU, row.obj, row.uas, row.ts) == ("0", -1, 0, 1)


def test_a_row_skipped_by_its_own_run_cannot_be_replayed():
    runs = [class_run(2, 20, 0.8, [("0.8", -1, 1)])]
    with pytest.raises(replay.ReplayError):
        replay.replay(runs, 0)
