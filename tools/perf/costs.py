"""What a bench machine costs beyond the program's pauses, from the phases every run reports
(tools/e2e/phases.py): CPU and wall seconds per machine by phase, and each phase's CPU seconds by
process. Whatever phases and processes the runs report are counted, phases in the order they
first appear."""


def by_phase(machines):
    """[(phase, mean CPU s, mean wall s, machines that had it, {process: mean CPU s}, the most
    costly first)] over the machines whose run reported its phases; a phase a machine lacks counts
    as nothing there, and a phase a run went through several times (one per start) with its sum."""
    measured = [m["phases"] for m in machines if m.get("phases")]
    totals = {}
    for laps in measured:
        seen = set()
        for lap in laps:
            total = totals.setdefault(lap["phase"], {"cpu": 0, "wall": 0, "having": 0,
                                                     "processes": {}})
            total["cpu"] += lap["cpu_s"]
            total["wall"] += lap["wall_s"]
            total["having"] += lap["phase"] not in seen
            seen.add(lap["phase"])
            for name, seconds in lap["by_process"].items():
                total["processes"][name] = total["processes"].get(name, 0) + seconds
    count = len(measured)
    return [(phase, t["cpu"] / count, t["wall"] / count, t["having"],
             {name: seconds / count for name, seconds in
              sorted(t["processes"].items(), key=lambda item: -item[1])})
            for phase, t in totals.items()]
