"""precdp-plan: runs a selection of the plan as one precdp batch process per class, through GNU
parallel (this machine or ssh hosts sharing the working directory) or as a SLURM job array, and
merges the class runs into the report files a sequential run writes.

Layout below --out (default ROOT/Reports):
  <merged report files>            one per class, named as a sequential run names them
  parts/joblog                     GNU parallel's job log, appended to by every run
  parts/merged-names.json          the merged file name given to each class, kept for reruns
  parts/jobs.txt                   the class commands of a SLURM job array
  parts/<theorem>-<dataset>-n<N>-os<OS>/
      Instances -> ROOT/Instances  so the class run reads the shared tree
      Reports/<report file>        the class's own run, threshold 0
      rows.txt, messages.txt       its standard output and standard error
"""

import argparse
import json
import os
import shlex
import subprocess
import sys
from dataclasses import dataclass

import replay as replaying
from replay import reportfiles

STORE_BYTES_PER_STATE = 40  # two layers of 20 bytes; a hard instance touches the whole store
PROCESS_BYTES = 256 << 20  # a process besides its store: tables, stack, libraries
DEFAULT_MAX_STATE = 195_000_000
THEOREMS = ("none", "kanet", "emmons")
TOOLS = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


class UsageError(Exception):
    pass


@dataclass(frozen=True)
class PlanClass:
    dataset: str  # "standard" or "velmar"
    n: int
    os: str  # as the file names write it: 0, 0.005, 0.2

    def key(self, theorem):
        return f"{theorem}-{self.dataset}-n{self.n}-os{self.os}"


@dataclass
class Settings:
    precdp: str
    root: str
    out: str
    theorem: str
    first: int
    last: int
    max_state: int
    threads: int | None  # forwarded as --threads when given
    threshold: float

    @property
    def parts(self):
        return os.path.join(self.out, "parts")


def process_bytes(max_state):
    return STORE_BYTES_PER_STATE * max_state + PROCESS_BYTES


def memory_bytes(meminfo="/proc/meminfo"):
    """MemAvailable of this machine (MemTotal on kernels without it), in bytes."""
    fields = {}
    with open(meminfo) as info:
        for line in info:
            name, _, value = line.partition(":")
            fields[name] = int(value.split()[0]) * 1024
    return fields.get("MemAvailable", fields["MemTotal"])


