"""precdp-plan on the real bench: the merged reports of a parallel plan equal a sequential batch
run of the same selection, also when the threshold carried between classes decides rows, and
an interrupted plan resumes with the unfinished classes only."""

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
import compare_reports  # noqa: E402

# Four classes over two n; the small capacity makes some DPs give no result, so the threshold
# a sequential run carries from class to class decides rows of the later classes.
SELECTION = ["--dataset", "standard", "--n", "20,40", "--os", "0.8,0.4", "--instances", "1-6",
             "--theorem", "kanet", "--max-state", "1500"]  # fmt: skip


def run(command, **options):
    return subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, text=True,
                          timeout=120, **options)  # fmt: skip


@pytest.fixture(scope="module")
def tree(tmp_path_factory):
    root = tmp_path_factory.mktemp("tree")
    generated = run([os.path.join(BUILD, "precdp-gen"), "--root", str(root), "--family",
                     "standard", "--n", "20", "40", "--os", "0.8", "0.4", "--count", "6"])  # fmt: skip
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


def rows_of(directory):
    return [row for report in compare_reports.reports_by_class(directory).values()
            for row in report.rows]  # fmt: skip


@pytest.mark.parametrize("threshold", ["0", "0.45"])
def test_parallel_plan_and_merge_of_collected_files_give_the_sequential_rows(
    tree, tmp_path, threshold
):
    expected = sequential(tree, tmp_path / "sequential", threshold)
    rows = rows_of(expected)
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
    stopped = next((parts / "kanet-standard-n20-os0.4" / "Reports").glob("*.txt"))
    stopped.write_text("".join(stopped.read_text().splitlines(keepends=True)[:4]))
    subprocess.run(["rm", "-rf", str(parts / "kanet-standard-n40-os0.4")], check=True)
    finished = {p: p.stat().st_mtime_ns for p in parts.glob("*/Reports/*.txt") if p != stopped}
    log_lines = len((parts / "joblog").read_text().splitlines())

    result = plan(tree, out, "0")
    assert result.returncode == 0, result.stderr
    assert len((parts / "joblog").read_text().splitlines()) == log_lines + 2
    assert {p: p.stat().st_mtime_ns for p in finished} == finished
    assert sorted(p.name for p in out.glob("*.txt")) == merged_names
    assert compare_reports.differences(expected, out) == []
