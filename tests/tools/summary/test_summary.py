"""precdp-summary and its report-file module, on report files written here and on one class
run by the real program."""

import ctypes
import math
import os
import random
import struct
import subprocess
import sys

import pytest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tools", "summary"))
import reportfiles  # noqa: E402

TOOL = os.path.join(ROOT, "tools", "precdp-summary")
BUILD = os.environ.get("PRECDP_BUILD", os.path.join(ROOT, "build"))
FIRST = {"none": "maxCPU=5401 - maxState=195000000 - prec:None",
         "kanet": "maxCPU=5401 - maxState=195000000 - prec:Kanet",
         "bounded": "maxCPU=5401 - maxState=195000000 - prec:Kanet - bounded"}


def write(folder, name, first, rows, tail="\nOS1_ave=0\n"):
    """A report file: rows are (Ins, OS1, OS2, PPt, CPU, obj, uas, ts) tuples."""
    lines = [first, reportfiles.COLUMNS] + ["\t".join(map(str, row)) for row in rows]
    with open(os.path.join(folder, name), "w") as file:
        file.write("\n".join(lines) + "\n" + tail)


def run(*arguments):
    return subprocess.run([TOOL, *arguments], capture_output=True, text=True)


def c_format(x):
    buffer = ctypes.create_string_buffer(64)
    ctypes.CDLL(None).snprintf(buffer, 64, b"%.5g", ctypes.c_double(x))
    return buffer.value.decode()


def test_numbers_are_written_as_the_c_library_writes_them():
    generator = random.Random(7)
    values = [0.0, 12.3456, 3601.12, 99999.5, 1e-5, 0.00012345, float("inf"), -math.nan]
    bits = [generator.getrandbits(64) for _ in range(300)]
    values += [struct.unpack("d", struct.pack("Q", word))[0] for word in bits]
    values += [generator.uniform(0, 10) ** generator.randint(-8, 8) for _ in range(300)]
    for x in values:
        assert reportfiles.format_number(x) == c_format(x), repr(x)


def test_order_strength_averages_are_those_of_the_unrounded_values():
    # About one class in fifty has an average that the rows' 5 digits alone would get wrong.
    generator = random.Random(1)
    for _ in range(400):
        n = generator.choice([20, 40, 60, 80, 100, 120])
        pairs = n * (n - 1) // 2
        counts = [generator.randint(0, pairs) for _ in range(125)]
        exact = 0.0
        for count in counts:
            exact += count / pairs
        rows = [reportfiles.parse_row(f"{i + 1}\t{reportfiles.format_number(count / pairs)}"
                                      "\t0\t0\t0\t0\t0\t1") for i, count in enumerate(counts)]
        average = reportfiles.compute_averages(rows, n)["OS1_ave"]
        assert average == reportfiles.format_number(exact / 125)