def concurrent_processes(requested, max_state, available):
    """At most `requested`, and no more than the memory holds with every store touched."""
    return max(1, min(requested, available // process_bytes(max_state)))


# ---- Selection ----------------------------------------------------------------------------------
def plan_classes(precdp):
    """The plan's classes in plan order, as the bench lists them."""
    listed = subprocess.run(
        [precdp, "--list-classes"], capture_output=True, text=True, check=True
    ).stdout
    classes = []
    for line in listed.splitlines():
        dataset, n, os_text = line.split()
        classes.append(PlanClass(dataset, int(n), os_text))
    return classes


def split_list(text):
    return [item.strip() for item in text.split(",") if item.strip()] if text else []


def select(classes, datasets, ns, oss):
    """The classes of the selection, in plan order. A value outside the plan is a usage error
    naming the valid values."""

    def pick(chosen, wanted, attribute, parse, option):
        if not wanted:
            return chosen
        valid = {parse(str(getattr(c, attribute))): str(getattr(c, attribute)) for c in chosen}
        for text in wanted:
            try:
                known = parse(text) in valid
            except ValueError:
                known = False
            if not known:
                names = ", ".join(sorted(valid.values(), key=parse))
                raise UsageError(f"{option} {text} is not in the plan; valid: {names}")
        keep = {parse(text) for text in wanted}
        return [c for c in chosen if parse(str(getattr(c, attribute))) in keep]

    chosen = pick(classes, datasets, "dataset", str, "--dataset")
    chosen = pick(chosen, ns, "n", int, "--n")
    return pick(chosen, oss, "os", float, "--os")


def parse_instances(text):
    first, _, last = text.partition("-")
    try:
        first, last = int(first), int(last or first)
    except ValueError:
        raise UsageError(f"--instances {text}: expected A-B or A with 1 <= A <= B <= 125")
    if not 1 <= first <= last <= 125:
        raise UsageError(f"--instances {text}: expected A-B or A with 1 <= A <= B <= 125")
    return first, last


# ---- Class runs ---------------------------------------------------------------------------------
def part_directory(settings, plan_class):
    return os.path.join(settings.parts, plan_class.key(settings.theorem))


def complete_report(settings, part):
    """The class run's report when it holds the plan's rows and averages, else None."""
    reports = os.path.join(part, "Reports")
    if not os.path.isdir(reports):
        return None
    wanted = list(range(settings.first, settings.last + 1))
    for name in sorted(os.listdir(reports)):
        try:
            report = reportfiles.read_report(os.path.join(reports, name))
        except reportfiles.ReportError:
            continue
        if (
            report.max_state == settings.max_state
            and report.theorem == settings.theorem
            and [row.ins for row in report.rows] == wanted
            and len(report.averages) == len(reportfiles.AVERAGE_KEYS)
        ):
            return report
    return None


def class_command(settings, plan_class, part):
    """The shell command of one class run. It starts from an empty Reports/, so a retried or
    resumed run never leaves a second, partial file beside the new one."""
    batch = [
        settings.precdp,
        "--dataset", plan_class.dataset,
        "--n", str(plan_class.n),
        "--os", plan_class.os,
        "--instances", f"{settings.first}-{settings.last}",
        "--theorem", settings.theorem,
        "--threshold", "0",
        "--max-state", str(settings.max_state),
        "--root", part,
        "--quiet",
    ]  # fmt: skip
    if settings.threads is not None:
        batch += ["--threads", str(settings.threads)]
    q = shlex.quote
    return (
        f"rm -rf {q(os.path.join(part, 'Reports'))} && "
        f"{' '.join(q(word) for word in batch)} >{q(os.path.join(part, 'rows.txt'))} "
        f"2>{q(os.path.join(part, 'messages.txt'))}"
    )


def prepare(settings, selection):
    """Makes the part directories and returns the commands of the classes not yet complete."""
    instances = os.path.join(settings.root, "Instances")
    commands = []
    for plan_class in selection:
        part = part_directory(settings, plan_class)
        os.makedirs(part, exist_ok=True)
        link = os.path.join(part, "Instances")
        if os.path.islink(link) and os.readlink(link) != instances:
            os.remove(link)
        if not os.path.lexists(link):
            os.symlink(instances, link)
        if complete_report(settings, part) is None:
            commands.append(class_command(settings, plan_class, part))
    return commands


def run_parallel(settings, commands, jobs, sshloginfile):
    """Runs the commands through GNU parallel; the job log gathers every run's exit codes."""
    if not commands:
        return
    parallel = ["parallel", "--will-cite", "--halt", "never", "--jobs", str(jobs),
                "--joblog", "+" + os.path.join(settings.parts, "joblog")]  # fmt: skip
    if sshloginfile:
        # Remote memory is not known here: a host starts a class only while a whole store is
        # free there (its job count comes from the sshloginfile or --jobs).
        parallel += ["--sshloginfile", sshloginfile,
                     "--memfree", str(process_bytes(settings.max_state))]  # fmt: skip
    subprocess.run(parallel, input="".join(c + "\n" for c in commands), text=True)


# ---- Merge --------------------------------------------------------------------------------------
def merged_names(settings):
    path = os.path.join(settings.parts, "merged-names.json")
    if not os.path.exists(path):
        return {}
    with open(path) as names:
        return json.load(names)


def save_merged_names(settings, names):
    path = os.path.join(settings.parts, "merged-names.json")
    with open(path + ".new", "w") as out:
        json.dump(names, out, indent=1, sort_keys=True)
    os.replace(path + ".new", path)


def claim_name(directory, report):
    """The name of a class run's report in `directory` (without the run's own copy number), or
    the first free "-2", "-3", ... variant; created empty."""
    name = report.name
    stem = f"{name.stamp}-o={name.objective}-d={name.dataset}-os={name.os_text}-n={name.n}"
    copy = 1
    while True:
        candidate = f"{stem}.txt" if copy == 1 else f"{stem}-{copy}.txt"
        try:
            os.close(os.open(os.path.join(directory, candidate), os.O_CREAT | os.O_EXCL, 0o644))
            return candidate
        except FileExistsError:
            copy += 1


def write_merged(directory, names, key, replayed):
    """Writes one replayed class under the name it got the first time (a fresh one otherwise).
    The averages are over the rows, as the batch mode writes them."""
    name = names.get(key)
    if name is None or not os.path.exists(os.path.join(directory, name)):
        name = claim_name(directory, replayed.run.report)
        names[key] = name
    path = os.path.join(directory, name)
    reportfiles.write_report(path + ".new", replayed.report(), len(replayed.rows))
    os.replace(path + ".new", path)
    return path


def merge_plan(settings, selection):
    """Merges the complete classes whose dataset has every earlier class complete (the threshold
    reaching them is known). Returns the classes left pending."""
    names = merged_names(settings)
    pending = []
    runs = {}
    for plan_class in selection:
        report = complete_report(settings, part_directory(settings, plan_class))
        if report is None or any(p.dataset == plan_class.dataset for p in pending):
            pending.append(plan_class)
        else:
            runs[report.path] = (plan_class, replaying.ClassRun(report))
    first_dataset = replaying.DATASETTYPE[selection[0].dataset] if selection else None
    replayed = replaying.replay([run for _, run in runs.values()], settings.threshold,
                                first_dataset)  # fmt: skip
    os.makedirs(settings.out, exist_ok=True)
    for result in replayed:
        plan_class = runs[result.run.path][0]
        write_merged(settings.out, names, plan_class.key(settings.theorem), result)
        save_merged_names(settings, names)
    return pending


def report_paths(paths, exclude):
    """Report files among `paths`, directories searched recursively; `exclude` left out."""
    found = []
    for path in paths:
        if os.path.isfile(path):
            found.append(path)
            continue
        for directory, subdirectories, files in os.walk(path):
            subdirectories[:] = [d for d in subdirectories
                                 if os.path.abspath(os.path.join(directory, d)) != exclude]  # fmt: skip
            for name in sorted(files):
                if reportfiles.parse_report_name(name) and os.path.abspath(directory) != exclude:
                    found.append(os.path.join(directory, name))
    return found


def merge_collected(paths, out, threshold):
    """Replays report files gathered from anywhere: each theorem and capacity is one sequential
    run over the classes present. Returns the paths written."""
    groups = {}
    out = os.path.abspath(out)
    for path in report_paths(paths, exclude=out):
        try:
            report = reportfiles.read_report(path)
        except reportfiles.ReportError as error:
            print(f"precdp-plan: {error}; left out", file=sys.stderr)
            continue
        if len(report.averages) != len(reportfiles.AVERAGE_KEYS):
            print(f"precdp-plan: {path}: class not complete, left out", file=sys.stderr)
            continue
        group = groups.setdefault((report.theorem, report.max_state, report.bounded), {})
        place = (report.name.dataset, report.name.n, report.name.os_text)
        if place in group:
            raise UsageError(f"{group[place].path} and {path} hold the same class of one run")
        group[place] = replaying.ClassRun(report)
    os.makedirs(out, exist_ok=True)
    names_path = os.path.join(out, "merged-names.json")
    names = json.load(open(names_path)) if os.path.exists(names_path) else {}
    written = []
    for (theorem, max_state, bounded), group in sorted(groups.items()):
        for result in replaying.replay(list(group.values()), threshold):
            dataset, n, os_text = (result.run.report.name.dataset, result.run.n,
                                   result.run.report.name.os_text)  # fmt: skip
            key = f"{theorem}-{max_state}{'-bounded' if bounded else ''}-d{dataset}-n{n}-os{os_text}"
            written.append(write_merged(out, names, key, result))
    with open(names_path + ".new", "w") as saved:
        json.dump(names, saved, indent=1, sort_keys=True)
    os.replace(names_path + ".new", names_path)
    return written


# ---- Command line -------------------------------------------------------------------------------
def default_precdp():
    built = os.path.join(os.path.dirname(TOOLS), "build", "precdp")
    return built if os.access(built, os.X_OK) else "precdp"


def threshold_value(text):
    value = float(text)
    if not 0 <= value <= 1:
        raise argparse.ArgumentTypeError(f"{text} is not between 0 and 1")
    return value


def plan_parser():
    parser = argparse.ArgumentParser(
        prog="precdp-plan",
        description="Runs a selection of the plan as one precdp batch process per class "
        "through GNU parallel and merges the class runs into the report files a sequential "
        "run writes. 'precdp-plan merge --help' merges report files collected elsewhere.",
    )
    add = parser.add_argument
    add("--dataset", default="", help="standard, velmar or both (comma-separated); default all")
    add("--n", default="", help="job counts, comma-separated; default all")
    add("--os", default="", help="order strengths, comma-separated; default all")
    add("--instances", default="1-125", help="A-B or A (1..125); default 1-125")
    add("--theorem", choices=THEOREMS, default="none")
    add("--threshold", type=threshold_value, default=0.0,
        help="order-strength threshold the merged reports replay (0 to 1)")  # fmt: skip
    add("--max-state", type=int, default=DEFAULT_MAX_STATE,
        help=f"layer capacity; a process may touch {STORE_BYTES_PER_STATE} bytes per state")  # fmt: skip
    add("--threads", type=int, choices=range(0, 1025), metavar="N",
        help="threads of each precdp process, 0 for one per core (default 1)")  # fmt: skip
    add("--root", default=".", help="directory holding Instances/ (default: .)")
    add("--out", help="merged reports and parts/ (default: ROOT/Reports)")
    add("--precdp", default=default_precdp(), help="the bench executable")
    engine = parser.add_mutually_exclusive_group()
    engine.add_argument("--jobs", type=int, help="classes at once on this machine")
    engine.add_argument("--sshloginfile", help="GNU parallel's host list (shared directory)")
    add("--write-jobs", action="store_true",
        help="prepare, write the commands of the classes still to run to OUT/parts/jobs.txt, "
        "print 'jobs=N mem_mb=M file=PATH' and exit (for a SLURM job array)")  # fmt: skip
    add("--merge-only", action="store_true", help="merge what the class runs left, run nothing")
    return parser


def merge_parser():
    parser = argparse.ArgumentParser(
        prog="precdp-plan merge",
        description="Replays the threshold rule over report files of class runs made with "
        "threshold 0 (files or directories, searched recursively) and writes the report files "
        "of the sequential run: one per class, for each theorem and capacity found.",
    )
    parser.add_argument("paths", nargs="+")
    parser.add_argument("--threshold", type=threshold_value, default=0.0)
    parser.add_argument("--out", default="Reports", help="where the merged files go")
    return parser


def settings_of(args):
    root = os.path.abspath(args.root)
    first, last = parse_instances(args.instances)
    if args.max_state < 1:
        raise UsageError("--max-state must be positive")
    return Settings(
        precdp=os.path.abspath(args.precdp) if os.sep in args.precdp else args.precdp,
        root=root,
        out=os.path.abspath(args.out or os.path.join(root, "Reports")),
        theorem=args.theorem,
        first=first,
        last=last,
        max_state=args.max_state,
        threads=args.threads,
        threshold=args.threshold,
    )


def run_plan(args):
    settings = settings_of(args)
    selection = select(
        plan_classes(settings.precdp), split_list(args.dataset), split_list(args.n),
        split_list(args.os),
    )  # fmt: skip
    os.makedirs(settings.parts, exist_ok=True)
    if not args.merge_only:
        commands = prepare(settings, selection)
        if args.write_jobs:
            path = os.path.join(settings.parts, "jobs.txt")
            with open(path, "w") as jobs:
                jobs.writelines(c + "\n" for c in commands)
            megabytes = -(-process_bytes(settings.max_state) >> 20)
            print(f"jobs={len(commands)} mem_mb={megabytes} file={path}")
            return 0
        cores = os.cpu_count() or 1
        per_process = cores if settings.threads == 0 else settings.threads or 1
        requested = args.jobs or max(1, cores // per_process)
        jobs = requested
        if not args.sshloginfile:
            jobs = concurrent_processes(requested, settings.max_state, memory_bytes())
            if jobs < requested:
                print(f"precdp-plan: memory holds {jobs} processes of "
                      f"{process_bytes(settings.max_state) / 1e9:.2f} GB at once; running {jobs}",
                      file=sys.stderr)  # fmt: skip
        run_parallel(settings, commands, jobs, args.sshloginfile)
    pending = merge_plan(settings, selection)
    for plan_class in pending:
        part = part_directory(settings, plan_class)
        reason = "an earlier class of its dataset is not complete"
        if complete_report(settings, part) is None:
            reason = f"its run is not complete (see {part})"
        print(f"precdp-plan: {plan_class.key(settings.theorem)} not merged: {reason}",
              file=sys.stderr)  # fmt: skip
    merged = len(selection) - len(pending)
    print(f"precdp-plan: {merged} of {len(selection)} classes merged into {settings.out}",
          file=sys.stderr)  # fmt: skip
    return 1 if pending else 0


def main(argv):
    try:
        if argv[:1] == ["merge"]:
            args = merge_parser().parse_args(argv[1:])
            written = merge_collected(args.paths, args.out, args.threshold)
            print(f"precdp-plan: {len(written)} report files written into {args.out}",
                  file=sys.stderr)  # fmt: skip
            return 0 if written else 1
        return run_plan(plan_parser().parse_args(argv))
    except (UsageError, replaying.ReplayError) as error:
        print(f"precdp-plan: {error}", file=sys.stderr)
        return 2
    except OSError as error:
        print(f"precdp-plan: {error}", file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        print("precdp-plan: interrupted; the same command resumes the plan", file=sys.stderr)
        return 130
    except subprocess.CalledProcessError as error:
        print(f"precdp-plan: {' '.join(error.cmd)} failed (exit {error.returncode})",
              file=sys.stderr)  # fmt: skip
        return 2
