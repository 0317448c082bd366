"""The figures of precdp-summary --plots: four PNG files comparing the theorems over the classes."""

from __future__ import annotations

import os

import matplotlib

matplotlib.use("Agg")  # files only, no display needed
import matplotlib.pyplot as plt  # noqa: E402

from summary import ClassRuns, theorem_key  # noqa: E402


def _classes(all_runs: list[ClassRuns]) -> list[tuple]:
    """The classes in the plan's order, each once."""
    seen: dict[tuple, None] = {}
    for runs in all_runs:
        seen.setdefault((runs.dataset_name(), runs.n, runs.os_text), None)
    return list(seen)


def _class_label(key: tuple) -> str:
    dataset, n, os_text = key
    short = {"standard": "S", "velmar": "V"}.get(dataset, dataset)
    return f"{short} {n}/{os_text}"


def _per_class_figure(path, all_runs, summaries, value, ylabel, title, log):
    classes = _classes(all_runs)
    position = {key: i for i, key in enumerate(classes)}
    figure, axes = plt.subplots(figsize=(max(8.0, 0.22 * len(classes) + 3), 4.8))
    for theorem in sorted({runs.theorem for runs in all_runs}, key=theorem_key):
        points = [
            (position[(runs.dataset_name(), runs.n, runs.os_text)], value(summary))
            for runs, summary in zip(all_runs, summaries)
            if runs.theorem == theorem
        ]
        points = [(x, y) for x, y in points if y is not None and (y > 0 or not log)]
        if points:
            axes.plot(*zip(*points), marker="o", markersize=3, linestyle="-", label=theorem)
    if log:
        axes.set_yscale("log")
    axes.set_xticks(range(len(classes)))
    axes.set_xticklabels([_class_label(key) for key in classes], rotation=90, fontsize=7)
    axes.set_xlabel("class (S standard, V Velmar: n/order strength)")
    axes.set_ylabel(ylabel)
    axes.set_title(title)
    axes.legend(title="theorem")
    axes.grid(True, alpha=0.3)
    figure.tight_layout()
    figure.savefig(path, dpi=120)
    plt.close(figure)


def _os_figure(path, all_runs):
    figure, axes = plt.subplots(figsize=(6, 6))
    for theorem in sorted({runs.theorem for runs in all_runs}, key=theorem_key):
        rows = [row for runs in all_runs if runs.theorem == theorem for row in runs.rows.values()]
        axes.scatter([r.os1 for r in rows], [r.os2 for r in rows], s=6, alpha=0.5, label=theorem)
    axes.plot([0, 1], [0, 1], color="grey", linewidth=0.8, label="OS2 = OS1")
    axes.set_xlabel("OS1 (order strength as read)")
    axes.set_ylabel("OS2 (order strength after the theorem pass)")
    axes.set_title("Order strength before and after the theorem pass")
    axes.legend(title="theorem")
    figure.tight_layout()
    figure.savefig(path, dpi=120)
    plt.close(figure)


def _uas_figure(path, all_runs):
    figure, axes = plt.subplots(figsize=(8, 4.8))
    largest = max((row.uas for runs in all_runs for row in runs.rows.values()), default=1)
    # Logarithmic bins from 1 state up; a skipped instance (uas 0) has no layer to show.
    edges = [1.0]
    while edges[-1] <= largest:
        edges.append(edges[-1] * 10 ** 0.25)
    for theorem in sorted({runs.theorem for runs in all_runs}, key=theorem_key):
        values = [r.uas for runs in all_runs if runs.theorem == theorem for r in runs.rows.values()]
        values = [v for v in values if v > 0]
        if values:
            axes.hist(values, bins=edges, histtype="step", linewidth=1.5, label=theorem)
    axes.set_xscale("log")
    axes.set_xlabel("largest layer (uas, states)")
    axes.set_ylabel("instances")
    axes.set_title("Distribution of the largest DP layer (instances with uas > 0)")
    axes.legend(title="theorem")
    figure.tight_layout()
    figure.savefig(path, dpi=120)
    plt.close(figure)


def write_plots(folder: str, all_runs: list[ClassRuns], summaries: list[dict]) -> list[str]:
    """Writes the four figures into folder (made when missing); returns their paths."""
    os.makedirs(folder, exist_ok=True)
    paths = [os.path.join(folder, name) for name in
             ("cpu_mean.png", "solved_share.png", "os1_os2.png", "uas_distribution.png")]
    _per_class_figure(paths[0], all_runs, summaries, lambda s: s["cpu_mean"],
                      "mean CPU of solved instances (s, log scale)",
                      "Mean solver time per class", log=True)
    _per_class_figure(paths[1], all_runs, summaries,
                      lambda s: s["solved"] / s["rows"] if s["rows"] else None,
                      "solved share", "Share of instances solved per class", log=False)
    _os_figure(paths[2], all_runs)
    _uas_figure(paths[3], all_runs)
    return paths