def test_summary_merges_counts_and_orders_the_classes(tmp_path):
    d = str(tmp_path)
    s20 = "o=2-d=2-os=0.8-n=20"
    write(d, f"2026.01.01-10.00.00-{s20}.txt", FIRST["kanet"],
          [(1, 0.8, 0.9, 0, 2, 50, 10, 100), (2, 0.8, 0.9, 0, 4, 60, 12, 200),
           (3, 0.8, 0.9, 0, 9, -1, 30, 900)], tail="")
    # The continuation, started later, repeats instance 3 with another outcome.
    write(d, f"2026.01.01-09.00.00-{s20}-2.txt", FIRST["kanet"], [(5, 0.8, 0.8, 0, 1, 70, 3, 9)])
    write(d, f"2026.01.02-10.00.00-{s20}.txt", FIRST["kanet"],
          [(3, 0.8, 0.9, 0, 6, 40, 20, 300), (4, 0.8, 0.8, 0, 0, -1, 0, 1)])
    write(d, f"2026.01.01-11.00.00-{s20}.txt", FIRST["none"], [(1, 0.8, 0.8, 0, 8, 50, 40, 500)])
    write(d, f"2026.01.01-12.00.00-{s20}.txt", FIRST["bounded"], [(1, 0.8, 0.9, 0, 1, 50, 5, 50)])
    stamp = "2026.01.01-10.00.00-o=2"
    write(d, f"{stamp}-d=2-os=0-n=20.txt", FIRST["none"], [(1, 0, 0, 0, 1, 5, 1, 2)])
    write(d, f"{stamp}-d=1-os=0.2-n=40.txt", FIRST["none"], [(1, 0.2, 0.2, 0, 1, 9, 1, 2)])
    write(d, f"{stamp}-d=2-os=0.8-n=40.txt", FIRST["none"], [(1, 0.8, 0.8, 0, 1, 9, 1, 2)])
    write(d, "2026.01.03-10.00.00-o=2-d=2-os=0.6-n=20.txt", FIRST["none"], [(1, 0.6, "x")])
    write(d, "notes.txt", "not a report", [])
    write(d, f"2026.01.01-10.00.00-{s20}.seq.tsv", "1\t2", [])

    result = run(d, "--csv", str(tmp_path / "out.csv"))
    assert result.returncode == 0, result.stderr
    warnings = result.stderr.splitlines()
    assert len(warnings) == 2, warnings
    assert "os=0.6-n=20.txt: line 3 is not a result row" in warnings[0]
    assert f"10.00.00-{s20}.txt and " in warnings[1] and "instance 3;" in warnings[1]
    assert warnings[1].endswith(f"2026.01.02-10.00.00-{s20}.txt are used")

    csv = (tmp_path / "out.csv").read_text().splitlines()
    assert csv[0].split(",") == [
        "dataset", "n", "os", "theorem", "rows", "solved", "failed", "skipped", "os1_mean",
        "os2_mean", "ppt_mean", "cpu_mean", "cpu_max", "uas_max", "ts_mean"]
    assert csv[1:] == [
        "standard,20,0.8,none,1,1,0,0,0.8,0.8,0,8,8,40,500",
        "standard,20,0.8,kanet,5,4,0,1,0.8,0.86,0,3.25,6,20,122",
        "standard,20,0.8,kanet+bounded,1,1,0,0,0.8,0.9,0,1,1,5,50",
        "standard,20,0,none,1,1,0,0,0,0,0,1,1,1,2",
        "standard,40,0.8,none,1,1,0,0,0.8,0.8,0,1,1,1,2",
        "velmar,40,0.2,none,1,1,0,0,0.2,0.2,0,1,1,1,2"]
    # The failed row: instance 3's first outcome, replaced by the later file.
    alone = run(str(tmp_path / f"2026.01.01-10.00.00-{s20}.txt"), "--format", "csv").stdout
    assert alone.splitlines()[1].startswith("standard,20,0.8,kanet,3,2,1,0,")

    comparison = result.stdout.split("\n\n")[1].splitlines()
    assert comparison[0].split() == [
        "dataset", "n", "os", "none", "solved", "none", "cpu_mean", "kanet", "solved", "kanet",
        "cpu_mean", "kanet/none", "kanet+bounded", "solved", "kanet+bounded", "cpu_mean",
        "kanet+bounded/none"]
    assert [line.split() for line in comparison[1:]] == [
        ["standard", "20", "0.8", "1", "8", "4", "3.25", "0.40625", "1", "1", "0.125"]]


def test_nothing_read_exits_2_and_figures_are_png(tmp_path):
    write(str(tmp_path), "2026.01.01-10.00.00-o=2-d=2-os=0.8-n=20.txt", "maxCPU=1", [])
    result = run(str(tmp_path), str(tmp_path / "missing.txt"))
    assert result.returncode == 2 and len(result.stderr.splitlines()) == 3
    write(str(tmp_path), "2026.01.01-10.00.00-o=2-d=2-os=0.8-n=20.txt", FIRST["kanet"],
          [(1, 0.8, 0.9, 0, 0.5, 50, 10, 100), (2, 0.8, 0.8, 0, 0, -1, 0, 1)])
    assert run(str(tmp_path), "--plots", str(tmp_path / "figures")).returncode == 0
    figures = sorted(os.listdir(tmp_path / "figures"))
    assert len(figures) == 4
    for name in figures:
        assert (tmp_path / "figures" / name).read_bytes()[:8] == b"\x89PNG\r\n\x1a\n", name


@pytest.mark.parametrize("instances, divisor", [("1-125", 125), ("3-7", 5)])
def test_written_file_matches_the_program(tmp_path, instances, divisor):
    precdp, gen = os.path.join(BUILD, "precdp"), os.path.join(BUILD, "precdp-gen")
    if not (os.path.exists(precdp) and os.path.exists(gen)):
        pytest.skip(f"precdp and precdp-gen are not built in {BUILD}")
    subprocess.run([gen, "--root", str(tmp_path), "--family", "standard", "--n", "20", "--os",
                    "0.4"], check=True, capture_output=True)
    subprocess.run([precdp, "--root", str(tmp_path), "--dataset", "standard", "--n", "20",
                    "--os", "0.4", "--theorem", "kanet", "--instances", instances, "--quiet"],
                   check=True, capture_output=True, stdin=subprocess.DEVNULL)
    [path] = (tmp_path / "Reports").iterdir()
    report = reportfiles.read_report(str(path))
    assert len(report.rows) == divisor and report.theorem == "kanet" and not report.bounded
    written = tmp_path / "copy.txt"
    reportfiles.write_report(str(written), report, divisor)
    program, ours = path.read_text().splitlines(), written.read_text().splitlines()
    # Order strengths are recovered exactly; times are summed from their 5-digit rows.
    assert ours[:-4] == program[:-4]
    for mine, theirs in zip(ours[-4:], program[-4:]):
        assert mine.split("=")[0] == theirs.split("=")[0]
        assert math.isclose(float(mine.split("=")[1]), float(theirs.split("=")[1]), rel_tol=2e-4)
