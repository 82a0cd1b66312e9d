"""Icinga 2 running the CheckCommand that docs/monitoring.md quotes, with one service per
scenario against the simulator.

The daemon runs from a configuration of this check's own, with every folder (data, log,
cache, spool, run) under the scratch folder and as the user running the check, so that
nothing of the machine's Icinga configuration or state is read or changed. Its API
listens on loopback with certificates made here by `icinga2 pki`. Checks are forced
through the API rather than waited for.

The scenarios are ones that end quickly today: every route healthy (OK), one route
refusing connections (WARNING), and a gateway that refuses the public key on its only
route (FAILURE, CRITICAL, in about 3 s; a route server that never answers would be
CRITICAL too, but only after the 40 s of asking twice).
"""
import grp
import json
import os
import pwd
import secrets
import shutil
import ssl
import time

from engines import LOOPBACK, Failure, Pending, http_json, run, start_simulator, wait_for

NODE = "zp-engines"
HOST = "engines"
LABELS = ["site=icinga", "region=eu"]

SCENARIOS = {
    # service: (routes, state, first line of the output, perfdata {label: value})
    "ok": (["r1", "r2", "r3"], 0, "ZELVAN PROBE OK - SUCCESS, 0 of 3 routes failed", {"r1": 0, "r2": 0, "r3": 0}),
    "warning": (["r1", "r2 fault=refused", "r3"], 1, "ZELVAN PROBE WARNING - SOME ROUTES FAILED, 1 of 3 routes failed",
                {"r1": 0, "r2": 25, "r3": 0}),
    "critical": (["r1 fault=key-status"], 2,
                 "ZELVAN PROBE CRITICAL - FAILURE, 0 of 1 routes failed, public key not received: Key not available",
                 {"r1": 0}),
}


