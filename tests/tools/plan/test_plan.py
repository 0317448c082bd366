"""precdp-plan on the real bench: the merged reports of a parallel plan equal a sequential batch
run of the same selection, also when the threshold carried between classes decides rows, and
an interrupted plan resumes with the unfinished classes only. The threshold replay also on
hand-made class runs: the cases the generated plan does not reach."""

import os
import subprocess
import sys

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.abspath(os.path.join(HERE, "..", "..", ".."))
BUILD = os.environ.get("PRECDP_BUILD", os.path.join(REPO, "build"))
PRECDP = os.path.join(BUILD, "precdp")
PLAN = os.path.join(REPO, "tools", "precdp-plan")
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(REPO, "tools", "plan"))
import compare_reports  # noqa: E402
import replay  # noqa: E402
from replay import reportfiles  # noqa: E402

# Four classes over two n; the small capacity makes some DPs give no result, so the threshold
# a sequential run carries from class to class decides rows of the later classes.
SELECTION = ["--dataset", "standard", "--n", "20,40", "--os", "0.8,0.4", "--instances", "1-8",
             "--theorem", "none", "--max-state", "50"]  # fmt: skip


def run(command, **options):
    return subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, text=True,
                          timeout=120, **options)  # fmt: skip


@pytest.fixture(scope="module")
def tree(tmp_path_factory):
    root = tmp_path_factory.mktemp("tree")
    generated = run([os.path.join(BUILD, "precdp-gen"), "--root", str(root), "--family",
                     "standard", "--n", "20", "40", "--os", "0.8", "0.4", "--count", "8"])  # fmt: skip
    assert generated.returncode == 0, generated.stderr
    return root


def sequential(tree, directory, threshold):
    directory.mkdir()
    (directory / "Instances").symlink_to(tree / "Instances")
    result = run([PRECDP, *SELECTION, "--threshold", threshold, "--root", str(directory),
                  "--quiet"])  # fmt: skip
    assert result.returncode == 0, result.stderr
    return directory / "Reports"


def plan(tree, out, threshold, *extra):
    return run([sys.executable, PLAN, *SELECTION, "--threshold", threshold, "--jobs", "2",
                "--root", str(tree), "--out", str(out), "--precdp", PRECDP, *extra])  # fmt: skip


@pytest.mark.parametrize("threshold", ["0", "0.5"])
def test_parallel_plan_and_merge_of_collected_files_give_the_sequential_rows(
    tree, tmp_path, threshold
):
    expected = sequential(tree, tmp_path / "sequential", threshold)
    rows = [row for report in compare_reports.reports_by_class(expected).values()
            for row in report.rows]  # fmt: skip
    assert any(r.obj == -1 and r.ts > 1 for r in rows), "no DP stopped: nothing is carried"
    assert any(r.obj == -1 and r.uas == 0 and r.ts == 1 for r in rows), "the rule skipped none"

    out = tmp_path / "out"
    result = plan(tree, out, threshold)
    assert result.returncode == 0, result.stderr
    assert compare_reports.differences(expected, out) == []

    collected = tmp_path / "collected"
    merged = run([sys.executable, PLAN, "merge", "--threshold", threshold, "--out",
                  str(collected), str(out / "parts")])  # fmt: skip
    assert merged.returncode == 0, merged.stderr
    assert compare_reports.differences(expected, collected) == []


def test_interrupted_plan_reruns_only_its_unfinished_classes(tree, tmp_path):
    expected = sequential(tree, tmp_path / "sequential", "0")
    out = tmp_path / "out"
    assert plan(tree, out, "0").returncode == 0
    parts = out / "parts"
    merged_names = sorted(p.name for p in out.glob("*.txt"))

    # As an interruption leaves it: one class stopped after two rows, one never started.
    stopped = next((parts / "none-standard-n20-os0.4" / "Reports").glob("*.txt"))
    stopped.write_text("".join(stopped.read_text().splitlines(keepends=True)[:4]))
    subprocess.run(["rm", "-rf", str(parts / "none-standard-n40-os0.4")], check=True)
    finished = {p: p.stat().st_mtime_ns for p in parts.glob("*/Reports/*.txt") if p != stopped}
    log_lines = len((parts / "joblog").read_text().splitlines())

    result = plan(tree, out, "0")
    assert result.returncode == 0, result.stderr
    assert len((parts / "joblog").read_text().splitlines()) == log_lines + 2
    assert {p: p.stat().st_mtime_ns for p in finished} == finished
    assert sorted(p.name for p in out.glob("*.txt")) == merged_names
    assert compare_reports.differences(expected, out) == []


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

