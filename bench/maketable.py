#!/usr/bin/env python3
"""maketable.py FIGURES.tsv SAMPLES.tsv: the Markdown table of run-all.sh.

FIGURES has one line per row of the table, tab-separated:
    id, label, unit, our program, reference, goal, decimals
where goal is "ratio<=X" (the median ratio), "max<=X" (our median, in the unit), several of
these joined by ";", or "-".
SAMPLES has one line per measurement, tab-separated: id, "ours" or "ref", run, value.

Each side shows its median with the minimum and maximum. The ratio is ours over the reference,
taken run by run where both sides were measured in the same run (its median, min and max), else
the ratio of the medians.
"""
import statistics
import sys
from collections import defaultdict


def load_samples(path):
    samples = defaultdict(lambda: {"ours": {}, "ref": {}})
    with open(path) as lines:
        for line in lines:
            parts = line.rstrip("\n").split("\t")
            if len(parts) != 4:
                continue
            figure, side, run, value = parts
            try:
                samples[figure][side][run] = float(value)
            except ValueError:
                pass
    return samples


def fmt(value, decimals):
    if 0 < abs(value) < 10 ** -decimals * 10:
        return f"{value:.2g}"  # small ratios keep two significant digits
    return f"{value:.{decimals}f}"


def spread(values, decimals, unit=""):
    if not values:
        return "n/a"
    unit = f" {unit}" if unit else ""
    middle = fmt(statistics.median(values), decimals) + unit
    if len(values) == 1:
        return f"{middle} (n=1)"
    low, high = fmt(min(values), decimals), fmt(max(values), decimals)
    return f"{middle} ({low}–{high}, n={len(values)})"


def ratios(ours, ref):
    paired = [ours[run] / ref[run] for run in ours if run in ref and ref[run] > 0]
    if paired:
        return paired, True
    if ours and ref and statistics.median(ref.values()) > 0:
        return [statistics.median(ours.values()) / statistics.median(ref.values())], False
    return [], False


def verdict(goals, ours, ratio):
    if goals == "-" or not goals:
        return "—", "—"
    results = [one_verdict(goal, ours, ratio) for goal in goals.split(";")]
    return ", ".join(goal for goal, _ in results), ", ".join(met for _, met in results)


def one_verdict(goal, ours, ratio):
    kind, limit = goal.split("<=")
    limit = float(limit)
    if kind == "ratio":
        if not ratio:
            return f"≤ {limit:g}×", "n/a"
        value = statistics.median(ratio)
        return f"≤ {limit:g}×", "yes" if value <= limit else f"**no** ({value / limit:.2f}× the goal)"
    if not ours:
        return f"≤ {limit:g}", "n/a"
    value = statistics.median(ours)
    return f"≤ {limit:g}", "yes" if value <= limit else f"**no** ({value / limit:.2f}× the goal)"


def main():
    samples = load_samples(sys.argv[2])
    print("| Figure | Lumora: median (min–max) | Reference: median (min–max) | Ratio | Goal | Met |")
    print("|---|---|---|---|---|---|")
    with open(sys.argv[1]) as lines:
        for line in lines:
            parts = line.rstrip("\n").split("\t")
            if len(parts) != 7:
                continue
            figure, label, unit, our_name, ref_name, goal, decimals = parts
            decimals = int(decimals)
            ours = samples[figure]["ours"]
            ref = samples[figure]["ref"]
            ratio, paired = ratios(ours, ref)
            if ratio:
                ratio_text = spread(ratio, 2) if paired else f"{fmt(ratio[0], 2)} (of medians)"
            else:
                ratio_text = "—"
            goal_text, met = verdict(goal, list(ours.values()), ratio)
            our_text = f"{our_name}: {spread(list(ours.values()), decimals, unit)}"
            ref_text = (
                f"{ref_name}: {spread(list(ref.values()), decimals, unit)}" if ref_name != "-" else "—"
            )
            print(f"| {label} | {our_text} | {ref_text} | {ratio_text} | {goal_text} | {met} |")


if __name__ == "__main__":
    main()