class Check:
    def __init__(self, processes, work, cli, sim, command, refused_step):
        """`refused_step`: what to check next after a refused connection, as the build's
        table of outcomes words it."""
        self.processes, self.cli, self.sim, self.refused_step = processes, cli, sim, refused_step
        self.dir = os.path.join(work, "icinga2")
        self.folders = {name: os.path.join(self.dir, name.lower()) for name in ("Data", "Log", "Cache", "Spool", "Run")}
        for folder in self.folders.values():
            os.makedirs(folder)
        self.defines = [f"-D{name}Dir={folder}" for name, folder in self.folders.items() if name != "Run"] + [
            f"-DInitRunDir={self.folders['Run']}", f"-DRunAsUser={pwd.getpwuid(os.getuid()).pw_name}",
            f"-DRunAsGroup={grp.getgrgid(os.getgid()).gr_name}", f"-DNodeName={NODE}", f"-DZoneName={NODE}"]
        # The documented command as shipped, pointed at the program under test.
        if command.count("/usr/bin/zelvan-probe-cli") != 1:
            raise Failure("the CheckCommand file does not run /usr/bin/zelvan-probe-cli")
        with open(os.path.join(self.dir, "zelvan-probe.conf"), "w", encoding="utf-8") as f:
            f.write(command.replace("/usr/bin/zelvan-probe-cli", self.cli))
        self.password = secrets.token_hex(16)
        self.textfile = os.path.join(self.dir, "ok.prom")
        self.ports = {}

    def icinga2(self, *args):
        status, out = run(["icinga2", *args, *self.defines], timeout=60)
        if status != 0:
            raise Failure(f"icinga2 {' '.join(args)} failed ({status}):\n{out}")

    def certificates(self):
        certs = os.path.join(self.folders["Data"], "certs")
        os.makedirs(certs)
        self.icinga2("pki", "new-ca")
        key, csr, cert = (os.path.join(certs, f"{NODE}.{ext}") for ext in ("key", "csr", "crt"))
        self.icinga2("pki", "new-cert", "--cn", NODE, "--key", key, "--csr", csr)
        self.icinga2("pki", "sign-csr", "--csr", csr, "--cert", cert)
        self.ca = os.path.join(certs, "ca.crt")
        shutil.copy(os.path.join(self.folders["Data"], "ca", "ca.crt"), self.ca)
        # The API's certificate names the node, not the address: the chain is what counts.
        self.tls = ssl.create_default_context(cafile=self.ca)
        self.tls.check_hostname = False

    def config(self, port):
        services = []
        for name in SCENARIOS:
            extra = ""
            if name == "ok":
                # The command's repeated --metric-label, the file the run writes, and a
                # warning score that the perfdata carry.
                extra = (f"  vars.zelvan_probe_prometheus_textfile = {json.dumps(self.textfile)}\n"
                         f"  vars.zelvan_probe_metric_labels = {json.dumps(LABELS)}\n"
                         "  vars.zelvan_probe_warning = 5\n")
            services.append(
                f'object Service "{name}" {{\n  host_name = "{HOST}"\n  check_command = "zelvan-probe"\n'
                f"  check_interval = 1h\n  max_check_attempts = 1\n"
                f'  vars.zelvan_probe_server = "{LOOPBACK}"\n  vars.zelvan_probe_port = "{self.ports[name]:X}"\n'
                f"  vars.zelvan_probe_timeout = 60\n{extra}}}\n")
        path = os.path.join(self.dir, f"icinga2-{port}.conf")
        with open(path, "w", encoding="utf-8") as f:
            f.write(f"""include <itl>
include "zelvan-probe.conf"
object Endpoint NodeName {{}}
object Zone ZoneName {{ endpoints = [ NodeName ] }}
object ApiListener "api" {{
  bind_host = "{LOOPBACK}"
  bind_port = {port}
}}
object ApiUser "engines-check" {{
  password = "{self.password}"
  permissions = [ "*" ]
}}
object CheckerComponent "checker" {{}}
object Host "{HOST}" {{
  check_command = "dummy"
  enable_active_checks = false
}}
""" + "".join(services))
        return path

    def api(self, path, data=None):
        return http_json(f"https://{LOOPBACK}:{self.port}/v1/{path}", data=data, auth=("engines-check", self.password),
                         context=self.tls, method="POST" if data is not None else "GET")

    def start(self):
        """Certificates, a simulator per scenario, then the daemon."""
        self.certificates()
        for name, (routes, *_) in SCENARIOS.items():
            _, self.ports[name] = start_simulator(self.processes, self.sim, f"sim-icinga-{name}", routes)
        env = dict(os.environ, XDG_STATE_HOME=os.path.join(self.dir, "state"))

        def ready(port):
            self.port = port
            try:
                return self.api("status/IcingaApplication")["results"][0]["name"] == "IcingaApplication"
            except (OSError, ValueError, KeyError, IndexError):
                return False
        _, self.port = self.processes.serve(
            "icinga2", lambda port: ["icinga2", "daemon", "-c", self.config(port), *self.defines], ready, env=env)

    def run(self):
        forced = time.time()
        reply = self.api("actions/reschedule-check",
                         {"type": "Service", "filter": f'host.name=="{HOST}"', "force": True})
        if len(reply["results"]) != len(SCENARIOS) or any(r["code"] != 200 for r in reply["results"]):
            raise Failure(f"reschedule-check answered {reply}")

        def checked():
            services = self.api("objects/services?attrs=state&attrs=last_check_result")["results"]
            done = {s["name"].split("!", 1)[1]: s["attrs"] for s in services
                    if (s["attrs"]["last_check_result"] or {}).get("execution_start", 0) >= forced - 1}
            if len(done) == len(SCENARIOS):
                return done
            raise Pending(f"checked since the request: {sorted(done)}")
        services = wait_for("Icinga 2 to run the forced checks", checked, 60, self.processes)

        for name, (_, state, first_line, perfdata) in SCENARIOS.items():
            attrs = services[name]
            result = attrs["last_check_result"]
            lines = result["output"].splitlines()
            print(f"  Icinga 2 {name}: state {attrs['state']:.0f}, exit status {result['exit_status']:.0f}, "
                  f"{lines[0] if lines else ''}")
            if attrs["state"] != state or result["exit_status"] != state:
                raise Failure(f"service {name}: state {attrs['state']}, expected {state}; result {result}")
            if not lines or lines[0].rstrip() != first_line:
                raise Failure(f"service {name}: output {result['output']!r}, expected it to begin {first_line!r}")
            if name == "warning":
                # The failed route, why, and what to check next.
                refused = f"r2={LOOPBACK}:{self.route_port(name, 'r2')} score 25: refused the connection"
                if lines[1:] != [refused, f"  what to check next: {self.refused_step}"]:
                    raise Failure(f"service {name}: the failed route's lines are {lines[1:]}")
                print(f"  Icinga 2 {name}, the long output: {lines[1:]}")
            self.expect_perfdata(name, perfdata, 4 if name == "ok" else None)
        self.expect_textfile()

    def route_port(self, service, route):
        with open(os.path.join(self.processes.work, f"sim-icinga-{service}.log"), encoding="utf-8") as f:
            for entry in f.readline().split("routes=", 1)[1].split(","):
                if entry.startswith(route + "="):
                    return int(entry.rsplit(":", 1)[1])
        raise Failure(f"the simulator of {service} has no route {route}")

    def expect_perfdata(self, name, routes, warn):
        """The perfdata as Icinga's own parser reads them: one value per route, 0 to 25,
        critical above 24 and warning above `warn` when given, then the elapsed time in
        seconds."""
        script = (f'get_service("{HOST}", "{name}").last_check_result.performance_data'
                  ".map(p => parse_performance_data(p))")
        reply = self.api("console/execute-script", {"command": script, "sandboxed": False})["results"][0]
        if reply.get("code") != 200:
            raise Failure(f"Icinga could not parse the perfdata of {name}: {reply}")
        parsed = reply["result"]
        got = [(p["label"], p["value"], p["min"], p["max"], p["unit"], p["warn"], p["crit"]) for p in parsed]
        want = [(label, value, 0, 25, "", warn, 24) for label, value in routes.items()]
        if got[:-1] != want or len(got) != len(want) + 1:
            raise Failure(f"service {name}: perfdata parsed as {got}, expected {want} then elapsed")
        label, value, _, _, unit, _, _ = got[-1]
        if label != "elapsed" or unit != "seconds" or not 0 < value < 60:
            raise Failure(f"service {name}: the elapsed time parsed as {got[-1]}")

    def expect_textfile(self):
        with open(self.textfile, encoding="utf-8") as f:
            text = f.read()
        if '\nzelvan_probe_up{site="icinga",region="eu"} 1\n' not in text:
            raise Failure(f"the check's metrics file lacks the labels the command passed:\n{text}")
