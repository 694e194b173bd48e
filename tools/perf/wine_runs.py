"""Runs Windows programs under Wine through the end-to-end runner (tools/e2e), one at a time so
that no run disturbs another's timing: the product on a simulated notebook, the empty reference
program, and the benchmark program with one of its jobs."""

import os

from ..e2e import runner

RESULT_FILE = r"C:\e2e\perf-result.txt"


class RunFailed(RuntimeError):
    pass


class Wine:
    def __init__(self, driver, cache):
        self.driver, self.cache = driver, cache

    def prepare(self):
        """Makes the runner's template prefix now, so that no figure's run pays for it."""
        runner.prepare_template(self.cache)

    def run(self, exe, **options):
        """The runner's report of one run; a run that did not end by itself fails."""
        try:
            report = runner.run(runner.RunOptions(exe, driver=self.driver, cache=self.cache,
                                                  **options))
        except runner.E2EError as error:
            raise RunFailed(f"{os.path.basename(exe)}: {error}") from error
        ended = report.ended
        if ended["how"] != "exited" or report.errors:
            raise RunFailed(f"{os.path.basename(exe)} did not end by itself: {ended} "
                            f"{report.errors}")
        return report.data

    def probe(self, probe_exe, job, count, timeout=300, env=None):
        """One job of the benchmark program: {figure name: [values]} from its result file."""
        data = self.run(probe_exe, args=f"{job} {RESULT_FILE} {count}", collect=[RESULT_FILE],
                        timeout=timeout, env=env or {})
        text = data["collected"].get(RESULT_FILE) or ""
        results = {}
        for line in text.splitlines():
            name, *values = line.split()
            results[name] = [float(value) for value in values]
        if "done" not in results:
            raise RunFailed(f"the benchmark program's job {job} did not finish: {text[-200:]!r}")
        return results
