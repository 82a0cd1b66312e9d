"""What the engines check needs around the engines: free loopback ports, processes that
are stopped on every way out, bounded polling and JSON over HTTP(S).

Every address here is on 127.0.0.1; nothing talks to any other host.
"""
import base64
import ctypes
import json
import os
import signal
import socket
import subprocess
import time
import urllib.error
import urllib.request

LOOPBACK = "127.0.0.1"


class Failure(Exception):
    """A check that did not hold; the message says what was expected and what was seen."""


def free_port():
    """A port nothing listens on right now. Whoever takes it next may race us: the
    engines are started again on another port when theirs was taken (`Processes.serve`)."""
    with socket.socket() as s:
        s.bind((LOOPBACK, 0))
        return s.getsockname()[1]


_libc = ctypes.CDLL(None, use_errno=True)
_PR_SET_PDEATHSIG = 1


def _end_with_parent():
    # Should this check be killed outright, the kernel ends what it started too.
    _libc.prctl(_PR_SET_PDEATHSIG, signal.SIGTERM)


class Processes:
    """Every process the check starts, each in a process group of its own so that one
    signal reaches the children an engine makes, and each with its output in a log."""

    def __init__(self, work):
        self.work = work
        self.running = []

    def start(self, name, argv, env=None):
        log = open(os.path.join(self.work, name + ".log"), "ab")
        proc = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT, env=env,
                                start_new_session=True, preexec_fn=_end_with_parent)
        log.close()
        proc.name = name
        proc.log = os.path.join(self.work, name + ".log")
        self.running.append(proc)
        return proc

    def serve(self, name, make_argv, ready, env=None, attempts=3, timeout=60):
        """Starts a server on a free port, again on another one when it dies before it
        answers (its port taken meanwhile). `ready(port)` is true once it answers."""
        for attempt in range(1, attempts + 1):
            port = free_port()
            proc = self.start(name, make_argv(port), env)
            deadline = time.monotonic() + timeout
            while time.monotonic() < deadline:
                if proc.poll() is not None:
                    break
                if ready(port):
                    proc.engine = True
                    return proc, port
                time.sleep(0.2)
            self.stop(proc)
            print(f"{name} did not answer on port {port} (attempt {attempt}); its log:\n{tail(proc.log)}")
        raise Failure(f"{name} did not start in {attempts} attempts")

    def stop(self, proc):
        if proc.poll() is None:
            try:
                os.killpg(proc.pid, signal.SIGTERM)
                proc.wait(10)
            except subprocess.TimeoutExpired:
                os.killpg(proc.pid, signal.SIGKILL)
                proc.wait(5)
            except ProcessLookupError:
                pass
        # A group's other members (an engine's helpers) go with it.
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except (ProcessLookupError, PermissionError):
            pass
        if proc in self.running:
            self.running.remove(proc)

    def stop_all(self):
        for proc in reversed(list(self.running)):
            self.stop(proc)

    def check_alive(self):
        for proc in self.running:
            if proc.poll() is not None and getattr(proc, "engine", False):
                raise Failure(f"{proc.name} ended with status {proc.returncode}; its log:\n{tail(proc.log)}")


def tail(path, lines=25):
    try:
        with open(path, "rb") as f:
            return "\n".join(f.read().decode("utf-8", "replace").splitlines()[-lines:])
    except OSError as e:
        return f"(no log: {e})"


def wait_for(what, probe, timeout, processes=None, interval=0.25):
    """Polls `probe()` until it returns something other than None and returns that; after
    `timeout` seconds fails, naming `what` and the last thing `probe` saw (it may raise
    `Pending` with a description)."""
    deadline = time.monotonic() + timeout
    last = "nothing yet"
    while True:
        if processes:
            processes.check_alive()
        try:
            result = probe()
            if result is not None:
                return result
        except Pending as p:
            last = str(p)
        if time.monotonic() >= deadline:
            raise Failure(f"timed out after {timeout} s waiting for {what}; last seen: {last}")
        time.sleep(interval)


class Pending(Exception):
    """Not yet: what a probe saw instead."""


def http_json(url, data=None, auth=None, context=None, method=None, timeout=10):
    headers = {"Accept": "application/json"}
    body = None
    if data is not None:
        body = json.dumps(data).encode()
        headers["Content-Type"] = "application/json"
    request = urllib.request.Request(url, data=body, headers=headers, method=method)
    if auth:
        request.add_header("Authorization", "Basic " + base64.b64encode(f"{auth[0]}:{auth[1]}".encode()).decode())
    with urllib.request.urlopen(request, timeout=timeout, context=context) as response:
        return json.load(response)


def answers(url):
    """True when `url` answers 200 (for readiness polls)."""
    try:
        with urllib.request.urlopen(url, timeout=2) as response:
            return response.status == 200
    except (urllib.error.URLError, OSError):
        return False


def run(argv, env=None, timeout=60):
    """Runs a program to its end; returns (exit status, standard output)."""
    done = subprocess.run(argv, stdin=subprocess.DEVNULL, capture_output=True, env=env, timeout=timeout,
                          preexec_fn=_end_with_parent)
    return done.returncode, done.stdout.decode("utf-8", "replace") + done.stderr.decode("utf-8", "replace")


def start_simulator(processes, sim, name, routes, timeout=20):
    """The simulated gateway with a route server on a free port and `routes` (its --route
    values); returns the process and the route server's port."""
    argv = [sim, "--route-server", f"{LOOPBACK}:0", "--duration", "150"]
    for route in routes:
        argv += ["--route", route]
    proc = processes.start(name, argv)

    def ready():
        with open(proc.log, encoding="utf-8", errors="replace") as f:
            for line in f:
                if line.startswith("READY "):
                    return int(line.split()[1].rsplit(":", 1)[1])
        if proc.poll() is not None:
            raise Failure(f"{name} ended with status {proc.returncode}:\n{tail(proc.log)}")
        return None

    return proc, wait_for(f"{name} to listen", ready, timeout)
