"""Prometheus scraping node_exporter's textfile collector, which reads what the console
runner writes, with the rules the build generates (the part docs/monitoring.md quotes and
the table of outcomes), sending its alerts to Alertmanager and on to a webhook.

The test's copy of the rules waits `FOR_IN_TEST` where the shipped rules wait minutes
(`for:`), Prometheus scrapes and evaluates every second instead of every minute and sends
an alert again after a second rather than a minute; a rule file of the test's own sets
the runbook's base address, as a site does. Nothing else differs from the shipped file.
"""
import os
import re
import urllib.parse

import alertmanager_check
from engines import LOOPBACK, Failure, Pending, answers, free_port, http_json, run, start_simulator, wait_for

FOR_IN_TEST = "6s"
RUNBOOK = "https://runbooks.example.org/zelvan-probe/monitoring.html"
ROUTE_FAILED = "ZelvanProbeRouteFailed"
NOT_SUCCESS = "ZelvanProbeNotSuccess"


def shortened_rules(text):
    text, count = re.subn(r"(?m)^(\s+for: )\d+[smh]$", r"\g<1>" + FOR_IN_TEST, text)
    if count == 0:
        raise Failure("the rules file has no for: durations to shorten")
    return text


class Prometheus:
    def __init__(self, port):
        self.api = f"http://{LOOPBACK}:{port}/api/v1/"

    def get(self, path, **params):
        reply = http_json(self.api + path + ("?" + urllib.parse.urlencode(params) if params else ""))
        if reply.get("status") != "success":
            raise Failure(f"Prometheus answered {path} with {reply}")
        return reply["data"]

    def query(self, expr):
        """[(name, labels without the name, value)] of an instant query."""
        return [(s["metric"].get("__name__"), {k: v for k, v in s["metric"].items() if k != "__name__"},
                 float(s["value"][1])) for s in self.get("query", query=expr)["result"]]

    def alerts(self, name):
        return [a for a in self.get("alerts")["alerts"] if a["labels"]["alertname"] == name]

    def rule_state(self, name):
        for group in self.get("rules", type="alert")["groups"]:
            for rule in group["rules"]:
                if rule["name"] == name:
                    return rule["state"]
        raise Failure(f"Prometheus has no rule {name}")


class Check:
    def __init__(self, processes, work, cli, sim, rules, site):
        self.processes, self.work, self.cli, self.sim, self.site = processes, work, cli, sim, site
        self.textdir = os.path.join(work, "textfile")
        self.textfile = os.path.join(self.textdir, "zelvan-probe.prom")
        os.mkdir(self.textdir)
        with open(os.path.join(work, "rules.yml"), "w", encoding="utf-8") as f:
            f.write(shortened_rules(rules))
        with open(os.path.join(work, "runbook.yml"), "w", encoding="utf-8") as f:
            f.write("groups:\n  - name: site\n    rules:\n      - record: zelvan_probe_runbook\n"
                    f"        expr: vector(1)\n        labels:\n          base: {RUNBOOK}\n")
        self.webhook = None
        # The same route ports in every run, so that a route is the same series throughout.
        self.ports = {}
        while len(set(self.ports.values())) < 3:
            self.ports = {f"r{i}": free_port() for i in (1, 2, 3)}

    def start_engines(self):
        self.webhook = alertmanager_check.Webhook()
        alertmanager = alertmanager_check.start_alertmanager(self.processes, self.work, self.webhook.url)
        _, self.node_port = self.processes.serve(
            "node-exporter",
            lambda port: ["prometheus-node-exporter", "--collector.disable-defaults", "--collector.textfile",
                          f"--collector.textfile.directory={self.textdir}", "--web.disable-exporter-metrics",
                          f"--web.listen-address={LOOPBACK}:{port}"],
            lambda port: answers(f"http://{LOOPBACK}:{port}/metrics"))
        config = os.path.join(self.work, "prometheus.yml")
        with open(config, "w", encoding="utf-8") as f:
            f.write("global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                    f"rule_files:\n  - {os.path.join(self.work, 'rules.yml')}\n"
                    f"  - {os.path.join(self.work, 'runbook.yml')}\n"
                    "alerting:\n  alertmanagers:\n"
                    f"    - static_configs:\n        - targets: ['{LOOPBACK}:{alertmanager}']\n"
                    "scrape_configs:\n  - job_name: node\n"
                    f"    static_configs:\n      - targets: ['{LOOPBACK}:{self.node_port}']\n")
        _, port = self.processes.serve(
            "prometheus",
            lambda port: ["prometheus", f"--config.file={config}", f"--web.listen-address={LOOPBACK}:{port}",
                          f"--storage.tsdb.path={os.path.join(self.work, f'tsdb-{port}')}",
                          "--rules.alert.resend-delay=1s"],
            lambda port: answers(f"http://{LOOPBACK}:{port}/-/ready"))
        self.prometheus = Prometheus(port)
        self.wait_value('up{job="node"}', 1, "Prometheus to scrape node_exporter")

    def wait_value(self, expr, value, what, timeout=30):
        def seen():
            got = [v for _, _, v in self.prometheus.query(expr)]
            if got == [value]:
                return got
            raise Pending(f"{expr} = {got}")
        wait_for(what, seen, timeout, self.processes)

    def probe(self, scenario, faults, status, timeout=60):
        """One console run against a simulator whose routes have `faults` (by name)."""
        routes = [f"{name} port={port} {faults.get(name, '')}".strip() for name, port in self.ports.items()]
        sim, port = start_simulator(self.processes, self.sim, f"sim-{scenario}", routes)
        env = dict(os.environ, XDG_STATE_HOME=os.path.join(self.work, "state"))
        try:
            got, out = run([self.cli, "--server", LOOPBACK, "--port", f"{port:X}", "--timeout", str(timeout),
                            "--monitoring", "--prometheus-textfile", self.textfile,
                            "--metric-label", "site=" + self.site, "--metric-label", "region=eu"],
                           env=env, timeout=timeout + 30)
        finally:
            self.processes.stop(sim)
        print(f"  {scenario}: exit status {got}: {out.splitlines()[0] if out else ''}")
        if got != status:
            raise Failure(f"{scenario}: the console runner exited {got}, expected {status}:\n{out}")
        self.output = out
        with open(self.textfile, encoding="utf-8") as f:
            return float(re.search(r"^zelvan_probe_last_run_timestamp_seconds\{.*\} (\S+)$", f.read(), re.M)[1])

    def next_step(self, route):
        """What the last run's monitoring lines say to check next for a failed route."""
        lines = self.output.splitlines()
        for at, line in enumerate(lines):
            if line.startswith(f"{route}=") and at + 1 < len(lines):
                return lines[at + 1].removeprefix("  what to check next: ")
        raise Failure(f"the monitoring lines give no next step for {route}:\n{self.output}")

    def expect_samples(self, scenario, stamp, plain, routes):
        """Waits for the run stamped `stamp` to reach Prometheus, then compares every
        zelvan_probe sample: `plain` by metric, `routes` by metric and route."""
        def scraped():
            # What the textfile gave, not the rules' own series (the table of outcomes).
            samples = self.prometheus.query('{__name__=~"zelvan_probe_.*",job="node"}')
            got = [v for n, _, v in samples if n == "zelvan_probe_last_run_timestamp_seconds"]
            if got != [stamp]:
                raise Pending(f"last run timestamps {got}, waiting for {stamp}")
            return samples
        samples = wait_for(f"Prometheus to scrape the {scenario} run", scraped, 30, self.processes)
        # Times vary from run to run: they must be there, whatever their value.
        expected = {("zelvan_probe_duration_seconds", None): None,
                    ("zelvan_probe_last_run_timestamp_seconds", None): None}
        expected.update({("zelvan_probe_route_profile_seconds", route): None for route in self.ports})
        expected.update({(name, None): value for name, value in plain.items()})
        expected.update({(name, route): value
                         for name, by_route in routes.items() for route, value in by_route.items()})
        seen = {}
        for name, labels, value in samples:
            # The operator's labels reach Prometheus exactly as given, beside those it adds.
            want = {"site": self.site, "region": "eu", "job": "node", "instance": f"{LOOPBACK}:{self.node_port}"}
            if any(labels.get(k) != v for k, v in want.items()):
                raise Failure(f"{scenario}: {name}{labels} lacks the labels {want}")
            if "route" in labels and labels["address"] != f"{LOOPBACK}:{self.ports[labels['route']]}":
                raise Failure(f"{scenario}: {name}{labels} has the wrong address")
            # An outcome's sample is 1; its code is the label that counts.
            seen[(name, labels.get("route"))] = (labels["outcome"] if name.endswith("_outcome") else value, labels)
        for key, value in expected.items():
            if key not in seen or (value is not None and seen[key][0] != value):
                raise Failure(f"{scenario}: expected {key} = {value}, Prometheus has {seen.get(key)}")
        extra = set(seen) - set(expected)
        if extra:
            raise Failure(f"{scenario}: samples Prometheus should not have: {sorted(extra)}")
        return seen

    def watch_alert(self, name, match, until, timeout=40):
        """Polls the alert of `name` whose labels include `match` until its state is in
        `until` ("none": no such alert); returns it with every state it was seen in."""
        states = []

        def alert():
            found = [a for a in self.prometheus.alerts(name) if all(a["labels"].get(k) == v for k, v in match.items())]
            state = found[0]["state"] if len(found) == 1 else "none" if not found else f"{len(found)} alerts"
            if not states or states[-1] != state:
                states.append(state)
            if state in until.split("|"):
                return found[0] if found else {}
            raise Pending(f"{name} {match}: states {states}")
        return wait_for(f"{name} {match} to be {until}", alert, timeout, self.processes, interval=0.2), states

    def expect_alert(self, alert, labels, summary):
        if any(alert["labels"].get(k) != v for k, v in labels.items()):
            raise Failure(f"alert labels {alert['labels']}, expected {labels}")
        if alert["annotations"].get("summary") != summary:
            raise Failure(f"alert summary {alert['annotations'].get('summary')!r}, expected {summary!r}")

    def outcomes(self, routes, key, run):
        """The outcome samples of a run: each route's code, the key's, the run's."""
        return {"zelvan_probe_route_outcome": dict(routes)}, {"zelvan_probe_key_outcome": key,
                                                              "zelvan_probe_run_outcome": run}

    def run(self):
        # Every route of these runs ends its profile by itself: each is scored.
        fail = {"zelvan_probe_route_failed": 1, "zelvan_probe_route_score": 25, "zelvan_probe_route_scored": 1}
        healthy = {name: {r: 1 if name == "zelvan_probe_route_scored" else 0 for r in self.ports} for name in fail}
        ok = {"zelvan_probe_up": 1, "zelvan_probe_result": 0, "zelvan_probe_key_ok": 1, "zelvan_probe_stopped": 0}
        arrived = {r: "all_arrived" for r in self.ports}

        def samples(scenario, stamp, plain, routes, codes, key, run):
            by_route, whole = self.outcomes(codes, key, run)
            return self.expect_samples(scenario, stamp, dict(plain, **whole), dict(routes, **by_route))

        stamp = self.probe("healthy", {}, 0)
        seen = samples("healthy", stamp, ok, healthy, arrived, "received", "success")
        if seen[("zelvan_probe_result", None)][1]["banner"] != "SUCCESS":
            raise Failure(f"healthy: banner {seen[('zelvan_probe_result', None)][1]}")
        self.wait_value(f'site:zelvan_probe_success:ratio{{site="{esc(self.site)}"}}', 1, "the site's success ratio")
        if self.prometheus.alerts(ROUTE_FAILED) or self.prometheus.alerts(NOT_SUCCESS):
            raise Failure(f"alerts after a healthy run: {self.prometheus.get('alerts')}")

        stamp = self.probe("one route refusing", {"r2": "fault=refused"}, 1)
        refused_step = self.next_step("r2")
        one = {k: dict(v, r2=fail[k]) for k, v in healthy.items()}
        samples("one route refusing", stamp, dict(ok, zelvan_probe_result=1), one, dict(arrived, r2="refused"),
                "received", "some_routes_failed")
        alert, states = self.watch_alert(ROUTE_FAILED, {"route": "r2"}, "firing")
        print(f"  {ROUTE_FAILED} for r2: {' -> '.join(states)}")
        if states[-2:] != ["pending", "firing"]:
            raise Failure(f"{ROUTE_FAILED} for r2 went {states}, expected pending then firing")
        active_at = alert["activeAt"]
        address = f"{LOOPBACK}:{self.ports['r2']}"
        summary = f"{self.site}: route r2 ({address}) failed"
        self.expect_alert(alert, {"site": self.site, "severity": "warning", "address": address}, summary)
        # The reason and what to check next, as the console gave them, reach the receiver.
        firing = self.webhook.wait(f"{ROUTE_FAILED} for r2 to reach the webhook", {"route": "r2"}, "firing",
                                   self.processes)
        sent = [a for a in firing["alerts"] if a["labels"].get("route") == "r2"][0]
        self.expect_annotations("firing", sent, {
            "summary": summary, "outcome": "refused",
            "description": f"Route r2: refused the connection. What to check next: {refused_step}",
            "runbook_url": f"{RUNBOOK}#outcome-refused"})
        if sent["labels"].get("site") != self.site or "outcome" in sent["labels"]:
            raise Failure(f"the alert's labels are {sent['labels']}: the site, and no outcome among them")
        print(f"  the webhook received, firing:\n{alertmanager_check.quoted(firing)}")
        notified = len(self.webhook.notifications)
        alert, _ = self.watch_alert(NOT_SUCCESS, {"banner": "SOME ROUTES FAILED"}, "firing")
        self.expect_alert(alert, {"banner": "SOME ROUTES FAILED", "severity": "warning"},
                          f"{self.site}: probe result SOME ROUTES FAILED")
        if alert["annotations"].get("outcome") != "some_routes_failed":
            raise Failure(f"{NOT_SUCCESS}: annotations {alert['annotations']}")
        self.wait_value(f'site:zelvan_probe_success:ratio{{site="{esc(self.site)}"}}', 0, "the site's success ratio")
        self.wait_value(f'site:zelvan_probe_reachable:ratio{{site="{esc(self.site)}"}}', 1,
                        "the site's reachable ratio")

        # Every route failing, a dead gateway: the routes fail at once and the run ends by
        # itself in seconds, well inside its time-out (FAILURE, exit status 2, up 1). r2 now
        # refuses the login rather than the connection: the same alert goes on firing,
        # with the new reason in its text.
        faults = {"r1": "fault=refused", "r2": "fault=login-refused status=17 text='Access denied'",
                  "r3": "fault=refused"}
        stamp = self.probe("every route failing", faults, 2, timeout=60)
        every = {k: {r: fail[k] for r in self.ports} for k in healthy}
        seen = samples("every route failing", stamp, {"zelvan_probe_up": 1, "zelvan_probe_result": 2,
                                                      "zelvan_probe_key_ok": 0, "zelvan_probe_stopped": 0},
                       every, {"r1": "refused", "r2": "login_refused", "r3": "refused"}, "not_received",
                       "key_not_received")
        took = seen[("zelvan_probe_duration_seconds", None)][0]
        if not 0 < took < 30:
            raise Failure(f"every route failing: the run took {took} s, expected well under a minute")
        print(f"  every route failing ended by itself after {took:.2f} s")

        def new_reason():
            found = [a for a in self.prometheus.alerts(ROUTE_FAILED) if a["labels"]["route"] == "r2"]
            if len(found) == 1 and found[0]["annotations"].get("outcome") == "login_refused":
                return found[0]
            raise Pending(f"{ROUTE_FAILED} for r2: {found}")
        alert = wait_for(f"{ROUTE_FAILED} for r2 to give its new reason", new_reason, 20, self.processes)
        if alert["state"] != "firing" or alert["activeAt"] != active_at:
            raise Failure(f"{ROUTE_FAILED} for r2 began again with its new reason: {alert}, was active at {active_at}")
        # Pending by now, or firing on a machine slow enough to take longer than `for:`.
        for route in ("r1", "r3"):
            self.watch_alert(ROUTE_FAILED, {"route": route}, "pending|firing")
        alert, _ = self.watch_alert(NOT_SUCCESS, {"banner": "FAILURE"}, "pending|firing")
        self.expect_alert(alert, {"banner": "FAILURE", "severity": "critical"}, f"{self.site}: probe result FAILURE")

        before_healthy = len(self.webhook.notifications)
        stamp = self.probe("healthy again", {}, 0)
        samples("healthy again", stamp, ok, healthy, arrived, "received", "success")
        for name in (ROUTE_FAILED, NOT_SUCCESS):
            self.watch_alert(name, {}, "none")

            def inactive():
                state = self.prometheus.rule_state(name)
                if state == "inactive":
                    return state
                raise Pending(f"{name} is {state}")
            wait_for(f"{name} to be inactive", inactive, 20, self.processes)
        print(f"  {ROUTE_FAILED} and {NOT_SUCCESS} resolved")
        resolved = self.webhook.wait(f"{ROUTE_FAILED} for r2 to be resolved at the webhook",
                                     {"alertname": ROUTE_FAILED, "route": "r2"}, "resolved", self.processes)
        alertmanager_check.expect_no_resolution(self.webhook, {"alertname": ROUTE_FAILED, "route": "r2"}, notified,
                                                before_healthy)
        print(f"  the webhook received, resolved:\n{alertmanager_check.quoted(resolved)}")
        ratio = [v for _, _, v in self.prometheus.query(
            f'site:zelvan_probe_reachable:ratio_avg24h{{site="{esc(self.site)}"}}')]
        if len(ratio) != 1 or not 0 < ratio[0] < 1:
            raise Failure(f"the site's reachable share over 24 h is {ratio}, expected one value between 0 and 1")
        print(f"  the site reached the gateway {ratio[0]:.0%} of the time it was watched")

    def expect_annotations(self, what, alert, expected):
        for key, value in expected.items():
            if alert["annotations"].get(key) != value:
                raise Failure(f"{what}: annotation {key} is {alert['annotations'].get(key)!r}, expected {value!r}")


def esc(value):
    """A PromQL string literal's inside."""
    return value.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n")
